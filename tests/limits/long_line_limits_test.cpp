// Lines of about 100 MB through every export that stores, hands out, saves,
// loads, compares or edits lines. Their length is 100 MiB less 7 bytes, so
// that in "head" CR LF <long line> CR LF the second carriage return is the
// last byte of the first 100 MiB: a read that ends at any power of two up to
// there splits that CR LF pair.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "limits/limits_support.h"
#include "support/test_support.h"

namespace {

using limitstest::ExpectLines;
using limitstest::Fingerprint;
using limitstest::LineText;
using limitstest::Load;
using limitstest::Take;
using vektest::BufferStats;
using vektest::FillBuffer;
using vektest::ReadFileBytes;
using vektest::TempDir;
using vektest::WriteFileBytes;

constexpr std::size_t kLong = 100u * 1024u * 1024u - 7u;
constexpr int kLongInt = static_cast<int>(kLong);

// Printable bytes, none of them a full stop, CR, LF, NUL or 0x1A; `seed`
// makes different lines.
std::string LongText(unsigned seed) {
    std::string text(kLong, 'a');
    for (std::size_t i = 0; i < kLong; ++i) {
        text[i] = static_cast<char>('a' + (i * 7 + seed + i / 4099) % 26);
    }
    return text;
}

const std::string& LongA() {
    static const std::string text = LongText(1);
    return text;
}

// LongA with one byte in the middle changed.
const std::string& LongA2() {
    static const std::string text = [] {
        std::string changed = LongA();
        changed[kLong / 2] = changed[kLong / 2] == 'z' ? 'y' : 'z';
        return changed;
    }();
    return text;
}

const std::string& LongB() {
    static const std::string text = LongText(5);
    return text;
}

// Sets buffer 1 to "head", the long line A, "tail".
void FillHeadLongTail() {
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(AddLine(1, "head"), RC_OK);
    ASSERT_EQ(AddLine(1, LongA().c_str()), RC_OK);
    ASSERT_EQ(AddLine(1, "tail"), RC_OK);
}

std::int32_t TableEntry(const std::vector<char>& block, int j) {
    std::int32_t value;
    std::memcpy(&value, block.data() + 4 * j, sizeof value);
    return value;
}

TEST(LongLine, AddLineGetLineGetLinesAndCrc) {
    FillBuffer(2, {"bystander"});
    const Fingerprint other = Take(2);
    FillHeadLongTail();
    ASSERT_FALSE(HasFatalFailure());
    const vektest::Stats stats = BufferStats(1);
    EXPECT_EQ(stats.count, 3);
    EXPECT_EQ(stats.longest, kLongInt + 1);
    EXPECT_EQ(stats.total, 5 + kLongInt + 1 + 5);

    // With room for it, the line comes out exactly, with a NUL after it.
    std::string room(kLong + 1, '#');
    int length = -1;
    EXPECT_EQ(GetLine(1, 2, kLongInt, room.data(), &length), RC_OK);
    EXPECT_EQ(length, kLongInt);
    EXPECT_TRUE(room.compare(0, kLong, LongA()) == 0);
    EXPECT_EQ(room[kLong], '\0');

    // One byte short: 112, the room needed, the destination untouched.
    std::fill(room.begin(), room.end(), '#');
    length = -1;
    EXPECT_EQ(GetLine(1, 2, kLongInt - 1, room.data(), &length), RC_NO_ROOM);
    EXPECT_EQ(length, kLongInt);
    EXPECT_TRUE(std::all_of(room.begin(), room.end(), [](char c) { return c == '#'; }));
    // The lines around it still read.
    EXPECT_EQ(LineText(1, 3), "tail");
    EXPECT_EQ(LineText(1, 1), "head");

    // GetLines never delivers it: a block that starts at it holds nothing,
    // one that starts before it ends there.
    std::vector<char> block(LINES_BLOCK_SIZE, '\x55');
    int delivered = -1;
    EXPECT_EQ(GetLines(1, 2, 1, block.data(), &delivered), RC_OK);
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(block[400], '\0');
    for (int j = 0; j < LINES_BLOCK_MAX_LINES; ++j) {
        EXPECT_EQ(TableEntry(block, j), 400) << "entry " << j;
    }
    delivered = -1;
    EXPECT_EQ(GetLines(1, 1, 3, block.data(), &delivered), RC_OK);
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(TableEntry(block, 0), LINES_BLOCK_TEXT_START);
    EXPECT_EQ(TableEntry(block, 1), 400);
    EXPECT_STREQ(block.data() + LINES_BLOCK_TEXT_START, "head");
    // The next call starts at the line after the one delivered: nothing.
    delivered = -1;
    EXPECT_EQ(GetLines(1, 1 + 1, 2, block.data(), &delivered), RC_OK);
    EXPECT_EQ(delivered, 0);

    int sum = -1;
    EXPECT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(sum,
              limitstest::AddSigned(
                  limitstest::AddSigned(limitstest::AddSigned(0, "head\n"), LongA()), "\ntail\n"));
    ExpectLines(1, 3, [](int line) -> std::string {
        return line == 1 ? "head" : line == 2 ? LongA() : "tail";
    });
    EXPECT_EQ(Take(2), other);
    ASSERT_EQ(InitBuf(1), RC_OK);
}

TEST(LongLine, WriteBufAndReadBufInPiecesOf1022Bytes) {
    TempDir dir;
    const std::string path = dir.Path("saved.txt");
    FillHeadLongTail();
    ASSERT_FALSE(HasFatalFailure());
    const Fingerprint saved = Take(1);
    EXPECT_EQ(WriteBuf(1, path.c_str()), RC_OK);
    EXPECT_EQ(Take(1), saved);
    const std::string expected = "head\r\n" + LongA() + "\r\ntail\r\n";
    const std::string written = ReadFileBytes(path);
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);

