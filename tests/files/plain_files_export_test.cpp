// WriteBuf and ReadBuf: plain text files through text-mode streams.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "files_model.h"
#include "files_test_util.h"
#include "support/test_support.h"

namespace {

using filestest::ExpectBufferHolds;
using vektest::BufferLines;
using vektest::BufferStats;
using vektest::FillBuffer;
using vektest::ReadFileBytes;
using vektest::TempDir;
using vektest::WriteFileBytes;

int ReadInto(int buf, const std::string& path) {
    return ReadBuf(buf, path.c_str());
}
int WriteFrom(int buf, const std::string& path) {
    return WriteBuf(buf, path.c_str());
}

TEST(WriteBufExport, WritesLineFeedsAsCrLf) {
    TempDir dir;
    FillBuffer(1, {"ab", "cd"});
    EXPECT_EQ(WriteFrom(1, dir.Path("f")), RC_OK);
    EXPECT_EQ(ReadFileBytes(dir.Path("f")), "ab\r\ncd\r\n");

    // An empty buffer truncates an existing file to nothing.
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(WriteFrom(1, dir.Path("f")), RC_OK);
    EXPECT_EQ(ReadFileBytes(dir.Path("f")), "");

    // Lines go out up to their first NUL; a line without a line feed runs
    // into the next; inner line feeds and carriage returns pass as they are.
    WriteFileBytes(dir.Path("in"), std::string("a\0b\nno end", 10));
    ASSERT_EQ(ReadInto(1, dir.Path("in")), RC_OK);
    ASSERT_EQ(AddLine(1, "x\ny\r"), RC_OK);
    ASSERT_EQ(AddLine(1, "\x1a"), RC_OK);
    EXPECT_EQ(WriteFrom(1, dir.Path("f")), RC_OK);
    EXPECT_EQ(ReadFileBytes(dir.Path("f")), "ano endx\r\ny\r\r\n\x1a\r\n");
    EXPECT_EQ(BufferStats(1).count, 4);
}

TEST(ReadBufExport, TranslationAndPieces) {
    TempDir dir;
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"ab\r\ncd", {"ab\n", "cd"}},
        {"a\rb\n", {"a\rb\n"}},
        {"a\n\x1a"
         "b\n",
         {"a\n"}},
        {std::string("a\0b\nc\n", 6), {"a", "c\n"}},
        {"", {}},
        {"x\r", {"x\r"}},
        {"x\r\x1a\n", {"x\r"}},
        {"\r\r\n\r", {"\r\n", "\r"}},
        {std::string(1500, 'q') + "\r\n", {std::string(1022, 'q'), std::string(478, 'q') + "\n"}},
        {std::string(1022, 'r') + "\r\n", {std::string(1022, 'r'), "\n"}},
        {std::string(1021, 's') + "\r\n", {std::string(1021, 's') + "\n"}},
        {std::string(2044, 't'), {std::string(1022, 't'), std::string(1022, 't')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes.substr(0, 20)));
        ASSERT_EQ(c.lines, filesmodel::PlainPieces(c.bytes));
        WriteFileBytes(dir.Path("f"), c.bytes);
        ASSERT_EQ(InitBuf(2), RC_OK);
        EXPECT_EQ(ReadInto(2, dir.Path("f")), RC_OK);
        EXPECT_EQ(BufferStats(2).count, static_cast<int>(c.lines.size()));
        EXPECT_EQ(BufferStats(2).total, filesmodel::TotalLength(c.lines));
        EXPECT_EQ(BufferLines(2), filesmodel::AsHandedOut(c.lines));
    }
}

TEST(ReadBufExport, LargeFilesMatchTheModel) {
    // Carriage returns and line feeds everywhere, so that pairs fall across
    // every internal buffer boundary of the stream; long runs without line
    // feeds for the 1,022-byte pieces.
    TempDir dir;
    std::mt19937 random(31);
    std::string bytes = filesmodel::RandomBytes(random, 200000, std::string("a\r\r\n\0", 5));
    bytes += filesmodel::RandomBytes(random, 100000, "bcd\r");
    bytes += filesmodel::RandomBytes(random, 100000, "e\r\n");
    WriteFileBytes(dir.Path("big"), bytes);
    const std::vector<std::string> pieces = filesmodel::PlainPieces(bytes);
    ASSERT_EQ(InitBuf(3), RC_OK);
    ASSERT_EQ(ReadInto(3, dir.Path("big")), RC_OK);
    EXPECT_EQ(BufferStats(3).count, static_cast<int>(pieces.size()));
    EXPECT_EQ(BufferStats(3).total, filesmodel::TotalLength(pieces));
    EXPECT_TRUE(BufferLines(3) == filesmodel::AsHandedOut(pieces));
    ASSERT_EQ(InitBuf(3), RC_OK);
}

