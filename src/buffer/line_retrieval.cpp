#include "buffer/line_retrieval.h"

#include <algorithm>
#include <cstring>

namespace vek {

int VekBuf::ReadLine(int line, int maxLen, char* dest, int* lenOut) noexcept {
    const int index = line - 1;
    // Positions are direct indexes, so the forward and backward one-step
    // shortcuts of the cache and a fresh lookup all cost the same.
    m_cachePos = (index >= 0 && index < LineCount()) ? index : -1;
    if (m_cachePos < 0) {
        return VEK_RC_FAILED;
    }
    const std::string_view stored = Line(index);
    const void* nul = std::memchr(stored.data(), '\0', stored.size());
    const std::size_t visible =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - stored.data())
            : stored.size();
    // A line that is empty up to its first NUL is handed out as the empty
    // text. Lengths are compared unsigned: a stored line is at most
    // kMaxLineLength bytes, and nothing longer than maxLen reaches dest.
    const std::size_t length = visible == 0 ? 0 : visible - 1;
    *lenOut = static_cast<int>(std::min<std::size_t>(length, kMaxLineLength));
    if (maxLen < 0 || length > static_cast<std::size_t>(maxLen)) {
        m_cacheValid = 0;
        return VEK_RC_NO_ROOM;
    }
    std::memcpy(dest, stored.data(), length);
    dest[length] = '\0';
    m_cacheIndex = index;
    m_cacheValid = 1;
    return VEK_RC_OK;
}

int FillLinesBlock(VekBuf& buffer, int first, int count, char* block, int* deliveredOut) {
    *deliveredOut = 0;
    block[kBlockEmptyText] = '\0';
    for (int j = 0; j < VEK_LINES_BLOCK_MAX_LINES; ++j) {
        const std::int32_t offset = kBlockEmptyText;
        std::memcpy(block + sizeof offset * j, &offset, sizeof offset);
    }
    int pos = VEK_LINES_BLOCK_TEXT_START;
    int room = VEK_LINES_BLOCK_SIZE - VEK_LINES_BLOCK_TEXT_START;
    int line = first;
    for (int j = 0; j < count; ++j) {
        int length = 0;
        const int result = buffer.ReadLine(line, room - 1, block + pos, &length);
        if (result == VEK_RC_NO_ROOM) {
            return VEK_RC_OK;
        }
        if (result != VEK_RC_OK) {
            return result;
        }
        const std::int32_t offset = pos;
        std::memcpy(block + sizeof offset * j, &offset, sizeof offset);
        ++line;
        room -= length + 1;
        pos += length + 1;
        ++*deliveredOut;
    }
    return VEK_RC_OK;
}

int AddPackedRun(VekBuf& buffer, const char* run) {
    const char* text = run;
    for (;;) {
        const std::size_t length = std::strlen(text);
        if (length == 0) {
            return VEK_RC_OK;
        }
        const int result = buffer.AddLine(std::string_view(text, length));
        if (result != VEK_RC_OK) {
            return result;
        }
        text += length + 1;
    }
}

}  // namespace vek
