// LoadFiles: the bundle lines of text and binary files, the status text and
// the walk over the file list.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "files_model.h"
#include "files_test_util.h"
#include "support/test_support.h"

namespace {

using filestest::ExpectBufferHolds;
using filestest::JoinList;
using filestest::Load;
using vektest::BufferLines;
using vektest::BufferStats;
using vektest::TempDir;
using vektest::WriteFileBytes;

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> TextSectionWithTerminator(const std::string& bytes) {
    return Concat(filesmodel::TextSection(bytes), {"E\n"});
}

TEST(LoadFilesExport, BinaryExampleAndMissingBinaryFile) {
    TempDir dir;
    WriteFileBytes(dir.Path("x.dat"), "Cat");
    ASSERT_EQ(InitBuf(1), RC_OK);
    std::string list = JoinList({dir.Path("x.dat"), dir.Path("y.dat")});
    char status[32] = "";
    EXPECT_EQ(LoadFiles(1, 'B', list.data(), status), RC_OK);
    EXPECT_STREQ(status, "L,E");
    ExpectBufferHolds(1, {" begin 777 xxxx\n", " #0V%T\n", "  \n", " end\n", "E\n", "E\n"});
    // The list was cut in place at the comma of the first name.
    EXPECT_EQ(list, dir.Path("x.dat") + '\0' + dir.Path("y.dat"));
}

TEST(LoadFilesExport, TextLineEndsAndKeptBytes) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {std::string("ab\r\ncd"), {" ab\n", " cd\n"}},
        {std::string("a\rb\n"), {" a\rb\n"}},
        {std::string("x\r\r\n"), {" x\r\n"}},
        {std::string("ends in cr\r"), {" ends in cr\r\n"}},
        {std::string("\n"), {" \n"}},
        {std::string("\n\n\r\n"), {" \n", " \n", " \n"}},
        {std::string("nul\0inside\nz", 12), {std::string(" nul\0inside\n", 12), " z\n"}},
        // An unterminated last line that begins with NUL is kept.
        {std::string("ab\n\0cd", 6), {" ab\n", std::string(" \0cd\n", 5)}},
        {std::string(1, '\0'), {std::string(" \0\n", 3)}},
        {std::string("\r"), {" \r\n"}},
    };
    for (const auto& [bytes, lines] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        WriteFileBytes(dir.Path("t.txt"), bytes);
        ASSERT_EQ(InitBuf(2), RC_OK);
        std::string status;
        EXPECT_EQ(Load(2, 'T', dir.Path("t.txt"), &status), RC_OK);
        EXPECT_EQ(status, "L");
        ExpectBufferHolds(2, Concat(lines, {"E\n"}));
        EXPECT_EQ(BufferStats(2).longest,
                  static_cast<int>(std::max_element(lines.begin(), lines.end(),
                                                    [](const std::string& a, const std::string& b) {
                                                        return a.size() < b.size();
                                                    })
                                       ->size()));
    }
}

TEST(LoadFilesExport, EmptyTextFileGivesTerminatorOnly) {
    TempDir dir;
    WriteFileBytes(dir.Path("empty.txt"), "");
    ASSERT_EQ(InitBuf(1), RC_OK);
    std::string status;
    EXPECT_EQ(Load(1, 'T', dir.Path("empty.txt"), &status), RC_OK);
    EXPECT_EQ(status, "E");
    ExpectBufferHolds(1, {"E\n"});
}

TEST(LoadFilesExport, LargeTextFilesMatchTheChunkedModel) {
    // Dense line ends so that CR LF pairs fall across read boundaries, long
    // lines that span several reads, and a last line without line end.
    TempDir dir;
    std::mt19937 random(7);
    std::string dense = filesmodel::RandomBytes(random, 300000, std::string("ab\r\n\r\n\0", 7));
    std::string longLines = filesmodel::RandomBytes(random, 1200000, "xyz\r");
    for (std::size_t i = 2047; i < longLines.size(); i += 2048 * 37) {
        longLines[i] = '\r';
        longLines[i + 1] = '\n';
    }
    longLines[1048575] = '\r';
    longLines[1048576] = '\n';
    for (const std::string& bytes : {dense, longLines}) {
        WriteFileBytes(dir.Path("big.txt"), bytes);
        ASSERT_EQ(InitBuf(3), RC_OK);
        ASSERT_EQ(Load(3, 'T', dir.Path("big.txt")), RC_OK);
        ExpectBufferHolds(3, TextSectionWithTerminator(bytes));
    }
}

