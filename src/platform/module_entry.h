// The system's entry into the library as a loaded module: DllMain on
// Windows, an ELF constructor and destructor elsewhere. The platform layer
// supplies the entry; the library supplies what loading and unloading do.
#pragma once

namespace vek::platform {

// Defined by the library. Run when the system loads the module. A failure
// raised here refuses the load on Windows; elsewhere nothing can refuse a
// load and the failure ends the process.
void OnModuleLoad();
// Defined by the library. Run when the system unloads the module.
void OnModuleUnload() noexcept;

}  // namespace vek::platform