    // The long line and its line feed come back as pieces of 1,022 bytes
    // without a line feed (GetLine drops their last byte) and a last piece
    // that ends with the line feed.
    ASSERT_EQ(InitBuf(2), RC_OK);
    EXPECT_EQ(ReadBuf(2, path.c_str()), RC_OK);
    const std::size_t withFeed = kLong + 1;
    const int pieces = static_cast<int>((withFeed + 1021) / 1022);
    ExpectLines(2, pieces + 2, [&](int line) -> std::string {
        if (line == 1) {
            return "head";
        }
        if (line == pieces + 2) {
            return "tail";
        }
        const std::size_t start = static_cast<std::size_t>(line - 2) * 1022;
        const std::size_t stored = std::min<std::size_t>(1022, withFeed - start);
        return LongA().substr(start, stored - 1);
    });
    // The same bytes are stored, so the figures that count bytes agree.
    const Fingerprint read = Take(2);
    EXPECT_EQ(read.total, saved.total);
    EXPECT_EQ(read.checksum, saved.checksum);
    EXPECT_EQ(read.longest, 1022);

    // Saved again, the pieces run into one another: the same file.
    const std::string again = dir.Path("again.txt");
    EXPECT_EQ(WriteBuf(2, again.c_str()), RC_OK);
    EXPECT_TRUE(ReadFileBytes(again) == expected);
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(InitBuf(2), RC_OK);
}

TEST(LongLine, BundleWithALongLineLoadsWritesAndChecksums) {
    TempDir dir;
    WriteFileBytes(dir.Path("long.txt"), "head\r\n" + LongA() + "\r\nz");
    WriteFileBytes(dir.Path("small.txt"), "s1\ns2\n");
    FillBuffer(2, {"bystander"});
    const Fingerprint other = Take(2);
    const std::string list = limitstest::JoinList({dir.Path("long.txt"), dir.Path("small.txt")});

    ASSERT_EQ(InitBuf(1), RC_OK);
    std::string status;
    EXPECT_EQ(Load(1, 'T', list, &status), RC_OK);
    EXPECT_EQ(status, "L,L");
    const std::vector<std::string> lines = {" head", " " + LongA(), " z", "E", " s1", " s2", "E"};
    ExpectLines(1, 7, [&](int line) { return lines[static_cast<std::size_t>(line - 1)]; });
    const vektest::Stats stats = BufferStats(1);
    EXPECT_EQ(stats.longest, kLongInt + 2);
    EXPECT_EQ(stats.total, 6 + (kLongInt + 2) + 3 + 2 + 4 + 4 + 2);

    int sum = -1;
    int fileSum = -2;
    ASSERT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(limitstest::CrcOfFiles('T', list, &fileSum), RC_OK);
    EXPECT_EQ(fileSum, sum);

    const Fingerprint loaded = Take(1);
    const std::string out = limitstest::JoinList({dir.Path("long.out"), dir.Path("small.out")});
    EXPECT_EQ(limitstest::Write(1, 'T', out), RC_OK);
    EXPECT_TRUE(ReadFileBytes(dir.Path("long.out")) == "head\r\n" + LongA() + "\r\nz\r\n");
    EXPECT_EQ(ReadFileBytes(dir.Path("small.out")), "s1\r\ns2\r\n");
    EXPECT_EQ(Take(1), loaded);
    EXPECT_EQ(Take(2), other);
    ASSERT_EQ(InitBuf(1), RC_OK);
}

