// DllMain: the load is refused (FALSE) when the library's load hook fails.
#include <windows.h>

#include "platform/module_entry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            try {
                vek::platform::OnModuleLoad();
            } catch (...) {
                return FALSE;
            }
            break;
        case DLL_PROCESS_DETACH:
            vek::platform::OnModuleUnload();
            break;
        default:
            break;
    }
    return TRUE;
}
