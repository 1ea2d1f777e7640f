// WriteFiles: bundles written back out as files, round trips with LoadFiles,
// and malformed bundles.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "files_model.h"
#include "files_test_util.h"
#include "support/test_support.h"

namespace {

using filestest::JoinList;
using filestest::Load;
using filestest::Write;
using vektest::FileExists;
using vektest::ReadFileBytes;
using vektest::TempDir;
using vektest::WriteFileBytes;

// Fills `buf` with stored lines given in full (each must end with a line
// feed, which AddLine supplies).
void FillStored(int buf, const std::vector<std::string>& lines) {
    ASSERT_EQ(InitBuf(buf), RC_OK);
    for (const std::string& line : lines) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\n');
        const std::string text = line.substr(0, line.size() - 1);
        ASSERT_EQ(AddLine(buf, text.c_str()), RC_OK);
    }
}

std::set<std::string> DirectoryNames(const TempDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path(""))) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// What a text file becomes after a load and a write: each section line
// without its leading space and line feed, followed by CR LF.
std::string TextWrittenBack(const std::string& bytes) {
    std::string out;
    for (const std::string& line : filesmodel::TextSection(bytes)) {
        out += line.substr(1, line.size() - 2) + "\r\n";
    }
    return out;
}

TEST(WriteFilesExport, TextRoundTrips) {
    TempDir dir;
    const std::vector<std::string> texts = {
        "lf\nonly\n",   "crlf\r\nlines\r\n", "lone\rcr\n",
        "no final end", "mixed\r\n\n\rx",    std::string("nul\0byte\n", 9),
        "\n",           "x\r\r\n",           "ends\r"};
    std::vector<std::string> names;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        names.push_back(dir.Path("t" + std::to_string(i)));
        WriteFileBytes(names.back(), texts[i]);
    }
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'T', JoinList(names)), RC_OK);
    std::vector<std::string> outs;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        outs.push_back(dir.Path("o" + std::to_string(i)));
    }
    ASSERT_EQ(Write(1, 'T', JoinList(outs)), RC_OK);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(testing::PrintToString(texts[i]));
        EXPECT_EQ(ReadFileBytes(outs[i]), TextWrittenBack(texts[i]));
    }
    EXPECT_EQ(ReadFileBytes(outs[0]), "lf\r\nonly\r\n");
    EXPECT_EQ(ReadFileBytes(outs[2]), "lone\rcr\r\n");
    EXPECT_EQ(ReadFileBytes(outs[3]), "no final end\r\n");
}

TEST(WriteFilesExport, EmptyAndMissingFilesLeaveTheirNamesUntouched) {
    TempDir dir;
    WriteFileBytes(dir.Path("empty.txt"), "");
    WriteFileBytes(dir.Path("a.txt"), "a\n");
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'T', JoinList({dir.Path("empty.txt"), dir.Path("a.txt")})), RC_OK);
    WriteFileBytes(dir.Path("existing"), "untouched");
    ASSERT_EQ(Write(1, 'T',
                    JoinList({dir.Path("existing"), dir.Path("second"), dir.Path("extra1"),
                              dir.Path("extra2")})),
              RC_OK);
    EXPECT_EQ(ReadFileBytes(dir.Path("existing")), "untouched");
    EXPECT_EQ(ReadFileBytes(dir.Path("second")), "a\r\n");
    // More names than sections: the extra names are not touched.
    EXPECT_FALSE(FileExists(dir.Path("extra1")));
    EXPECT_FALSE(FileExists(dir.Path("extra2")));

    // A missing binary file: its lone terminator leaves the name alone.
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'B', JoinList({dir.Path("missing"), dir.Path("a.txt")})), RC_OK);
    ASSERT_EQ(Write(1, 'B', JoinList({dir.Path("existing"), dir.Path("bin")})), RC_OK);
    EXPECT_EQ(ReadFileBytes(dir.Path("existing")), "untouched");
    EXPECT_EQ(ReadFileBytes(dir.Path("bin")), "a\n");
}

