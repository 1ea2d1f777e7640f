// The export frames: argument checks come first, in a fixed order, and a
// failed check changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/test_support.h"

namespace {

using vektest::BufferLines;
using vektest::BufferStats;
using vektest::FillBuffer;

// Every export that takes a buffer number, called with `number`.
std::vector<int> CallsWithBuffer(int number) {
    static char block[LINES_BLOCK_SIZE];
    char list[] = "x";
    char status[20];
    char line[8];
    int a = 0, b = 0, c = 0;
    return {
        InitBuf(number),
        AddLine(number, "x"),
        AddLines(number, "x\0"),
        EdCmd(number, "1d"),
        EdBuf(number, 1 + (number == 1)),
        EdBuf(1 + (number == 1), number),
        GetLine(number, 1, 4, line, &a),
        GetLines(number, 1, 1, block, &a),
        GetBufStats(number, &a, &b, &c),
        Crc(number, 16, &a),
        LoadFiles(number, 'T', list, status),
        WriteFiles(number, 'T', list),
        WriteBuf(number, "x"),
        ReadBuf(number, "x"),
        Diff(number, 2, 3),
        Diff(1, number, 3),
        Diff(1, 2, number),
        DiffWhole(number, 2, 3),
        DiffWhole(1, number, 3),
        DiffWhole(1, 2, number),
    };
}

TEST(FrameChecks, BufferNumbersOutsideOneToThreeAreRefused) {
    FillBuffer(1, {"keep"});
    for (int number : {0, 4, -1, 1 << 30, -2147483647 - 1}) {
        for (int rc : CallsWithBuffer(number)) {
            EXPECT_EQ(rc, RC_BAD_BUFFER) << "buffer number " << number;
        }
    }
    EXPECT_EQ(BufferLines(1), std::vector<std::string>{"keep"});
}

TEST(FrameChecks, EqualBufferNumbersAreRefusedBeforeAnyWork) {
    FillBuffer(1, {"a"});
    FillBuffer(2, {"b"});
    FillBuffer(3, {"c"});
    EXPECT_EQ(EdBuf(2, 2), RC_BAD_BUFFER);
    EXPECT_EQ(Diff(1, 2, 1), RC_BAD_BUFFER);
    EXPECT_EQ(Diff(1, 1, 3), RC_BAD_BUFFER);
    EXPECT_EQ(Diff(1, 2, 2), RC_BAD_BUFFER);
    EXPECT_EQ(Diff(0, 1, 2), RC_BAD_BUFFER);
    EXPECT_EQ(Diff(1, 2, 4), RC_BAD_BUFFER);
    EXPECT_EQ(DiffWhole(1, 2, 1), RC_BAD_BUFFER);
    EXPECT_EQ(DiffWhole(1, 1, 3), RC_BAD_BUFFER);
    EXPECT_EQ(DiffWhole(1, 2, 2), RC_BAD_BUFFER);
    EXPECT_EQ(BufferLines(1), std::vector<std::string>{"a"});
    EXPECT_EQ(BufferLines(2), std::vector<std::string>{"b"});
    EXPECT_EQ(BufferLines(3), std::vector<std::string>{"c"});
}

TEST(FrameChecks, NullTextsAreRefusedAfterTheBufferNumber) {
    int value = 0;
    EXPECT_EQ(AddLine(1, nullptr), RC_FAILED);
    EXPECT_EQ(AddLine(5, nullptr), RC_BAD_BUFFER);
    EXPECT_EQ(AddLines(1, nullptr), RC_FAILED);
    EXPECT_EQ(EdCmd(1, nullptr), RC_FAILED);
    EXPECT_EQ(WriteBuf(1, nullptr), RC_FAILED);
    EXPECT_EQ(ReadBuf(1, nullptr), RC_FAILED);
    EXPECT_EQ(LoadFiles(1, 'T', nullptr, nullptr), RC_FAILED);
    EXPECT_EQ(WriteFiles(1, 'B', nullptr), RC_FAILED);
    EXPECT_EQ(CheckType(nullptr, nullptr), RC_FAILED);
    EXPECT_EQ(CrcFile('T', nullptr, 16, &value), RC_FAILED);
}

TEST(FrameChecks, LineNumberAndCountChecksOfGetLineAndGetLines) {
    static char block[LINES_BLOCK_SIZE];
    char line[8];
    int length = -5;
    int delivered = -5;
    EXPECT_EQ(GetLine(1, 0, 4, line, &length), RC_BAD_LINE);
    EXPECT_EQ(GetLine(9, 0, 4, line, &length), RC_BAD_BUFFER);
    EXPECT_EQ(length, -5);
    EXPECT_EQ(GetLines(1, 1, 0, block, &delivered), RC_FAILED);
    EXPECT_EQ(GetLines(1, 1, 101, block, &delivered), RC_FAILED);
    EXPECT_EQ(delivered, -5);
    EXPECT_EQ(GetLines(1, 0, 0, block, &delivered), RC_BAD_LINE);
    EXPECT_EQ(delivered, -5);
}

TEST(FrameChecks, TypeLetterAndWidthChecks) {
    char list[] = "";
    char status[20];
    int value = 42;
    EXPECT_EQ(CrcFile('X', nullptr, 8, &value), RC_BAD_TYPE);
    EXPECT_EQ(CrcFile('T', list, 8, &value), RC_BAD_WIDTH);
    EXPECT_EQ(LoadFiles(1, 'X', nullptr, status), RC_BAD_TYPE);
    EXPECT_EQ(LoadFiles(1, 't', list, status), RC_BAD_TYPE);
    EXPECT_EQ(WriteFiles(1, 'b', list), RC_BAD_TYPE);
    EXPECT_EQ(Crc(1, 8, &value), RC_BAD_WIDTH);
    EXPECT_EQ(Crc(4, 8, &value), RC_BAD_BUFFER);
    EXPECT_EQ(value, 42);
    // Only the low byte of the type letter counts: 0x154 is 'T'.
    EXPECT_NE(LoadFiles(1, 0x154, nullptr, status), RC_BAD_TYPE);
    EXPECT_NE(CrcFile(0x142, nullptr, 16, &value), RC_BAD_TYPE);
}

TEST(TestBufProbe, ReturnsTheValueAndStoresOneHundred) {
    int value = 7;
    EXPECT_EQ(TestBuf(&value), 7);
    EXPECT_EQ(value, 100);
    value = -3;
    EXPECT_EQ(TestBuf(&value), -3);
    EXPECT_EQ(value, 100);
    EXPECT_EQ(TestBuf(nullptr), RC_FAILED);
}

TEST(InitBufExport, EmptiesTheBufferAndLeavesTheOthers) {
    FillBuffer(1, {"one", "two"});
    FillBuffer(2, {"other"});
    EXPECT_EQ(InitBuf(1), RC_OK);
    const vektest::Stats stats = BufferStats(1);
    EXPECT_EQ(stats.count, 0);
    EXPECT_EQ(stats.longest, 0);
    EXPECT_EQ(stats.total, 0);
    EXPECT_EQ(BufferLines(2), std::vector<std::string>{"other"});
    EXPECT_EQ(InitBuf(1), RC_OK);  // an empty buffer resets fine too
}

}  // namespace
