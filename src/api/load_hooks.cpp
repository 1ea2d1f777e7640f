// The library's load and unload hooks, called by the platform's module
// entry: create the three slot buffers when the module is loaded and destroy
// them when it is unloaded.
#include "api/slots.h"
#include "platform/module_entry.h"

namespace vek::platform {

void OnModuleLoad() {
    CreateSlots();
}

void OnModuleUnload() noexcept {
    DestroySlots();
}

}  // namespace vek::platform