TEST(LoadFilesExport, BinarySectionsForSmallAndBoundarySizes) {
    TempDir dir;
    std::mt19937 random(11);
    ASSERT_EQ(InitBuf(1), RC_OK);
    std::vector<std::string> expected;
    std::string status;
    // Ten names per call: every name is binary with type 'B'.
    for (std::size_t size = 0; size <= 100; size += 10) {
        std::vector<std::string> names;
        for (std::size_t k = 0; k < 10; ++k) {
            const std::string bytes = filesmodel::RandomBytes(random, size + k);
            const std::string name = dir.Path("b" + std::to_string(size + k));
            WriteFileBytes(name, bytes);
            names.push_back(name);
            expected = Concat(expected, filesmodel::BinarySection(bytes));
        }
        ASSERT_EQ(Load(1, 'B', JoinList(names), &status), RC_OK);
        EXPECT_EQ(status, size == 0 ? "E,L,L,L,L,L,L,L,L,L" : "L,L,L,L,L,L,L,L,L,L");
    }
    ExpectBufferHolds(1, expected);
}

TEST(LoadFilesExport, BinaryLineShapes) {
    TempDir dir;
    std::mt19937 random(3);
    const std::string b45 = filesmodel::RandomBytes(random, 45);
    const std::string b46 = b45 + 'q';
    WriteFileBytes(dir.Path("45"), b45);
    WriteFileBytes(dir.Path("46"), b46);
    WriteFileBytes(dir.Path("0"), "");
    ASSERT_EQ(InitBuf(1), RC_OK);
    std::string status;
    ASSERT_EQ(Load(1, 'B', JoinList({dir.Path("45"), dir.Path("46"), dir.Path("0")}), &status),
              RC_OK);
    EXPECT_EQ(status, "L,L,E");
    const std::vector<std::string> lines = BufferLines(1);
    ASSERT_EQ(lines.size(), 5u + 6u + 4u);
    EXPECT_EQ(lines[1].substr(0, 2), " M");
    EXPECT_EQ(lines[1].size(), 62u);
    EXPECT_EQ(lines[2], "  ");  // the zero-length line: no short line after a full one
    EXPECT_EQ(lines[7].substr(0, 2), " !");
    // The short block's missing bytes come from the previous block, left in
    // the read area at positions 1 and 2.
    const unsigned b0 = static_cast<unsigned char>('q');
    const unsigned b1 = static_cast<unsigned char>(b45[1]);
    const unsigned b2 = static_cast<unsigned char>(b45[2]);
    std::string group;
    group += filesmodel::Encoded(b0 >> 2);
    group += filesmodel::Encoded(((b0 & 3) << 4) | (b1 >> 4));
    group += filesmodel::Encoded(((b1 & 15) << 2) | (b2 >> 6));
    group += filesmodel::Encoded(b2);
    EXPECT_EQ(lines[7], " !" + group);
    const std::vector<std::string> empty = {" begin 777 xxxx", "  ", " end", "E"};
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 11, lines.end()), empty);
}

TEST(LoadFilesExport, LargeBinaryFilesMatchTheBlockModel) {
    // Sizes around whole read runs, so that the last short block and the
    // block before it can lie in different reads.
    TempDir dir;
    std::mt19937 random(5);
    for (std::size_t size : {std::size_t{1048590 + 1}, std::size_t{1048590 + 44},
                             std::size_t{2097180}, std::size_t{1500007}}) {
        SCOPED_TRACE(size);
        const std::string bytes = filesmodel::RandomBytes(random, size);
        WriteFileBytes(dir.Path("big.bin"), bytes);
        ASSERT_EQ(InitBuf(3), RC_OK);
        ASSERT_EQ(Load(3, 'B', dir.Path("big.bin")), RC_OK);
        ExpectBufferHolds(3, filesmodel::BinarySection(bytes));
    }
}

