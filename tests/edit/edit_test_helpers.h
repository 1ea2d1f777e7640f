// Small helpers shared by the edit-script tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vekwin32.h"

namespace vektest {

using Lines = std::vector<std::string>;

// Feeds each line through EdCmd and collects the results.
inline std::vector<int> FeedEach(int buf, const Lines& lines) {
    std::vector<int> results;
    for (const std::string& line : lines) {
        results.push_back(EdCmd(buf, line.c_str()));
    }
    return results;
}

// The buffer's figures agree with its lines (each line handed out without
// its final line feed, which the figures count).
inline void ExpectFiguresMatchLines(int buf, const Lines& lines) {
    const Stats stats = BufferStats(buf);
    long long total = 0;
    int longest = 0;
    for (const std::string& line : lines) {
        total += static_cast<long long>(line.size()) + 1;
        longest = std::max(longest, static_cast<int>(line.size()) + 1);
    }
    EXPECT_EQ(stats.count, static_cast<int>(lines.size()));
    EXPECT_EQ(stats.total, total);
    EXPECT_EQ(stats.longest, longest);
}

// True when the buffer is in command mode: a line that is no command is
// refused there, while insert mode would store it. Stores that line if the
// buffer was inserting, so use it last.
inline bool InCommandMode(int buf) {
    return EdCmd(buf, "no command") == RC_BAD_LINE;
}

}  // namespace vektest
