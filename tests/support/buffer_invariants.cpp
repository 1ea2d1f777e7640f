#include "support/buffer_invariants.h"

#include <algorithm>
#include <cstdint>

#include "buffer/vekbuf.h"

namespace vektest {

std::string BrokenInvariant(vek::VekBuf& buffer) {
    const int count = buffer.LineCount();
    std::int64_t total = 0;
    int longest = 0;
    int longestCount = 0;
    for (int i = 0; i < count; ++i) {
        const int length = static_cast<int>(buffer.Line(i).size());
        total += length;
        if (length > longest) {
            longest = length;
            longestCount = 1;
        } else if (length == longest) {
            ++longestCount;
        }
    }
    const auto figure = [](const char* what, long long held, long long real) {
        return std::string(what) + " is " + std::to_string(held) + ", the lines give " +
               std::to_string(real);
    };
    if (buffer.TotalLen() != total) {
        return figure("total length", buffer.TotalLen(), total);
    }
    // A longest length of 0 means "not known, measure again".
    if (buffer.LongestLen() != 0 && buffer.LongestLen() != longest) {
        return figure("longest length", buffer.LongestLen(), longest);
    }
    if (buffer.LongestLen() != 0 && buffer.LongestCount() != longestCount) {
        return figure("count of longest lines", buffer.LongestCount(), longestCount);
    }
    if (buffer.m_insertMode != 0 && buffer.m_insertMode != 1) {
        return figure("insert mode", buffer.m_insertMode, 0);
    }
    if (buffer.m_curLine < -1) {
        return figure("current line", buffer.m_curLine, -1);
    }
    if (buffer.CacheValid() != 0 && (buffer.CacheIndex() < 0 || buffer.CacheIndex() >= count)) {
        return figure("read cache index", buffer.CacheIndex(), count);
    }
    int statsCount = -1;
    int statsLongest = -1;
    int statsTotal = -1;
    if (buffer.GetStats(&statsCount, &statsLongest, &statsTotal) != 0) {
        return "GetStats failed";
    }
    if (statsCount != count) {
        return figure("reported line count", statsCount, count);
    }
    if (statsLongest != longest) {
        return figure("reported longest length", statsLongest, longest);
    }
    // The reported total saturates at INT_MAX.
    const std::int64_t reported = std::min<std::int64_t>(total, 2147483647);
    if (statsTotal != reported) {
        return figure("reported total length", statsTotal, reported);
    }
    return {};
}

}  // namespace vektest
