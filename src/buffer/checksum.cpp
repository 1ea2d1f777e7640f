#include <cstring>

#include "buffer/vekbuf.h"

namespace vek {

int VekBuf::Checksum(int width, int* out) const noexcept {
    if (width == 32) {
        return VEK_RC_WIDTH_NOT_COMPUTED;  // accepted, but no 32-bit checksum exists
    }
    // The sum of signed byte values modulo 65536; a 32-bit unsigned
    // accumulator wraps consistently, so the masking can wait until the end.
    std::uint32_t sum = 0;
    m_lines.ForEach([&sum](std::string_view line) {
        const void* nul = std::memchr(line.data(), '\0', line.size());
        const std::size_t length =
            nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - line.data())
                : line.size();
        const auto* bytes = reinterpret_cast<const signed char*>(line.data());
        std::uint32_t lineSum = 0;
        for (std::size_t i = 0; i < length; ++i) {
            lineSum += static_cast<std::uint32_t>(static_cast<std::int32_t>(bytes[i]));
        }
        sum += lineSum;
    });
    *out = static_cast<int>(sum & 0xFFFFu);
    return VEK_RC_OK;
}

}  // namespace vek