TEST(LongLine, DiffAndEdBufCarryLongLines) {
    // Old: a, A, b, B, c. New: a, A with one byte changed, b, B, c, and a
    // third long line. The script: "5a", the third line, ".", then "2c",
    // the changed line, ".".
    const std::string third = LongText(9);
    FillBuffer(1, {"a", LongA(), "b", LongB(), "c"});
    FillBuffer(2, {"a", LongA2(), "b", LongB(), "c", third});
    ASSERT_FALSE(HasFatalFailure());
    const Fingerprint target = Take(2);
    EXPECT_EQ(Diff(1, 2, 3), RC_OK);
    const std::vector<std::string> script = {"5a", third, ".", "2c", LongA2(), "."};
    ExpectLines(3, 6, [&](int line) { return script[static_cast<std::size_t>(line - 1)]; });
    EXPECT_EQ(Take(2), target);

    const Fingerprint scriptPrint = Take(3);
    EXPECT_EQ(EdBuf(3, 1), RC_OK);
    EXPECT_EQ(Take(1), target);
    EXPECT_EQ(Take(3), scriptPrint);

    // Equal buffers of long lines give an empty script.
    EXPECT_EQ(Diff(1, 2, 3), RC_OK);
    EXPECT_EQ(BufferStats(3).count, 0);
    for (int buf = 1; buf <= 3; ++buf) {
        ASSERT_EQ(InitBuf(buf), RC_OK);
    }
}

// The one test past 2 GiB (about 4 GiB at its peak): a line whose stored
// length an int cannot count is refused wherever a line enters, and a total
// beyond INT_MAX is reported as INT_MAX while every line stays readable.
TEST(LongLine, BeyondAnIntIsRefusedAndTheTotalSaturates) {
    constexpr std::size_t kIntMax = 2147483647u;
    FillBuffer(1, {"head"});
    ASSERT_FALSE(HasFatalFailure());
    const Fingerprint before = Take(1);
    {
        // INT_MAX bytes, then the NUL that ends them and the empty string
        // that ends a packed run: with its line feed, one byte too long.
        std::string huge(kIntMax + 1, 'a');
        huge[kIntMax] = '\0';
        EXPECT_EQ(AddLine(1, huge.c_str()), RC_BUFFER_FULL);
        EXPECT_EQ(AddLines(1, huge.c_str()), RC_BUFFER_FULL);
        EXPECT_EQ(EdCmd(1, "1a"), RC_OK);
        EXPECT_EQ(EdCmd(1, huge.c_str()), RC_BUFFER_FULL);
        EXPECT_EQ(EdCmd(1, "."), RC_OK);
    }
    EXPECT_EQ(Take(1), before);

    const std::size_t half = 1100u * 1000u * 1000u;
    const std::string text(half, 'b');
    ASSERT_EQ(AddLine(1, text.c_str()), RC_OK);
    ASSERT_EQ(AddLine(1, text.c_str()), RC_OK);
    const vektest::Stats stats = BufferStats(1);
    EXPECT_EQ(stats.count, 3);
    EXPECT_EQ(stats.longest, static_cast<int>(half) + 1);
    EXPECT_EQ(stats.total, static_cast<int>(kIntMax));
    int length = -1;
    char room[8] = "#######";
    EXPECT_EQ(GetLine(1, 3, 7, room, &length), RC_NO_ROOM);
    EXPECT_EQ(length, static_cast<int>(half));
    EXPECT_STREQ(room, "#######");
    EXPECT_EQ(GetLine(1, 1, 7, room, &length), RC_OK);
    EXPECT_STREQ(room, "head");
    // Once a line goes, the total is exact again.
    EXPECT_EQ(EdCmd(1, "2d"), RC_OK);
    EXPECT_EQ(BufferStats(1).total, 5 + static_cast<int>(half) + 1);
    ASSERT_EQ(InitBuf(1), RC_OK);
}

}  // namespace
