#include <windows.h>

#include "platform/message.h"

namespace vek::platform {

// user32.dll is loaded when a message is shown, not with the library: a
// program that never shows one (a console program such as vek) then starts
// without it.
void ShowMessage(const char* text) noexcept {
    using MessageBoxFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
    const HMODULE user32 = LoadLibraryA("user32.dll");
    if (user32 == nullptr) {
        return;
    }
    // Through void (*)(), the type any function pointer may pass as.
    const auto show = reinterpret_cast<MessageBoxFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "MessageBoxA")));
    if (show != nullptr) {
        show(nullptr, text, "VekWin32", MB_OK);
    }
}

}  // namespace vek::platform