TEST(WriteFilesExport, BinaryRoundTripsForEverySizeUpTo200) {
    TempDir dir;
    std::mt19937 random(17);
    for (std::size_t first = 0; first <= 200; first += 10) {
        std::vector<std::string> names;
        std::vector<std::string> outs;
        std::vector<std::string> contents;
        for (std::size_t size = first; size < first + 10 && size <= 200; ++size) {
            contents.push_back(filesmodel::RandomBytes(random, size));
            names.push_back(dir.Path("in" + std::to_string(size)));
            outs.push_back(dir.Path("out" + std::to_string(size)));
            WriteFileBytes(names.back(), contents.back());
        }
        ASSERT_EQ(InitBuf(2), RC_OK);
        ASSERT_EQ(Load(2, 'B', JoinList(names)), RC_OK);
        ASSERT_EQ(Write(2, 'B', JoinList(outs)), RC_OK);
        for (std::size_t i = 0; i < outs.size(); ++i) {
            ASSERT_TRUE(FileExists(outs[i])) << outs[i];
            EXPECT_EQ(ReadFileBytes(outs[i]), contents[i]) << outs[i];
        }
    }
}

TEST(WriteFilesExport, LargeBinaryRoundTrip) {
    TempDir dir;
    std::mt19937 random(23);
    // Several 256 KiB output buffers and a remainder.
    const std::string bytes = filesmodel::RandomBytes(random, 1000003);
    WriteFileBytes(dir.Path("big"), bytes);
    ASSERT_EQ(InitBuf(3), RC_OK);
    ASSERT_EQ(Load(3, 'B', dir.Path("big")), RC_OK);
    ASSERT_EQ(Write(3, 'B', dir.Path("copy")), RC_OK);
    EXPECT_TRUE(ReadFileBytes(dir.Path("copy")) == bytes);
    ASSERT_EQ(InitBuf(3), RC_OK);
}

TEST(WriteFilesExport, TenthNameIsBinaryBothWays) {
    TempDir dir;
    std::mt19937 random(29);
    std::vector<std::string> names;
    std::vector<std::string> outs;
    for (int i = 0; i < 10; ++i) {
        names.push_back(dir.Path("n" + std::to_string(i)));
        outs.push_back(dir.Path("o" + std::to_string(i)));
        WriteFileBytes(names.back(), i < 9 ? "text " + std::to_string(i) + "\r\n"
                                           : filesmodel::RandomBytes(random, 100));
    }
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'T', JoinList(names)), RC_OK);
    ASSERT_EQ(Write(1, 'T', JoinList(outs)), RC_OK);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(ReadFileBytes(outs[i]), ReadFileBytes(names[i])) << i;
    }
}

TEST(WriteFilesExport, SectionsWrittenAsTheOtherType) {
    TempDir dir;
    WriteFileBytes(dir.Path("t"), "hello\nsecond\n");
    WriteFileBytes(dir.Path("b"), "Cat");
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'T', dir.Path("t")), RC_OK);
    // A text section written as binary: its first line lacks " begin".
    WriteFileBytes(dir.Path("out"), "old contents");
    EXPECT_EQ(Write(1, 'B', dir.Path("out")), RC_WRITE_FAILED);
    EXPECT_EQ(ReadFileBytes(dir.Path("out")), "");

    // A binary section written as text: its lines, space and line feed
    // replaced, up to the terminator.
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'B', JoinList({dir.Path("b"), dir.Path("b")})), RC_OK);
    EXPECT_EQ(Write(1, 'T', JoinList({dir.Path("out"), dir.Path("out2")})), RC_OK);
    // The zero-length line "  " keeps its second space.
    const std::string asText = "begin 777 xxxx\r\n#0V%T\r\n \r\nend\r\n";
    EXPECT_EQ(ReadFileBytes(dir.Path("out")), asText);
    EXPECT_EQ(ReadFileBytes(dir.Path("out2")), asText);
}

