// The library's load and unload hooks: create the three slot buffers when the
// module is loaded and destroy them when it is unloaded.
#include "api/slots.h"

#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            try {
                vek::CreateSlots();
            } catch (...) {
                return FALSE;
            }
            break;
        case DLL_PROCESS_DETACH:
            vek::DestroySlots();
            break;
        default:
            break;
    }
    return TRUE;
}

#else

namespace {
__attribute__((constructor)) void OnLoad() {
    vek::CreateSlots();
}
__attribute__((destructor)) void OnUnload() {
    vek::DestroySlots();
}
}  // namespace

#endif