TEST(LoadFilesExport, ListWalkEmptyNamesAndFullLists) {
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 11; ++i) {
        names.push_back(dir.Path("f" + std::to_string(i)));
        WriteFileBytes(names.back(), "line " + std::to_string(i) + "\n");
    }
    const auto section = [&](int i) {
        return TextSectionWithTerminator("line " + std::to_string(i) + "\n");
    };
    const auto binarySection = [&](int i) {
        return filesmodel::BinarySection("line " + std::to_string(i) + "\n");
    };
    std::string status;

    // An empty list loads nothing and gives an empty status.
    vektest::FillBuffer(1, {"kept"});
    EXPECT_EQ(Load(1, 'T', "", &status), RC_OK);
    EXPECT_EQ(status, "");
    ExpectBufferHolds(1, {"kept\n"});

    // "a,,b": the empty name ends the walk.
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(Load(1, 'T', names[0] + ",," + names[1], &status), RC_OK);
    EXPECT_EQ(status, "L");
    ExpectBufferHolds(1, section(0));

    // Ten names with 'T': nine text sections, the tenth binary.
    ASSERT_EQ(InitBuf(1), RC_OK);
    std::vector<std::string> ten(names.begin(), names.begin() + 10);
    EXPECT_EQ(Load(1, 'T', JoinList(ten), &status), RC_OK);
    EXPECT_EQ(status, "L,L,L,L,L,L,L,L,L,L");
    std::vector<std::string> expected;
    for (int i = 0; i < 9; ++i) {
        expected = Concat(expected, section(i));
    }
    expected = Concat(expected, binarySection(9));
    ExpectBufferHolds(1, expected);

    // A full list with an empty third name: that name gives a missing-file
    // section and the walk goes on.
    ASSERT_EQ(InitBuf(1), RC_OK);
    std::vector<std::string> holed = ten;
    holed[2] = "";
    EXPECT_EQ(Load(1, 'T', JoinList(holed), &status), RC_OK);
    EXPECT_EQ(status, "L,L,E,L,L,L,L,L,L,L");
    expected.clear();
    for (int i = 0; i < 9; ++i) {
        expected = Concat(expected, i == 2 ? std::vector<std::string>{"E\n"} : section(i));
    }
    ExpectBufferHolds(1, Concat(expected, binarySection(9)));

    // Eleven names, and ten names with a trailing comma: ten sections, 108,
    // no status copied. Nine names with a trailing comma: 0.
    for (const std::string& list : {JoinList(names), JoinList(ten) + ","}) {
        ASSERT_EQ(InitBuf(1), RC_OK);
        EXPECT_EQ(Load(1, 'T', list, &status), RC_TOO_MANY_FILES);
        EXPECT_EQ(status, "unwritten");
        EXPECT_EQ(BufferStats(1).count, 9 * 2 + 5);
    }
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(
        Load(1, 'T', JoinList(std::vector<std::string>(names.begin(), names.begin() + 9)) + ",",
             &status),
        RC_OK);
    EXPECT_EQ(status, "L,L,L,L,L,L,L,L,L");

    // A list that begins with a comma: full when its eleventh name is there.
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(
        Load(1, 'T', "," + JoinList(std::vector<std::string>(names.begin(), names.begin() + 9)),
             &status),
        RC_OK);
    EXPECT_EQ(status, "");
    EXPECT_EQ(BufferStats(1).count, 0);
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(Load(1, 'T', "," + JoinList(ten), &status), RC_TOO_MANY_FILES);
    expected = {"E\n"};
    for (int i = 0; i < 8; ++i) {
        expected = Concat(expected, section(i));
    }
    ExpectBufferHolds(1, Concat(expected, binarySection(8)));
}

TEST(LoadFilesExport, MissingFilesAndDirectories) {
    TempDir dir;
    WriteFileBytes(dir.Path("a.txt"), "a\n");
    const std::string missing = dir.Path("missing.txt");
    std::string status;

    // A text file that cannot be opened fails the load; earlier sections stay.
    for (const std::string& bad : {missing, dir.Path("")}) {
        vektest::FillBuffer(1, {"before"});
        EXPECT_EQ(Load(1, 'T', JoinList({dir.Path("a.txt"), bad, dir.Path("a.txt")}), &status),
                  RC_READ_FAILED);
        EXPECT_EQ(status, "unwritten");
        ExpectBufferHolds(1, Concat({"before\n"}, TextSectionWithTerminator("a\n")));
    }

    // As binary files they give a lone terminator and the entry "E".
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(Load(1, 'B', JoinList({missing, dir.Path(""), dir.Path("a.txt")}), &status), RC_OK);
    EXPECT_EQ(status, "E,E,L");
    ExpectBufferHolds(1, Concat({"E\n", "E\n"}, filesmodel::BinarySection("a\n")));
}

