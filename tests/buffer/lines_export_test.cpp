// Filling, reading and checksumming buffers through the exports.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using vektest::BufferLines;
using vektest::BufferStats;
using vektest::FillBuffer;

std::int32_t TableEntry(const char* block, int j) {
    std::int32_t value;
    std::memcpy(&value, block + 4 * j, sizeof value);
    return value;
}

TEST(AddLineExport, StoresTheTextWithALineFeedAndKeepsFigures) {
    FillBuffer(1, {"abc"});
    vektest::Stats stats = BufferStats(1);
    EXPECT_EQ(stats.count, 1);
    EXPECT_EQ(stats.longest, 4);
    EXPECT_EQ(stats.total, 4);

    FillBuffer(1, {""});
    stats = BufferStats(1);
    EXPECT_EQ(stats.count, 1);
    EXPECT_EQ(stats.longest, 1);
    EXPECT_EQ(stats.total, 1);

    // A text that already ends with a line feed gets a second one.
    FillBuffer(1, {"x\n"});
    EXPECT_EQ(BufferStats(1).total, 3);
    EXPECT_EQ(BufferLines(1), std::vector<std::string>{"x\n"});
}

// Once the longest line is deleted the longest length is unknown; lines
// added afterwards must not pass off their own length as the longest.
TEST(AddLineExport, LongestStaysTrueAfterTheLongestLineIsDeleted) {
    FillBuffer(1, {"aaaa", "bb"});
    ASSERT_EQ(EdCmd(1, "1d"), RC_OK);
    ASSERT_EQ(AddLine(1, "c"), RC_OK);
    EXPECT_EQ(BufferStats(1).longest, 3);  // "bb" + LF

    FillBuffer(2, {"zzzzzz"});
    FillBuffer(1, {"q", "rrrrrrrrr"});
    ASSERT_EQ(EdCmd(1, "2d"), RC_OK);
    ASSERT_EQ(EdCmd(1, "1a"), RC_OK);
    ASSERT_EQ(EdCmd(1, "ss"), RC_OK);
    ASSERT_EQ(EdCmd(1, "."), RC_OK);
    ASSERT_EQ(AddLine(1, "t"), RC_OK);
    vektest::Stats stats = BufferStats(1);
    EXPECT_EQ(stats.count, 3);
    EXPECT_EQ(stats.longest, 3);
    EXPECT_EQ(stats.total, 2 + 3 + 2);
}

TEST(AddLineExport, LineLimitAllowsOneLineBeyondMaxLines) {
    ASSERT_EQ(InitBuf(2), RC_OK);
    vektest::AppendCopies(2, "l", MAX_LINES);
    ASSERT_EQ(BufferStats(2).count, MAX_LINES);
    EXPECT_EQ(AddLine(2, "last"), RC_OK);
    EXPECT_EQ(BufferStats(2).count, MAX_LINES + 1);
    EXPECT_EQ(AddLine(2, "refused"), RC_BUFFER_FULL);
    EXPECT_EQ(AddLines(2, "refused\0\0"), RC_BUFFER_FULL);
    const vektest::Stats stats = BufferStats(2);
    EXPECT_EQ(stats.count, MAX_LINES + 1);
    EXPECT_EQ(stats.total, 2 * MAX_LINES + 5);
    char text[8];
    int length = 0;
    EXPECT_EQ(GetLine(2, MAX_LINES + 1, 7, text, &length), RC_OK);
    EXPECT_STREQ(text, "last");
    EXPECT_EQ(InitBuf(2), RC_OK);
}

TEST(GetLineExport, CopiesTheLineOrTellsTheRoomNeeded) {
    FillBuffer(1, {"a", "bb", "ccc"});
    char dest[8];
    int length = -1;
    EXPECT_EQ(GetLine(1, 2, 2, dest, &length), RC_OK);
    EXPECT_STREQ(dest, "bb");
    EXPECT_EQ(length, 2);

    std::memset(dest, '#', sizeof dest);
    length = -1;
    EXPECT_EQ(GetLine(1, 2, 1, dest, &length), RC_NO_ROOM);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(dest[0], '#');

    EXPECT_EQ(GetLine(1, 4, 7, dest, &length), RC_FAILED);
    // Reads in any order keep working after a refusal or a miss.
    for (int line : {3, 2, 1, 1, 3}) {
        ASSERT_EQ(GetLine(1, line, 7, dest, &length), RC_OK);
        EXPECT_EQ(length, line);
        EXPECT_EQ(std::string(dest), std::string(static_cast<std::size_t>(line), "abc"[line - 1]));
    }
}

TEST(GetLinesExport, FillsTheBlockLayout) {
    FillBuffer(1, {"a", "bb", "ccc"});
    static char block[LINES_BLOCK_SIZE];
    std::memset(block, '#', sizeof block);
    int delivered = -1;
    ASSERT_EQ(GetLines(1, 1, 3, block, &delivered), RC_OK);
    EXPECT_EQ(delivered, 3);
    EXPECT_EQ(TableEntry(block, 0), 401);
    EXPECT_EQ(TableEntry(block, 1), 403);
    EXPECT_EQ(TableEntry(block, 2), 406);
    for (int j = 3; j < 100; ++j) {
        ASSERT_EQ(TableEntry(block, j), 400) << j;
    }
    EXPECT_EQ(block[400], '\0');
    EXPECT_EQ(std::memcmp(block + 401, "a\0bb\0ccc\0", 9), 0);

    // A range past the end delivers what there is and answers 100.
    std::memset(block, '#', sizeof block);
    ASSERT_EQ(GetLines(1, 1, 5, block, &delivered), RC_FAILED);
    EXPECT_EQ(delivered, 3);
    EXPECT_EQ(std::memcmp(block + 401, "a\0bb\0ccc\0", 9), 0);
    EXPECT_EQ(TableEntry(block, 3), 400);

    ASSERT_EQ(GetLines(1, 4, 1, block, &delivered), RC_FAILED);
    EXPECT_EQ(delivered, 0);
}

