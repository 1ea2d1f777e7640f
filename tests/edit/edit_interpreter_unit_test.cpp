// The interpreter's state fields and the positional reading of command
// lines, checked on VekBuf directly (the exports cannot show the current line).
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "buffer/vekbuf.h"
#include "edit/command_line.h"
#include "edit/edit_script.h"
#include "support/vekbuf_support.h"

namespace {

using vek::VekBuf;

// Fills `buf` with the lines "L1" to "L<count>".
void Fill(VekBuf& buf, int count) {
    std::vector<std::string> lines;
    for (int i = 1; i <= count; ++i) {
        lines.push_back("L" + std::to_string(i));
    }
    vektest::FillVekBuf(buf, lines);
}

TEST(EditAddress, ReadsNumbersSignsBlanksAndClamps) {
    using vek::ReadAddress;
    const int current = 42;
    EXPECT_EQ(ReadAddress("5a\n", current), 5);
    EXPECT_EQ(ReadAddress("a\n", current), 0);
    EXPECT_EQ(ReadAddress("", current), 0);
    EXPECT_EQ(ReadAddress(" 7d\n", current), current);
    EXPECT_EQ(ReadAddress(".7d\n", current), current);
    EXPECT_EQ(ReadAddress("\t 7d\n", current), 7);  // spaces after another blank are skipped
    EXPECT_EQ(ReadAddress("\v\f\r\n12d\n", current), 12);
    EXPECT_EQ(ReadAddress("+3d\n", current), 3);
    EXPECT_EQ(ReadAddress("-4a\n", current), -4);
    EXPECT_EQ(ReadAddress("-d\n", current), 0);
    EXPECT_EQ(ReadAddress("+-3d\n", current), 0);
    EXPECT_EQ(ReadAddress("2147483647d\n", current), INT_MAX);
    EXPECT_EQ(ReadAddress("2147483648d\n", current), INT_MAX);
    EXPECT_EQ(ReadAddress("99999999999999999999999d\n", current), INT_MAX);
    EXPECT_EQ(ReadAddress("-2147483648a\n", current), INT_MIN);
    EXPECT_EQ(ReadAddress("-99999999999999999999a\n", current), INT_MIN);
    EXPECT_EQ(ReadAddress(std::string_view("1\0"
                                           "2d\n",
                                           5),
                          current),
              1);
    // The view ends inside the digits: nothing beyond it is read.
    EXPECT_EQ(ReadAddress(std::string_view("123456", 2), current), 12);
}

TEST(EditAddress, SplitsAtFirstCommaAndTakesLetterBeforeLast) {
    vek::CommandLine cmd;
    ASSERT_TRUE(vek::ParseCommandLine("5,7c\n", 9, &cmd));
    EXPECT_EQ(cmd.letter, 'c');
    EXPECT_EQ(cmd.first, 5);
    EXPECT_EQ(cmd.last, 7);
    ASSERT_TRUE(vek::ParseCommandLine("2, 5d\n", 9, &cmd));
    EXPECT_EQ(cmd.first, 2);
    EXPECT_EQ(cmd.last, 9);
    ASSERT_TRUE(vek::ParseCommandLine("1,2,3d\n", 9, &cmd));
    EXPECT_EQ(cmd.last, 2);
    ASSERT_TRUE(vek::ParseCommandLine("4d\n", 9, &cmd));
    EXPECT_FALSE(cmd.hasComma);
    EXPECT_EQ(cmd.last, 4);
    ASSERT_TRUE(vek::ParseCommandLine("3d\r\n", 9, &cmd));
    EXPECT_EQ(cmd.letter, '\r');
    ASSERT_TRUE(vek::ParseCommandLine("5,", 9, &cmd));  // comma is the last byte
    EXPECT_EQ(cmd.letter, '5');
    EXPECT_EQ(cmd.last, 0);
    EXPECT_FALSE(vek::ParseCommandLine("\n", 9, &cmd));
    EXPECT_FALSE(vek::ParseCommandLine("", 9, &cmd));
}

// One row per transition: the buffer (n lines L1..Ln) with its state, one
// line fed, and the result, lines and state afterwards.
struct Transition {
    int lines;
    int curLine;
    int insertMode;
    std::string input;
    int rc;
    std::vector<std::string> after;
    int modeAfter;
    int curAfter;
};

TEST(EditStateTable, EveryTransitionSetsStateAsListed) {
    const std::vector<Transition> table = {
        {3, 0, 0, "2a\n", 0, {"L1\n", "L2\n", "L3\n"}, 1, 1},
        {3, 0, 0, "0a\n", 0, {"L1\n", "L2\n", "L3\n"}, 1, -1},
        {3, 0, 0, "9a\n", 0, {"L1\n", "L2\n", "L3\n"}, 1, 8},
        {3, 2, 0, "1,2a\n", 0, {"L1\n", "L2\n", "L3\n"}, 1, 0},
        {3, 1, 0, "-1a\n", 102, {"L1\n", "L2\n", "L3\n"}, 0, 1},
        {3, 0, 0, "2,3c\n", 0, {"L1\n"}, 1, 0},
        {3, 0, 0, "1c\n", 0, {"L2\n", "L3\n"}, 1, -1},
        {3, 0, 0, "2d\n", 0, {"L1\n", "L3\n"}, 0, 1},
        {3, 0, 0, "3d\n", 0, {"L1\n", "L2\n"}, 0, 1},
        {3, 0, 0, "1,3d\n", 0, {}, 0, -1},
        {3, 2, 0, ".d\n", 0, {"L1\n", "L2\n"}, 0, 1},
        {3, 0, 0, "4d\n", 102, {"L1\n", "L2\n", "L3\n"}, 0, 0},
        {3, 2, 0, "0d\n", 102, {"L1\n", "L2\n", "L3\n"}, 0, 2},
        {3, 2, 0, "3,2d\n", 102, {"L1\n", "L2\n", "L3\n"}, 0, 2},
        {3, 2, 0, "2,4c\n", 102, {"L1\n", "L2\n", "L3\n"}, 0, 2},
        {3, 2, 0, "2D\n", 102, {"L1\n", "L2\n", "L3\n"}, 0, 2},
        {3, 2, 0, ".\n", 102, {"L1\n", "L2\n", "L3\n"}, 0, 2},
        {3, 2, 1, ".x\n", 0, {"L1\n", "L2\n", "L3\n"}, 0, 2},
        {3, -1, 1, "T\n", 0, {"T\n", "L1\n", "L2\n", "L3\n"}, 1, 0},
        {3, 0, 1, "T\n", 0, {"L1\n", "T\n", "L2\n", "L3\n"}, 1, 1},
        {3, 2, 1, "T\n", 0, {"L1\n", "L2\n", "L3\n", "T\n"}, 1, 3},
        {3, 7, 1, "T\n", 0, {"L1\n", "L2\n", "L3\n", "T\n"}, 1, 8},
        {3, INT_MAX, 1, "T\n", 0, {"L1\n", "L2\n", "L3\n", "T\n"}, 1, INT_MAX},
        {0, -1, 1, "T\n", 0, {"T\n"}, 1, 0},
        {0, 0, 1, "T\n", 102, {}, 1, 0},
        {0, 4, 1, "3d\n", 102, {}, 1, 4},
    };
    for (const Transition& row : table) {
        SCOPED_TRACE("input \"" + row.input + "\" on " + std::to_string(row.lines) + " lines");
        VekBuf buf;
        Fill(buf, row.lines);
        vek::EditState state;
        state.curLine = row.curLine;
        state.insertMode = row.insertMode;
        EXPECT_EQ(vek::FeedLine(buf, state, row.input), row.rc);
        EXPECT_EQ(vektest::VekBufLines(buf), row.after);
        EXPECT_EQ(state.insertMode, row.modeAfter);
        EXPECT_EQ(state.curLine, row.curAfter);
    }
}

// Lines of any bytes, NULs included and without a final line feed, each in
// a heap block of exactly its size so that a read past it is caught by the
// address sanitizer. A refused line must leave lines and state as they were.
TEST(EditFailure, RandomBytesNeverHalfApplyOrReadPastTheLine) {
    std::mt19937 rng(31337);
    auto pick = [&rng](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(rng);
    };
    static const char kNear[] = "0123456789,.+- \t\r\n\vacdAD";
    VekBuf buf;
    vek::EditState state;
    Fill(buf, 30);
    int refused = 0;
    for (int step = 0; step < 20000; ++step) {
        const auto size = static_cast<std::size_t>(pick(0, 10));
        std::unique_ptr<char[]> bytes(new char[size == 0 ? 1 : size]);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = pick(0, 2) != 0 ? kNear[pick(0, sizeof kNear - 2)]
                                       : static_cast<char>(pick(0, 255));
        }
        if (buf.LineCount() > 60 && state.insertMode == 0) {
            ASSERT_EQ(vek::FeedLine(buf, state, "1,20d\n"), 0);
        }
        const std::vector<std::string> before = vektest::VekBufLines(buf);
        const int curBefore = state.curLine;
        const int modeBefore = state.insertMode;
        const int rc = vek::FeedLine(buf, state, std::string_view(bytes.get(), size));
        ASSERT_TRUE(rc == 0 || rc == RC_BAD_LINE) << rc;
        if (rc != 0) {
            ++refused;
            ASSERT_EQ(vektest::VekBufLines(buf), before) << "step " << step;
            ASSERT_EQ(state.curLine, curBefore) << "step " << step;
            ASSERT_EQ(state.insertMode, modeBefore) << "step " << step;
        }
        ASSERT_TRUE(state.insertMode == 0 || state.insertMode == 1);
        ASSERT_GE(state.curLine, -1);
        long long total = 0;
        int longest = 0;
        for (const std::string& line : vektest::VekBufLines(buf)) {
            total += static_cast<long long>(line.size());
            longest = std::max(longest, static_cast<int>(line.size()));
        }
        ASSERT_EQ(buf.TotalLen(), total) << "step " << step;
        if (buf.LongestLen() != 0) {
            ASSERT_GE(buf.LongestLen(), longest) << "step " << step;
        }
    }
    EXPECT_GT(refused, 1000);
    EXPECT_LT(refused, 19000);
}

}  // namespace
