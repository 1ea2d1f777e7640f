#include <windows.h>

#include "platform/message.h"

namespace vek::platform {

void ShowMessage(const char* text) noexcept {
    MessageBoxA(nullptr, text, "VekWin32", MB_OK);
}

}  // namespace vek::platform