TEST(ReadBufExport, AppendsAndRoundTrips) {
    TempDir dir;
    FillBuffer(1, {"first", "", "third line"});
    ASSERT_EQ(WriteFrom(1, dir.Path("f")), RC_OK);
    // Twice into a buffer that already holds a line: appended both times.
    FillBuffer(2, {"kept"});
    ASSERT_EQ(ReadInto(2, dir.Path("f")), RC_OK);
    ASSERT_EQ(ReadInto(2, dir.Path("f")), RC_OK);
    const std::vector<std::string> once = {"first", "", "third line"};
    std::vector<std::string> expected = {"kept"};
    expected.insert(expected.end(), once.begin(), once.end());
    expected.insert(expected.end(), once.begin(), once.end());
    EXPECT_EQ(BufferLines(2), expected);
    EXPECT_EQ(BufferStats(2).total, 5 + 2 * (6 + 1 + 11));
}

TEST(ReadBufExport, FailuresLeaveTheBufferAsItWas) {
    TempDir dir;
    FillBuffer(1, {"kept"});
    EXPECT_EQ(ReadInto(1, dir.Path("missing")), RC_READ_FAILED);
    EXPECT_EQ(ReadInto(1, dir.Path("")), RC_READ_FAILED);
    EXPECT_EQ(BufferLines(1), std::vector<std::string>{"kept"});
    EXPECT_EQ(WriteFrom(1, dir.Path("")), RC_WRITE_FAILED);
    EXPECT_EQ(WriteFrom(1, dir.Path("no-dir") + "/f"), RC_WRITE_FAILED);

    // A file held by another opener can be neither read nor written.
    WriteFileBytes(dir.Path("held"), "held\n");
    {
        filestest::HeldFile held(dir.Path("held"), false);
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(ReadInto(1, dir.Path("held")), RC_READ_FAILED);
        EXPECT_EQ(WriteFrom(1, dir.Path("held")), RC_WRITE_FAILED);
    }
    EXPECT_EQ(ReadFileBytes(dir.Path("held")), "held\n");
    EXPECT_EQ(BufferLines(1), std::vector<std::string>{"kept"});

    EXPECT_EQ(ReadBuf(4, "x"), RC_BAD_BUFFER);
    EXPECT_EQ(ReadBuf(0, nullptr), RC_BAD_BUFFER);
    EXPECT_EQ(ReadBuf(1, nullptr), RC_FAILED);
    EXPECT_EQ(WriteBuf(4, "x"), RC_BAD_BUFFER);
    EXPECT_EQ(WriteBuf(1, nullptr), RC_FAILED);
}

TEST(ReadBufExport, LineLimit) {
    TempDir dir;
    WriteFileBytes(dir.Path("f"), "1\n2\n");
    ASSERT_EQ(InitBuf(2), RC_OK);
    vektest::AppendCopies(2, "l", MAX_LINES);
    // One piece fits (MAX_LINES + 1 lines), the next is refused.
    EXPECT_EQ(ReadInto(2, dir.Path("f")), RC_BUFFER_FULL);
    EXPECT_EQ(BufferStats(2).count, MAX_LINES + 1);
    EXPECT_EQ(ReadInto(2, dir.Path("f")), RC_BUFFER_FULL);
    EXPECT_EQ(BufferStats(2).count, MAX_LINES + 1);
    ASSERT_EQ(InitBuf(2), RC_OK);
}

}  // namespace

// A name longer than MAX_PATH (260) works in every call that takes one, on
// Windows as elsewhere: written, read back, typed, bundled, checksummed and
// unbundled under long names, with the same codes as short names.
TEST(FileNamesExport, LongerThanMaxPathWorkInEveryCall) {
    TempDir dir;
    const std::string folder = dir.Path(std::string(200, 'd'));
    std::filesystem::create_directory(folder);
    const std::string text = folder + "/" + std::string(90, 't');
    const std::string copy = folder + "/" + std::string(90, 'c');
    ASSERT_GT(text.size(), 260u);
    const std::vector<std::string> lines = {"alpha", "beta", ""};
    FillBuffer(1, lines);
    ASSERT_EQ(WriteFrom(1, text), RC_OK);
    ASSERT_EQ(InitBuf(2), RC_OK);
    ASSERT_EQ(ReadInto(2, text), RC_OK);
    EXPECT_EQ(BufferLines(2), BufferLines(1));

    std::string list = text;
    char type = 0;
    EXPECT_EQ(CheckType(list.data(), &type), RC_OK);
    EXPECT_EQ(type, 'T');
    for (const char bundleType : {'T', 'B'}) {
        SCOPED_TRACE(bundleType);
        ASSERT_EQ(InitBuf(3), RC_OK);
        std::string status;
        ASSERT_EQ(filestest::Load(3, bundleType, text, &status), RC_OK);
        EXPECT_EQ(status, "L");  // a binary name that failed to open would give "E"
        int loaded = -1;
        int summed = -2;
        ASSERT_EQ(Crc(3, 16, &loaded), RC_OK);
        list = text;
        ASSERT_EQ(CrcFile(bundleType, list.data(), 16, &summed), RC_OK);
        EXPECT_EQ(summed, loaded);
        ASSERT_EQ(filestest::Write(3, bundleType, copy), RC_OK);
        ASSERT_EQ(InitBuf(2), RC_OK);
        ASSERT_EQ(ReadInto(2, copy), RC_OK);
        EXPECT_EQ(BufferLines(2), BufferLines(1));
    }
}