TEST(WriteFilesExport, TextSectionEdges) {
    TempDir dir;
    // A bare line feed (one byte) is written as CR LF; the bundle's last line
    // ends a section without being written.
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(AddLine(1, " a"), RC_OK);
    ASSERT_EQ(AddLine(1, ""), RC_OK);
    ASSERT_EQ(AddLine(1, " b"), RC_OK);
    ASSERT_EQ(AddLine(1, " not written"), RC_OK);
    ASSERT_EQ(Write(1, 'T', dir.Path("edges")), RC_OK);
    EXPECT_EQ(ReadFileBytes(dir.Path("edges")), "a\r\n\r\nb\r\n");

    // A section whose only line is the bundle's last: created empty.
    FillStored(1, {" only\n"});
    WriteFileBytes(dir.Path("single"), "old");
    ASSERT_EQ(Write(1, 'T', dir.Path("single")), RC_OK);
    EXPECT_EQ(ReadFileBytes(dir.Path("single")), "");

    // A terminator that is the bundle's last line is consumed by the section
    // before it; the next name has nothing left.
    FillStored(1, {" x\n", "E\n", " y\n", "E\n"});
    ASSERT_EQ(Write(1, 'T', JoinList({dir.Path("x"), dir.Path("y"), dir.Path("z")})), RC_OK);
    EXPECT_EQ(ReadFileBytes(dir.Path("x")), "x\r\n");
    EXPECT_EQ(ReadFileBytes(dir.Path("y")), "y\r\n");
    EXPECT_FALSE(FileExists(dir.Path("z")));

    // "E" followed by more than its line feed is content, not a terminator.
    FillStored(1, {" a\n", "Ex\n", " b\n", "E\n", "E\n"});
    ASSERT_EQ(Write(1, 'T', dir.Path("e")), RC_OK);
    EXPECT_EQ(ReadFileBytes(dir.Path("e")), "a\r\nx\r\nb\r\n");
}

TEST(WriteFilesExport, MalformedBinarySections) {
    TempDir dir;
    const std::string header = " begin 777 xxxx\n";
    // A character position equal to the line's length reads as NUL: the byte
    // decoded from the line feed and that NUL.
    const auto d = [](unsigned char c) { return (static_cast<unsigned>(c) - 32u) & 63u; };
    const std::string fromLineFeed(1, static_cast<char>(((d('\n') << 2) | (d(0) >> 4)) & 255));
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        int rc;
        std::string written;
    };
    const std::vector<Case> cases = {
        {"well formed", {header, " #0V%T\n", "  \n", " end\n", "E\n"}, RC_OK, "Cat"},
        {"terminator not examined", {header, " #0V%T\n", " end\n", " junk\n"}, RC_OK, "Cat"},
        {"header is the last line", {header}, RC_FAILED, ""},
        {"header and one line", {header, " #0V%T\n"}, RC_WRITE_FAILED, ""},
        {"cut before end", {header, " #0V%T\n", "  \n"}, RC_WRITE_FAILED, "Cat"},
        {"end is the last line", {header, " #0V%T\n", " end\n"}, RC_WRITE_FAILED, "Cat"},
        {"bad header", {" begun\n", " #0V%T\n", " end\n", "E\n"}, RC_WRITE_FAILED, ""},
        {"end with more", {header, " #0V%T\n", " endless\n", "E\n"}, RC_WRITE_FAILED, "Cat"},
        {"bare line feed in the data",
         {header, " #0V%T\n", "\n", " end\n", "E\n"},
         RC_FAILED,
         "Cat"},
        {"short data line",
         {header, " M0V%T0V%T\n", " end\n", "E\n"},
         RC_FAILED,
         "CatCat" + fromLineFeed},
        {"count beyond the line",
         {header, " %0V%T\n", " end\n", "E\n"},
         RC_FAILED,
         "Cat" + fromLineFeed},
        {"no end line", {header, " #0V%T\n", "E\n", "E\n"}, RC_FAILED, "Cat"},
        // The line feed as the last character the count needs, and as the
        // one before it (the last then read at the line's end, as NUL).
        {"line feed as the last character",
         {header, " #0V%\n", " end\n", "E\n"},
         RC_OK,
         "Ca" + std::string(1, static_cast<char>(((d('%') << 6) | d('\n')) & 255))},
        {"line feed before the last character",
         {header, " #0V\n", " end\n", "E\n"},
         RC_OK,
         "C" + std::string(1, static_cast<char>(((d('V') << 4) | (d('\n') >> 2)) & 255)) +
             std::string(1, static_cast<char>(((d('\n') << 6) | d(0)) & 255))},
        {"backquote reads as zero",
         {header, " !``\n", " end\n", "E\n"},
         RC_OK,
         std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FillStored(1, c.lines);
        const std::set<std::string> before = DirectoryNames(dir);
        WriteFileBytes(dir.Path("bin"), "previous");
        EXPECT_EQ(Write(1, 'B', JoinList({dir.Path("bin"), dir.Path("after")})), c.rc);
        EXPECT_EQ(ReadFileBytes(dir.Path("bin")), c.written);
        EXPECT_FALSE(FileExists(dir.Path("after")));
        std::set<std::string> expected = before;
        expected.insert("bin");
        EXPECT_EQ(DirectoryNames(dir), expected);
    }
}

