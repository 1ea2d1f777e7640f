// Constructor and destructor of the Linux shared object, and of a program
// that links the library's objects in (on Windows too, where DllMain runs
// only for the DLL).
#include "platform/module_entry.h"

namespace {

__attribute__((constructor)) void OnLoad() {
    vek::platform::OnModuleLoad();
}

__attribute__((destructor)) void OnUnload() {
    vek::platform::OnModuleUnload();
}

}  // namespace
