#include "support/buffer_invariants.h"

#include <algorithm>
#include <cstdint>

#include "buffer/vekbuf.h"

namespace vektest {

std::string BrokenInvariant(vek::VekBuf& buffer) {
    const int count = buffer.LineCount();
    std::int64_t total = 0;
    int longest = 0;
    for (int i = 0; i < count; ++i) {
        const int length = static_cast<int>(buffer.Line(i).size());
        total += length;
        longest = length > longest ? length : longest;
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