TEST(WriteFilesExport, BadNamesAndHeldFiles) {
    TempDir dir;
    WriteFileBytes(dir.Path("a"), "a\n");
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'T', JoinList({dir.Path("a"), dir.Path("a")})), RC_OK);
    const std::string unwritable = dir.Path("no-such-dir") + "/file";
    for (const std::string& bad : {std::string(), dir.Path(""), unwritable}) {
        SCOPED_TRACE(bad);
        // The first name is written; the bad second name stops the call.
        EXPECT_EQ(Write(1, 'T', JoinList({dir.Path("first"), bad, dir.Path("third")})),
                  bad.empty() ? RC_OK : RC_WRITE_FAILED);
        EXPECT_EQ(ReadFileBytes(dir.Path("first")), "a\r\n");
        EXPECT_FALSE(FileExists(dir.Path("third")));
    }
    // A full list with an empty name for a section that holds lines: 105.
    std::vector<std::string> full(10, dir.Path("x"));
    full[1] = "";
    EXPECT_EQ(Write(1, 'T', JoinList(full)), RC_WRITE_FAILED);
    // A binary section for a directory.
    ASSERT_EQ(InitBuf(2), RC_OK);
    ASSERT_EQ(Load(2, 'B', dir.Path("a")), RC_OK);
    EXPECT_EQ(Write(2, 'B', dir.Path("")), RC_WRITE_FAILED);

    WriteFileBytes(dir.Path("held"), "keep");
    {
        filestest::HeldFile held(dir.Path("held"), false);
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(Write(1, 'T', dir.Path("held")), RC_WRITE_FAILED);
        EXPECT_EQ(Write(2, 'B', dir.Path("held")), RC_WRITE_FAILED);
    }
    EXPECT_EQ(ReadFileBytes(dir.Path("held")), "keep");
    EXPECT_EQ(Write(2, 'B', dir.Path("held")), RC_OK);
    EXPECT_EQ(ReadFileBytes(dir.Path("held")), "a\n");
}

TEST(WriteFilesExport, ElevenNamesWriteTenFiles) {
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 11; ++i) {
        names.push_back(dir.Path("in" + std::to_string(i)));
        WriteFileBytes(names.back(), std::to_string(i) + "\n");
    }
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'B', JoinList(names)), RC_TOO_MANY_FILES);
    std::vector<std::string> outs;
    for (int i = 0; i < 11; ++i) {
        outs.push_back(dir.Path("out" + std::to_string(i)));
    }
    EXPECT_EQ(Write(1, 'B', JoinList(outs)), RC_TOO_MANY_FILES);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(ReadFileBytes(outs[i]), std::to_string(i) + "\n");
    }
    EXPECT_FALSE(FileExists(outs[10]));
}

TEST(WriteFilesExport, ArgumentChecksAndTheBufferStaysUnchanged) {
    std::string list = "x";
    EXPECT_EQ(WriteFiles(0, 'Q', nullptr), RC_BAD_BUFFER);
    EXPECT_EQ(WriteFiles(1, 'Q', nullptr), RC_BAD_TYPE);
    EXPECT_EQ(WriteFiles(1, 'T', nullptr), RC_FAILED);
    TempDir dir;
    WriteFileBytes(dir.Path("a"), "a\r\nb\n");
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'T', dir.Path("a")), RC_OK);
    const auto before = vektest::BufferLines(1);
    ASSERT_EQ(Write(1, 'T', dir.Path("out")), RC_OK);
    EXPECT_EQ(vektest::BufferLines(1), before);
    EXPECT_EQ(ReadFileBytes(dir.Path("out")), "a\r\nb\r\n");
}

}  // namespace
