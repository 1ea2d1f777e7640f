// Helpers for unit tests that hold a VekBuf of their own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "buffer/vekbuf.h"

namespace vektest {

// Empties `buffer` and fills it with `lines` through AddLine (each gets a
// line feed).
inline void FillVekBuf(vek::VekBuf& buffer, const std::vector<std::string>& lines) {
    buffer.Reset();
    for (const std::string& line : lines) {
        ASSERT_EQ(buffer.AddLine(line), 0) << line;
    }
}

// Every stored line of `buffer`, line feeds included.
inline std::vector<std::string> VekBufLines(const vek::VekBuf& buffer) {
    std::vector<std::string> lines;
    buffer.ForEachLine([&lines](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

}  // namespace vektest
