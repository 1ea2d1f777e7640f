// ELF constructor and destructor of the shared object (or of the program the
// library's objects are linked into).
#include "platform/module_entry.h"

namespace {

__attribute__((constructor)) void OnLoad() {
    vek::platform::OnModuleLoad();
}

__attribute__((destructor)) void OnUnload() {
    vek::platform::OnModuleUnload();
}

}  // namespace
