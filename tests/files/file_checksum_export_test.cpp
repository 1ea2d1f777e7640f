// CrcFile: the checksum of files as the bundle LoadFiles would make.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "files_model.h"
#include "files_test_util.h"
#include "support/test_support.h"

namespace {

using filestest::JoinList;
using filestest::Load;
using vektest::BufferLines;
using vektest::TempDir;
using vektest::WriteFileBytes;

int CrcOfFiles(char type, const std::string& list, int width, int* out) {
    std::string cut = list;
    return CrcFile(type, cut.data(), width, out);
}

TEST(CrcFileExport, EqualsCrcOfTheLoadedBundle) {
    TempDir dir;
    std::mt19937 random(41);
    std::vector<std::string> names;
    // The largest is read in more than one run of whole 45-byte blocks.
    for (std::size_t size : {0, 1, 2, 44, 46, 91, 300, 2100007}) {
        names.push_back(dir.Path("f" + std::to_string(size)));
        WriteFileBytes(names.back(), filesmodel::RandomBytes(random, size));
    }
    names.push_back(dir.Path("missing"));
    WriteFileBytes(dir.Path("text"), "caf\xc3\xa9\r\nline two\n\xff");
    // Lines are summed up to their first NUL byte; the line feed given to an
    // unterminated last line counts only when no NUL byte comes before it.
    WriteFileBytes(dir.Path("nul"), std::string("a\0b\nc\0d", 7));
    WriteFileBytes(dir.Path("open"), "x\ny");
    for (char type : {'B', 'T'}) {
        SCOPED_TRACE(type);
        const std::string list =
            type == 'B'
                ? JoinList(names)
                : JoinList({dir.Path("text"), dir.Path("nul"), dir.Path("open"), dir.Path("f300")});
        ASSERT_EQ(InitBuf(3), RC_OK);
        ASSERT_EQ(Load(3, type, list), RC_OK);
        int fromBuffer = -1;
        ASSERT_EQ(Crc(3, 16, &fromBuffer), RC_OK);
        int fromFiles = -1;
        EXPECT_EQ(CrcOfFiles(type, list, 16, &fromFiles), RC_OK);
        EXPECT_EQ(fromFiles, fromBuffer);
    }
    // Short binary files: their pad characters come from a cleared read area.
    int value = -1;
    EXPECT_EQ(CrcOfFiles('B', dir.Path("f1"), 16, &value), RC_OK);
    EXPECT_EQ(value, filesmodel::Checksum(
                         filesmodel::BinarySection(vektest::ReadFileBytes(dir.Path("f1")))));
    // A missing binary file contributes its terminator line.
    EXPECT_EQ(CrcOfFiles('B', dir.Path("missing"), 16, &value), RC_OK);
    EXPECT_EQ(value, 'E' + '\n');
}

TEST(CrcFileExport, ResultsAndUntouchedOutputs) {
    TempDir dir;
    WriteFileBytes(dir.Path("a"), "a\n");
    int value = 12345;
    EXPECT_EQ(CrcOfFiles('T', "", 16, &value), RC_OK);
    EXPECT_EQ(value, 0);

    value = 12345;
    EXPECT_EQ(CrcOfFiles('T', JoinList({dir.Path("a"), dir.Path("missing")}), 16, &value),
              RC_READ_FAILED);
    EXPECT_EQ(value, 12345);
    EXPECT_EQ(CrcOfFiles('T', JoinList(std::vector<std::string>(11, dir.Path("a"))), 16, &value),
              RC_TOO_MANY_FILES);
    EXPECT_EQ(value, 12345);
    EXPECT_EQ(CrcOfFiles('T', dir.Path("a"), 32, &value), RC_WIDTH_NOT_COMPUTED);
    EXPECT_EQ(value, 12345);

    EXPECT_EQ(CrcFile('X', nullptr, 7, &value), RC_BAD_TYPE);
    EXPECT_EQ(CrcFile('T', nullptr, 7, &value), RC_FAILED);
    std::string list = dir.Path("a");
    EXPECT_EQ(CrcFile('B', list.data(), 7, &value), RC_BAD_WIDTH);
    EXPECT_EQ(value, 12345);
}

TEST(CrcFileExport, NumberedBuffersStayAsTheyWere) {
    TempDir dir;
    WriteFileBytes(dir.Path("a"), "a\n");
    WriteFileBytes(dir.Path("b"), "b\n");
    for (int buf = 1; buf <= 3; ++buf) {
        vektest::FillBuffer(buf, {"line of " + std::to_string(buf)});
    }
    ASSERT_EQ(Load(2, 'T', dir.Path("a")), RC_OK);
    const std::vector<std::string> before[3] = {BufferLines(1), BufferLines(2), BufferLines(3)};
    int value = 0;
    ASSERT_EQ(CrcOfFiles('T', JoinList({dir.Path("a"), dir.Path("b")}), 16, &value), RC_OK);
    for (int buf = 1; buf <= 3; ++buf) {
        EXPECT_EQ(BufferLines(buf), before[buf - 1]);
    }
}

}  // namespace
