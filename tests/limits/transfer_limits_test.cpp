// The fixed sizes of line transfer: the 65,536-byte GetLines block, whose
// texts (each with its NUL) have 65,135 bytes of room from offset 401 to
// 65,535, and the 1,022-byte pieces in which ReadBuf stores file lines.
// Blocks are allocated with exactly their documented size, so the sanitizer
// build sees any byte written past them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "limits/limits_support.h"
#include "support/test_support.h"

namespace {

using limitstest::ExpectLines;
using vektest::FillBuffer;

constexpr int kRoom = LINES_BLOCK_SIZE - LINES_BLOCK_TEXT_START;  // 65,135

struct Block {
    std::unique_ptr<char[]> bytes{new char[LINES_BLOCK_SIZE]};
    int delivered = -1;

    std::int32_t Entry(int j) const {
        std::int32_t value;
        std::memcpy(&value, bytes.get() + 4 * j, sizeof value);
        return value;
    }
    int Fill(int buf, int first, int count) {
        std::memset(bytes.get(), 0x55, LINES_BLOCK_SIZE);
        delivered = -1;
        return GetLines(buf, first, count, bytes.get(), &delivered);
    }
};

TEST(TransferLimits, GetLinesPlacesALineOnlyWhenTextAndNulFit) {
    Block block;
    // A text of 65,134 bytes and its NUL fill the room exactly; one byte
    // more and the line never fits.
    FillBuffer(1, {std::string(kRoom - 1, 'f'), std::string(kRoom, 'g')});
    EXPECT_EQ(block.Fill(1, 1, 2), RC_OK);
    EXPECT_EQ(block.delivered, 1);
    EXPECT_EQ(block.Entry(0), LINES_BLOCK_TEXT_START);
    EXPECT_EQ(block.Entry(1), 400);
    EXPECT_EQ(std::string(block.bytes.get() + LINES_BLOCK_TEXT_START), std::string(kRoom - 1, 'f'));
    EXPECT_EQ(block.bytes[LINES_BLOCK_SIZE - 1], '\0');
    EXPECT_EQ(block.Fill(1, 2, 1), RC_OK);
    EXPECT_EQ(block.delivered, 0);
    EXPECT_EQ(block.Entry(0), 400);
    EXPECT_EQ(block.bytes[400], '\0');

    // 99 lines of 650 text bytes take 64,449 bytes; a hundredth of 685
    // bytes takes the last 686, one of 686 bytes does not fit.
    std::vector<std::string> lines(99, std::string(650, 'h'));
    lines.push_back(std::string(685, 'i'));
    lines.push_back(std::string(686, 'j'));
    lines.push_back("k");
    FillBuffer(2, lines);
    EXPECT_EQ(block.Fill(2, 1, 100), RC_OK);
    EXPECT_EQ(block.delivered, 100);
    EXPECT_EQ(block.Entry(99), LINES_BLOCK_TEXT_START + 99 * 651);
    EXPECT_EQ(std::string(block.bytes.get() + block.Entry(99)), std::string(685, 'i'));
    EXPECT_EQ(block.bytes[LINES_BLOCK_SIZE - 1], '\0');
    EXPECT_EQ(block.Fill(2, 2, 100), RC_OK);
    EXPECT_EQ(block.delivered, 99);  // lines 2..100: 98 of 651 bytes and 686
    // Lines 3..102 take 97 * 651 + 686 + 687 + 2 = 64,522 bytes: all fit,
    // up to the last line of the buffer. From line 4 the range runs past it.
    EXPECT_EQ(block.Fill(2, 3, 100), RC_OK);
    EXPECT_EQ(block.delivered, 100);
    EXPECT_EQ(std::string(block.bytes.get() + block.Entry(99)), "k");
    EXPECT_EQ(block.Fill(2, 4, 100), RC_FAILED);
    EXPECT_EQ(block.delivered, 99);
    // A block that starts at the 686-byte line holds it, and "k", then the
    // range runs past the end.
    EXPECT_EQ(block.Fill(2, 101, 3), RC_FAILED);
    EXPECT_EQ(block.delivered, 2);
    EXPECT_EQ(std::string(block.bytes.get() + block.Entry(1)), "k");
    limitstest::ExpectConsistent(1);
    limitstest::ExpectConsistent(2);
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(InitBuf(2), RC_OK);
}

// Lines of 1,021, 1,022 and 1,023 bytes with CR LF: after the translation
// they are 1,022, 1,023 and 1,024 bytes, so the first is one piece, the
// others a full piece and a rest. The CR LF pair always becomes the line
// feed of the rest, wherever the cut falls.
TEST(TransferLimits, ReadBufCutsPiecesAfter1022TranslatedBytes) {
    vektest::TempDir dir;
    const std::string a(1021, 'a');
    const std::string b(1022, 'b');
    const std::string c(1023, 'c');
    vektest::WriteFileBytes(dir.Path("edges"), a + "\r\n" + b + "\r\n" + c + "\r\n");
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(ReadBuf(1, dir.Path("edges").c_str()), RC_OK);
    // Stored: a LF | b (1,022, no LF) | LF | c minus its last byte | "c" LF.
    // GetLine drops each piece's last byte.
    const std::vector<std::string> shown = {a, b.substr(0, 1021), "", c.substr(0, 1021), "c"};
    ExpectLines(1, 5, [&](int line) { return shown[static_cast<std::size_t>(line - 1)]; });
    EXPECT_EQ(vektest::BufferStats(1).total, 1022 + 1022 + 1 + 1022 + 2);
    EXPECT_EQ(vektest::BufferStats(1).longest, 1022);

    // Written back, the pieces run together into the same file.
    EXPECT_EQ(WriteBuf(1, dir.Path("again").c_str()), RC_OK);
    EXPECT_EQ(vektest::ReadFileBytes(dir.Path("again")), vektest::ReadFileBytes(dir.Path("edges")));
    ASSERT_EQ(InitBuf(1), RC_OK);
}

}  // namespace
