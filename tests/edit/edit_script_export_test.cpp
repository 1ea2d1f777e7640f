// EdBuf: a whole script buffer fed line by line to a target buffer.
#include "edit/edit_test_helpers.h"

namespace {

using vektest::BufferLines;
using vektest::BufferStats;
using vektest::ExpectFiguresMatchLines;
using vektest::FillBuffer;
using vektest::InCommandMode;
using vektest::Lines;

constexpr int kScript = 2;
constexpr int kTarget = 1;

void ExpectSameStats(const vektest::Stats& a, const vektest::Stats& b) {
    EXPECT_EQ(a.count, b.count);
    EXPECT_EQ(a.longest, b.longest);
    EXPECT_EQ(a.total, b.total);
}

TEST(EdBufArguments, BadOrEqualNumbersChangeNothing) {
    FillBuffer(kScript, {"1d"});
    FillBuffer(kTarget, {"P", "Q"});
    for (const auto& [script, target] :
         {std::pair{1, 1}, {2, 2}, {0, 1}, {1, 0}, {4, 1}, {2, 4}, {-1, 2}}) {
        EXPECT_EQ(EdBuf(script, target), RC_BAD_BUFFER) << script << "," << target;
    }
    EXPECT_EQ(BufferLines(kTarget), (Lines{"P", "Q"}));
    EXPECT_EQ(BufferLines(kScript), (Lines{"1d"}));
}

TEST(EdBufApply, EmptyScriptLeavesTargetAsItWas) {
    FillBuffer(kScript, {});
    FillBuffer(kTarget, {"P", "Q"});
    ASSERT_EQ(EdCmd(kTarget, "1a"), RC_OK);  // target inserting
    const vektest::Stats before = BufferStats(kTarget);
    EXPECT_EQ(EdBuf(kScript, kTarget), RC_OK);
    ExpectSameStats(BufferStats(kTarget), before);
    EXPECT_EQ(BufferLines(kTarget), (Lines{"P", "Q"}));
    EXPECT_FALSE(InCommandMode(kTarget));  // still inserting
}

TEST(EdBufApply, DeleteThenAppendScript) {
    FillBuffer(kScript, {"2d", "1a", "X", "."});
    FillBuffer(kTarget, {"P", "Q", "R"});
    EXPECT_EQ(EdBuf(kScript, kTarget), RC_OK);
    EXPECT_EQ(BufferLines(kTarget), (Lines{"P", "X", "R"}));
    ExpectFiguresMatchLines(kTarget, {"P", "X", "R"});
    EXPECT_EQ(EdCmd(kTarget, ".d"), RC_OK);  // ends in command mode on X
    EXPECT_EQ(BufferLines(kTarget), (Lines{"P", "R"}));
}

TEST(EdBufApply, StopsAtFirstRefusedLineWithoutRollback) {
    const Lines script = {"3d", "1d", "9d", "1d", "0a", "never", "."};
    FillBuffer(kScript, script);
    const vektest::Stats scriptStats = BufferStats(kScript);
    FillBuffer(kTarget, {"1", "2", "3", "4", "5"});
    EXPECT_EQ(EdBuf(kScript, kTarget), RC_BAD_LINE);
    EXPECT_EQ(BufferLines(kTarget), (Lines{"2", "4", "5"}));
    EXPECT_TRUE(InCommandMode(kTarget));
    EXPECT_EQ(BufferLines(kScript), script);
    ExpectSameStats(BufferStats(kScript), scriptStats);
}

TEST(EdBufApply, RefusedChangeStopsBeforeItsTextIsReadAsCommands) {
    FillBuffer(kScript, {"2,9c", "1d", "."});
    FillBuffer(kTarget, {"1", "2", "3"});
    EXPECT_EQ(EdBuf(kScript, kTarget), RC_BAD_LINE);
    EXPECT_EQ(BufferLines(kTarget), (Lines{"1", "2", "3"}));
}

TEST(EdBufApply, LongestLengthIsMeasuredAgain) {
    FillBuffer(kScript, {"2d", "1c", "abc", "."});
    FillBuffer(kTarget, {"a", "a much longer line", "b"});
    ASSERT_EQ(BufferStats(kTarget).longest, 19);
    EXPECT_EQ(EdBuf(kScript, kTarget), RC_OK);
    EXPECT_EQ(BufferLines(kTarget), (Lines{"abc", "b"}));
    EXPECT_EQ(BufferStats(kTarget).longest, 4);

    FillBuffer(kScript, {"1,2d"});
    EXPECT_EQ(EdBuf(kScript, kTarget), RC_OK);
    ExpectFiguresMatchLines(kTarget, {});
}

TEST(EdBufState, UnclosedInsertionCarriesOverToNextLines) {
    FillBuffer(kScript, {"1a", "X"});
    FillBuffer(kTarget, {"P", "Q"});
    EXPECT_EQ(EdBuf(kScript, kTarget), RC_OK);
    EXPECT_EQ(EdCmd(kTarget, "3d"), RC_OK);  // stored as text
    EXPECT_EQ(BufferLines(kTarget), (Lines{"P", "X", "3d", "Q"}));
    // A second run of the same script starts inside that insertion: "1a" and
    // "X" are text too.
    EXPECT_EQ(EdBuf(kScript, kTarget), RC_OK);
    EXPECT_EQ(BufferLines(kTarget), (Lines{"P", "X", "3d", "1a", "X", "Q"}));
    EXPECT_EQ(EdCmd(kTarget, "."), RC_OK);
    EXPECT_TRUE(InCommandMode(kTarget));
}

TEST(EdBufState, ScriptIsNotConsumedAndTargetsGetCopies) {
    const Lines script = {"3c", "three", ".", "1a", "after one", "."};
    FillBuffer(kScript, script);
    FillBuffer(1, {"1", "2", "3"});
    FillBuffer(3, {"a", "b", "c", "d"});
    EXPECT_EQ(EdBuf(kScript, 1), RC_OK);
    EXPECT_EQ(EdBuf(kScript, 3), RC_OK);
    ASSERT_EQ(InitBuf(kScript), RC_OK);
    EXPECT_EQ(BufferLines(1), (Lines{"1", "after one", "2", "three"}));
    EXPECT_EQ(BufferLines(3), (Lines{"a", "after one", "b", "three", "d"}));
    ExpectFiguresMatchLines(3, {"a", "after one", "b", "three", "d"});
}

TEST(EdBufState, ScriptLinesAreFedAsStored) {
    // AddLines stores each string plus one line feed; a carriage return
    // before it makes the command line fail but stays in a text line.
    ASSERT_EQ(InitBuf(kScript), RC_OK);
    ASSERT_EQ(AddLines(kScript,
                       "1a\0text\r\0.\0"
                       "2d\r\0"),
              RC_OK);
    FillBuffer(kTarget, {"P", "Q"});
    EXPECT_EQ(EdBuf(kScript, kTarget), RC_BAD_LINE);
    EXPECT_EQ(BufferLines(kTarget), (Lines{"P", "text\r", "Q"}));
}

}  // namespace
