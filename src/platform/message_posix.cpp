#include <cstdio>

#include "platform/message.h"

namespace vek::platform {

void ShowMessage(const char* text) noexcept {
    std::fprintf(stderr, "%s\n", text);
}

}  // namespace vek::platform