TEST(LoadFilesExport, FilesHeldByOthers) {
    TempDir dir;
    WriteFileBytes(dir.Path("held.txt"), "held\n");
    std::string status;
    {
        filestest::HeldFile held(dir.Path("held.txt"), true);
        ASSERT_TRUE(held.Held());
        ASSERT_EQ(InitBuf(1), RC_OK);
        EXPECT_EQ(Load(1, 'T', dir.Path("held.txt"), &status), RC_READ_FAILED);
        EXPECT_EQ(Load(1, 'B', dir.Path("held.txt"), &status), RC_OK);
        EXPECT_EQ(status, "E");
        ExpectBufferHolds(1, {"E\n"});
    }
    // Released: loads again.
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(Load(1, 'T', dir.Path("held.txt"), &status), RC_OK);
    ExpectBufferHolds(1, TextSectionWithTerminator("held\n"));
}

TEST(LoadFilesExport, LineLimitCutsTheSectionShort) {
    TempDir dir;
    WriteFileBytes(dir.Path("three.txt"), "1\n2\n3\n");
    ASSERT_EQ(InitBuf(2), RC_OK);
    vektest::AppendCopies(2, "l", MAX_LINES);
    ASSERT_EQ(BufferStats(2).count, MAX_LINES);
    std::string status;
    EXPECT_EQ(Load(2, 'T', dir.Path("three.txt"), &status), RC_BUFFER_FULL);
    EXPECT_EQ(status, "unwritten");
    EXPECT_EQ(BufferStats(2).count, MAX_LINES + 1);
    char line[8] = "";
    int length = 0;
    ASSERT_EQ(GetLine(2, MAX_LINES + 1, 7, line, &length), RC_OK);
    EXPECT_STREQ(line, " 1");
    // A binary file stops at its header.
    EXPECT_EQ(Load(2, 'B', dir.Path("three.txt"), &status), RC_BUFFER_FULL);
    EXPECT_EQ(BufferStats(2).count, MAX_LINES + 1);
    ASSERT_EQ(InitBuf(2), RC_OK);
}

TEST(LoadFilesExport, KeepsEarlierLinesAndRepairsAnUnterminatedLastLine) {
    TempDir dir;
    WriteFileBytes(dir.Path("a.txt"), "a");
    WriteFileBytes(dir.Path("empty.txt"), "");
    WriteFileBytes(dir.Path("plain.txt"), "p\nq");  // read back without a final line feed
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(ReadBuf(1, dir.Path("plain.txt").c_str()), RC_OK);
    // The empty text file appends no line, so the line ReadBuf left without a
    // line feed is the last one and gets one; the figures count it.
    EXPECT_EQ(Load(1, 'T', JoinList({dir.Path("empty.txt"), dir.Path("a.txt")})), RC_OK);
    ExpectBufferHolds(1, {"p\n", "q\n", "E\n", " a\n", "E\n"});
    EXPECT_EQ(BufferStats(1).longest, 3);
}

TEST(LoadFilesExport, ArgumentChecksInOrder) {
    std::string list = "x";
    char status[8] = "";
    EXPECT_EQ(LoadFiles(0, 'Q', nullptr, status), RC_BAD_BUFFER);
    EXPECT_EQ(LoadFiles(4, 'T', list.data(), status), RC_BAD_BUFFER);
    EXPECT_EQ(LoadFiles(1, 'Q', nullptr, status), RC_BAD_TYPE);
    EXPECT_EQ(LoadFiles(1, 't', list.data(), status), RC_BAD_TYPE);
    EXPECT_EQ(LoadFiles(1, 'T', nullptr, status), RC_FAILED);
    // Only the low byte of the type is examined.
    TempDir dir;
    WriteFileBytes(dir.Path("x"), "x\n");
    ASSERT_EQ(InitBuf(1), RC_OK);
    list = dir.Path("x");
    EXPECT_EQ(LoadFiles(1, 0x7700 + 'B', list.data(), status), RC_OK);
    ExpectBufferHolds(1, filesmodel::BinarySection("x\n"));
}

}  // namespace
