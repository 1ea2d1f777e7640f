// EdCmd: one edit-script line per call, the interpreter state kept in the
// buffer between calls.
#include <cstring>

#include "edit/edit_test_helpers.h"

namespace {

using vektest::BufferLines;
using vektest::BufferStats;
using vektest::ExpectFiguresMatchLines;
using vektest::FeedEach;
using vektest::FillBuffer;
using vektest::InCommandMode;
using vektest::Lines;
using Results = std::vector<int>;

constexpr int kBuf = 1;
const Lines kFive = {"1", "2", "3", "4", "5"};
const Lines kThree = {"L1", "L2", "L3"};

TEST(EdCmdArguments, BadBufferAndNullTextChangeNothing) {
    FillBuffer(kBuf, kThree);
    EXPECT_EQ(EdCmd(0, "1d"), RC_BAD_BUFFER);
    EXPECT_EQ(EdCmd(4, "1d"), RC_BAD_BUFFER);
    EXPECT_EQ(EdCmd(-1, "1d"), RC_BAD_BUFFER);
    EXPECT_EQ(EdCmd(kBuf, nullptr), RC_FAILED);
    EXPECT_EQ(BufferLines(kBuf), kThree);
    EXPECT_TRUE(InCommandMode(kBuf));
}

TEST(EdCmdArguments, CallerTextIsNeverWritten) {
    FillBuffer(kBuf, kThree);
    char text[] = "2d";
    char copy[sizeof text];
    std::memcpy(copy, text, sizeof text);
    EXPECT_EQ(EdCmd(kBuf, text), RC_OK);
    EXPECT_EQ(std::memcmp(text, copy, sizeof text), 0);
    EXPECT_EQ(BufferLines(kBuf), (Lines{"L1", "L3"}));
}

TEST(EdCmdAppend, ZeroAppendOnEmptyBufferKeepsOrderAndEndsOnLastText) {
    FillBuffer(kBuf, {});
    EXPECT_EQ(FeedEach(kBuf, {"0a", "x", "y", "."}), (Results{0, 0, 0, 0}));
    EXPECT_EQ(BufferLines(kBuf), (Lines{"x", "y"}));
    ExpectFiguresMatchLines(kBuf, {"x", "y"});
    // Current line is the last text line: "." addresses it.
    EXPECT_EQ(EdCmd(kBuf, ".d"), RC_OK);
    EXPECT_EQ(BufferLines(kBuf), (Lines{"x"}));
}

TEST(EdCmdAppend, ZeroAppendPutsTextAtTheHead) {
    FillBuffer(kBuf, {"P", "Q"});
    EXPECT_EQ(FeedEach(kBuf, {"0a", "x", "y", "."}), (Results{0, 0, 0, 0}));
    EXPECT_EQ(BufferLines(kBuf), (Lines{"x", "y", "P", "Q"}));
    EXPECT_EQ(FeedEach(kBuf, {"a", "h", "."}), (Results{0, 0, 0}));  // "a" reads 0
    EXPECT_EQ(BufferLines(kBuf), (Lines{"h", "x", "y", "P", "Q"}));
}

TEST(EdCmdAppend, AppendAfterInnerLastAndPastTheEnd) {
    FillBuffer(kBuf, kThree);
    EXPECT_EQ(FeedEach(kBuf, {"2a", "A", "B", "."}), (Results{0, 0, 0, 0}));
    EXPECT_EQ(BufferLines(kBuf), (Lines{"L1", "L2", "A", "B", "L3"}));
    EXPECT_EQ(FeedEach(kBuf, {"5a", "E", "."}), (Results{0, 0, 0}));
    EXPECT_EQ(BufferLines(kBuf), (Lines{"L1", "L2", "A", "B", "L3", "E"}));
    EXPECT_EQ(FeedEach(kBuf, {"9a", "F", "G", "."}), (Results{0, 0, 0, 0}));
    EXPECT_EQ(BufferLines(kBuf), (Lines{"L1", "L2", "A", "B", "L3", "E", "F", "G"}));
    ExpectFiguresMatchLines(kBuf, BufferLines(kBuf));
}

TEST(EdCmdAppend, AppendOnEmptyBufferAfterLineOneDropsText) {
    FillBuffer(kBuf, {});
    EXPECT_EQ(FeedEach(kBuf, {"1a", "x", "y", "."}), (Results{0, 102, 102, 0}));
    EXPECT_EQ(BufferStats(kBuf).count, 0);
    EXPECT_TRUE(InCommandMode(kBuf));
}

TEST(EdCmdAppend, SecondAddressIsCheckedThenIgnored) {
    FillBuffer(kBuf, kThree);
    EXPECT_EQ(FeedEach(kBuf, {"1,2a", "x", "."}), (Results{0, 0, 0}));
    EXPECT_EQ(BufferLines(kBuf), (Lines{"L1", "x", "L2", "L3"}));
    EXPECT_EQ(EdCmd(kBuf, "2,1a"), RC_BAD_LINE);
    EXPECT_TRUE(InCommandMode(kBuf));
}

TEST(EdCmdAppend, NegativeFirstAddressIsRefused) {
    FillBuffer(kBuf, kThree);
    EXPECT_EQ(EdCmd(kBuf, "-1a"), RC_BAD_LINE);
    EXPECT_EQ(EdCmd(kBuf, "-2147483648a"), RC_BAD_LINE);
    EXPECT_EQ(EdCmd(kBuf, "-5,2a"), RC_BAD_LINE);
    EXPECT_EQ(BufferLines(kBuf), kThree);
    EXPECT_TRUE(InCommandMode(kBuf));
}

TEST(EdCmdChange, ChangeReplacesRangeWithText) {
    FillBuffer(kBuf, kFive);
    EXPECT_EQ(FeedEach(kBuf, {"2,4c", "P", "Q", "."}), (Results{0, 0, 0, 0}));
    EXPECT_EQ(BufferLines(kBuf), (Lines{"1", "P", "Q", "5"}));
    ExpectFiguresMatchLines(kBuf, {"1", "P", "Q", "5"});
    EXPECT_EQ(FeedEach(kBuf, {"1c", "F", "."}), (Results{0, 0, 0}));
    EXPECT_EQ(BufferLines(kBuf), (Lines{"F", "P", "Q", "5"}));
    EXPECT_EQ(FeedEach(kBuf, {"4c", "."}), (Results{0, 0}));  // change to nothing
    EXPECT_EQ(BufferLines(kBuf), (Lines{"F", "P", "Q"}));
}

TEST(EdCmdChange, RefusedChangeNeitherDeletesNorOpensInsertion) {
    FillBuffer(kBuf, kFive);
    for (const char* command : {"0c", "4,6c", "6c", "3,2c", "c", "-1,2c"}) {
        EXPECT_EQ(EdCmd(kBuf, command), RC_BAD_LINE) << command;
        // Still in command mode: a following text line is read as a command.
        EXPECT_EQ(EdCmd(kBuf, "P"), RC_BAD_LINE) << command;
    }
    EXPECT_EQ(BufferLines(kBuf), kFive);
    ExpectFiguresMatchLines(kBuf, kFive);
}

TEST(EdCmdDelete, CurrentLineFollowsTheDeletedBlock) {
    FillBuffer(kBuf, kThree);
    EXPECT_EQ(EdCmd(kBuf, "2d"), RC_OK);
    EXPECT_EQ(BufferLines(kBuf), (Lines{"L1", "L3"}));
    EXPECT_EQ(EdCmd(kBuf, ".d"), RC_OK);  // current line is the former line 3
    EXPECT_EQ(BufferLines(kBuf), (Lines{"L1"}));

    FillBuffer(kBuf, kThree);
    EXPECT_EQ(EdCmd(kBuf, "3d"), RC_OK);
    EXPECT_EQ(EdCmd(kBuf, " d"), RC_OK);  // current line is the new last line
    EXPECT_EQ(BufferLines(kBuf), (Lines{"L1"}));

    FillBuffer(kBuf, kThree);
    EXPECT_EQ(EdCmd(kBuf, "1,3d"), RC_OK);
    EXPECT_EQ(BufferStats(kBuf).count, 0);
    ExpectFiguresMatchLines(kBuf, {});
    // Emptied: the insertion point is before the first line.
    EXPECT_EQ(FeedEach(kBuf, {".a", "x", "."}), (Results{0, 0, 0}));
    EXPECT_EQ(BufferLines(kBuf), (Lines{"x"}));
}

TEST(EdCmdDelete, RefusedRangesDeleteNothing) {
    FillBuffer(kBuf, kThree);
    for (const char* command : {"5,3d", "4d", "0d", "d", "2,4d", "0,2d", "-1d", "2147483647d",
                                "1,99999999999d", "3,2d"}) {
        EXPECT_EQ(EdCmd(kBuf, command), RC_BAD_LINE) << command;
    }
    EXPECT_EQ(BufferLines(kBuf), kThree);
    ExpectFiguresMatchLines(kBuf, kThree);
    EXPECT_TRUE(InCommandMode(kBuf));
}

TEST(EdCmdAddress, SpaceOrFullStopMeansCurrentLine) {
    FillBuffer(kBuf, kFive);
    ASSERT_EQ(EdCmd(kBuf, "3d"), RC_OK);  // current line 3
    FillBuffer(kBuf, kThree);             // InitBuf inside
    EXPECT_EQ(EdCmd(kBuf, ".d"), RC_OK);  // after InitBuf the current line is line 1
    EXPECT_EQ(BufferLines(kBuf), (Lines{"L2", "L3"}));
    FillBuffer(kBuf, kThree);
    EXPECT_EQ(EdCmd(kBuf, " 3d"), RC_OK);  // bytes after the space are ignored
    EXPECT_EQ(BufferLines(kBuf), (Lines{"L2", "L3"}));
}

TEST(EdCmdAddress, SpaceAfterCommaMeansCurrentLine) {
    FillBuffer(kBuf, kFive);
    ASSERT_EQ(FeedEach(kBuf, {"4a", "."}), (Results{0, 0}));  // current line 4
    EXPECT_EQ(EdCmd(kBuf, "2, 5d"), RC_OK);
    EXPECT_EQ(BufferLines(kBuf), (Lines{"1", "5"}));

    FillBuffer(kBuf, kFive);
    ASSERT_EQ(FeedEach(kBuf, {"0a", "."}), (Results{0, 0}));  // current line 0
    EXPECT_EQ(EdCmd(kBuf, "2, 5d"), RC_BAD_LINE);
    EXPECT_EQ(BufferLines(kBuf), kFive);
}

TEST(EdCmdAddress, NumbersAreReadLikeStrtol) {
    struct Case {
        const char* command;
        int rc;
        Lines after;
    };
    const Case cases[] = {
        {"\t3d", RC_OK, {"1", "2", "4", "5"}},
        {"\v \t2d", RC_OK, {"1", "3", "4", "5"}},
        {"+2d", RC_OK, {"1", "3", "4", "5"}},
        {"3 d", RC_OK, {"1", "2", "4", "5"}},
        {"2,4xd", RC_OK, {"1", "5"}},
        {"1,2,3d", RC_OK, {"3", "4", "5"}},
        {"0004,000005d", RC_OK, {"1", "2", "3"}},
        {"2,\t3d", RC_OK, {"1", "4", "5"}},
        {"2,+3d", RC_OK, {"1", "4", "5"}},
        // No digits after the comma read as 0, which is below 5.
        {"5x,garbage 1 d", RC_BAD_LINE, kFive},
        {"-0d", RC_BAD_LINE, kFive},
        {"2,-3d", RC_BAD_LINE, kFive},
    };
    for (const Case& c : cases) {
        FillBuffer(kBuf, kFive);
        EXPECT_EQ(EdCmd(kBuf, c.command), c.rc) << c.command;
        EXPECT_EQ(BufferLines(kBuf), c.after) << c.command;
    }
}

TEST(EdCmdAddress, LetterIsTheByteBeforeTheAddedLineFeed) {
    FillBuffer(kBuf, kThree);
    for (const char* command :
         {"", "d", "3D", "3A", "3C", "3d\n", "3d\r", "3dx", ".", "3s", "3d\n\n"}) {
        EXPECT_EQ(EdCmd(kBuf, command), RC_BAD_LINE) << static_cast<int>(std::strlen(command));
    }
    EXPECT_EQ(BufferLines(kBuf), kThree);
}

TEST(EdCmdInsertMode, TextLinesAreStoredAsGiven) {
    FillBuffer(kBuf, kThree);
    ASSERT_EQ(EdCmd(kBuf, "3a"), RC_OK);
    EXPECT_EQ(FeedEach(kBuf, {"", "ab", "3d", "x\ry", "a\nb", " .", "\t."}),
              (Results{0, 0, 0, 0, 0, 0, 0}));
    const Lines expected = {"L1", "L2", "L3", "", "ab", "3d", "x\ry", "a\nb", " .", "\t."};
    EXPECT_EQ(BufferLines(kBuf), expected);
    ExpectFiguresMatchLines(kBuf, expected);
    // Any first full stop closes, and the closing line is not stored.
    EXPECT_EQ(EdCmd(kBuf, ".ab"), RC_OK);
    EXPECT_EQ(BufferLines(kBuf), expected);
    EXPECT_TRUE(InCommandMode(kBuf));
}

TEST(EdCmdInsertMode, UnclosedInsertionSurvivesBetweenCalls) {
    FillBuffer(kBuf, kFive);
    EXPECT_EQ(FeedEach(kBuf, {"2a", "t"}), (Results{0, 0}));
    // Adding lines does not touch the edit state.
    ASSERT_EQ(AddLine(kBuf, "6"), RC_OK);
    EXPECT_EQ(EdCmd(kBuf, "3d"), RC_OK);
    EXPECT_EQ(BufferLines(kBuf), (Lines{"1", "2", "t", "3d", "3", "4", "5", "6"}));
    EXPECT_EQ(EdCmd(kBuf, ".x"), RC_OK);
    EXPECT_EQ(EdCmd(kBuf, "3d"), RC_OK);
    EXPECT_EQ(BufferLines(kBuf), (Lines{"1", "2", "3d", "3", "4", "5", "6"}));
    // InitBuf resets it.
    ASSERT_EQ(EdCmd(kBuf, "0a"), RC_OK);
    ASSERT_EQ(InitBuf(kBuf), RC_OK);
    FillBuffer(kBuf, kFive);
    EXPECT_EQ(EdCmd(kBuf, "3d"), RC_OK);
    EXPECT_EQ(BufferLines(kBuf), (Lines{"1", "2", "4", "5"}));
}

TEST(EdCmdInsertMode, EachBufferKeepsItsOwnState) {
    FillBuffer(1, kThree);
    FillBuffer(2, kThree);
    ASSERT_EQ(EdCmd(1, "0a"), RC_OK);
    EXPECT_EQ(EdCmd(2, "1d"), RC_OK);
    EXPECT_EQ(EdCmd(1, "1d"), RC_OK);
    EXPECT_EQ(BufferLines(1), (Lines{"1d", "L1", "L2", "L3"}));
    EXPECT_EQ(BufferLines(2), (Lines{"L2", "L3"}));
    EXPECT_EQ(EdCmd(1, "."), RC_OK);
}

TEST(EdCmdInsertMode, InsertionIgnoresTheLineLimit) {
    ASSERT_EQ(InitBuf(kBuf), RC_OK);
    vektest::AppendCopies(kBuf, "x", MAX_LINES);
    ASSERT_EQ(AddLine(kBuf, "last"), RC_OK);
    ASSERT_EQ(BufferStats(kBuf).count, MAX_LINES + 1);
    ASSERT_EQ(AddLine(kBuf, "refused"), RC_BUFFER_FULL);
    EXPECT_EQ(FeedEach(kBuf, {"524289a", "over", "limit", "."}), (Results{0, 0, 0, 0}));
    const vektest::Stats stats = BufferStats(kBuf);
    EXPECT_EQ(stats.count, MAX_LINES + 3);
    EXPECT_EQ(stats.total, 2 * MAX_LINES + 5 + 5 + 6);
    char text[16] = {};
    int length = 0;
    ASSERT_EQ(GetLine(kBuf, MAX_LINES + 3, 15, text, &length), RC_OK);
    EXPECT_STREQ(text, "limit");
    ASSERT_EQ(InitBuf(kBuf), RC_OK);
}

}  // namespace