TEST(GetLinesExport, StopsWhenTheNextLineDoesNotFit) {
    static char block[LINES_BLOCK_SIZE];
    int delivered = 0;
    FillBuffer(1, std::vector<std::string>(1000, std::string(99, 'x')));
    ASSERT_EQ(GetLines(1, 1, 100, block, &delivered), RC_OK);
    EXPECT_EQ(delivered, 100);
    EXPECT_EQ(TableEntry(block, 99), 401 + 99 * 100);

    FillBuffer(1, std::vector<std::string>(100, std::string(999, 'y')));
    ASSERT_EQ(GetLines(1, 1, 100, block, &delivered), RC_OK);
    EXPECT_EQ(delivered, 65);
    EXPECT_EQ(TableEntry(block, 64), 401 + 64 * 1000);
    EXPECT_EQ(TableEntry(block, 65), 400);
    // The next call starts at first + delivered.
    ASSERT_EQ(GetLines(1, 66, 100, block, &delivered), RC_FAILED);
    EXPECT_EQ(delivered, 35);

    // A line that can never fit a block: 0 lines, result 0; GetLine still works.
    FillBuffer(1, {std::string(65135, 'z'), "after"});
    ASSERT_EQ(GetLines(1, 1, 2, block, &delivered), RC_OK);
    EXPECT_EQ(delivered, 0);
    std::vector<char> big(70000);
    int length = 0;
    EXPECT_EQ(GetLine(1, 1, 69999, big.data(), &length), RC_OK);
    EXPECT_EQ(length, 65135);
    FillBuffer(1, {std::string(65134, 'z')});
    ASSERT_EQ(GetLines(1, 1, 1, block, &delivered), RC_OK);
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(block[65535], '\0');
}

TEST(GetLinesExport, ReadsAWholeBufferInConsecutiveCalls) {
    std::vector<std::string> lines;
    for (int i = 0; i < 5000; ++i) {
        lines.push_back(std::to_string(i * 7919) +
                        std::string(static_cast<std::size_t>(i % 300), 'q'));
    }
    FillBuffer(3, lines);
    static char block[LINES_BLOCK_SIZE];
    std::vector<std::string> read;
    int first = 1;
    while (first <= static_cast<int>(lines.size())) {
        int delivered = 0;
        const int rc = GetLines(3, first, 100, block, &delivered);
        ASSERT_TRUE(rc == RC_OK || rc == RC_FAILED);
        ASSERT_GT(delivered, 0);
        for (int j = 0; j < delivered; ++j) {
            read.emplace_back(block + TableEntry(block, j));
        }
        first += delivered;
    }
    EXPECT_EQ(read, lines);
}

TEST(AddLinesExport, AppendsEachStringOfTheRun) {
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(AddLines(1, "ab\0cd\0"), RC_OK);
    EXPECT_EQ(BufferLines(1), (std::vector<std::string>{"ab", "cd"}));
    EXPECT_EQ(AddLines(1, "\0ignored\0"), RC_OK);
    EXPECT_EQ(BufferStats(1).count, 2);
    EXPECT_EQ(BufferStats(1).total, 6);
}

TEST(CrcExport, SumsSignedBytesModulo65536) {
    int sum = -1;
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(sum, 0);

    FillBuffer(1, {"abc"});
    ASSERT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(sum, 304);

    FillBuffer(1, {"a", "bb", "ccc"});
    ASSERT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(sum, 620);
    FillBuffer(1, {"ccc", "a", "bb"});
    ASSERT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(sum, 620);

    FillBuffer(1, {"\xFF"});
    ASSERT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(sum, 9);
    FillBuffer(1, {"\x80"});
    ASSERT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(sum, 65418);

    // Many lines of 0x7F wrap past 65536.
    FillBuffer(1, std::vector<std::string>(1000, "\x7F\x7F\x7F"));
    ASSERT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(sum, (1000 * (3 * 127 + 10)) % 65536);

    sum = 1234;
    EXPECT_EQ(Crc(1, 32, &sum), RC_WIDTH_NOT_COMPUTED);
    EXPECT_EQ(sum, 1234);
    EXPECT_EQ(Crc(1, 8, &sum), RC_BAD_WIDTH);
    EXPECT_EQ(sum, 1234);
}

TEST(BufferSlots, AreIndependent) {
    FillBuffer(1, {"one"});
    FillBuffer(2, {"two", "two"});
    FillBuffer(3, {"three", "three", "three"});
    EXPECT_EQ(BufferStats(1).count, 1);
    EXPECT_EQ(BufferStats(2).count, 2);
    EXPECT_EQ(BufferStats(3).count, 3);
    EXPECT_EQ(BufferLines(3)[2], "three");
}

}  // namespace
