// Bundles against independent tools: every binary section, with the leading
// space taken off its lines, is a uuencoded file that sharutils uudecode and
// Python's binascii.a2b_uu decode to the original bytes; text sections hold
// the lines that sed gives when it puts a space in front of every line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "files_model.h"
#include "files_test_util.h"
#include "support/test_support.h"

namespace {

using filestest::Load;
using vektest::BufferLines;
using vektest::ReadFileBytes;
using vektest::TempDir;
using vektest::WriteFileBytes;

int RunCommand(const std::string& command) {
    return std::system(command.c_str());
}

// Loads `path` as binary into buffer 3 and writes its section, leading
// spaces removed and without the terminator, to `uuPath`.
void WriteSectionAsUuencoded(const std::string& path, const std::string& uuPath) {
    ASSERT_EQ(InitBuf(3), RC_OK);
    ASSERT_EQ(Load(3, 'B', path), RC_OK);
    const std::vector<std::string> lines = BufferLines(3);
    ASSERT_GE(lines.size(), 4u);
    ASSERT_EQ(lines.back(), "E");
    std::string uu;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        ASSERT_EQ(lines[i][0], ' ');
        uu += lines[i].substr(1) + "\n";
    }
    WriteFileBytes(uuPath, uu);
}

// a2b_uu insists that the characters of a short last group which carry no
// bytes be blank, while the bundle fills them from the bytes the previous
// block left in the read area. So each line goes to a2b_uu as it is, and
// only when a2b_uu refuses it for trailing characters are those unused
// characters blanked; the script lists the files where that was needed.
const char* kPythonDecoder = R"(import binascii, sys
blanked = []
for uu_path, out_path in zip(sys.argv[2::2], sys.argv[3::2]):
    data = []
    with open(uu_path, 'rb') as f:
        lines = f.read().split(b'\n')
    assert lines[0] == b'begin 777 xxxx', lines[0]
    for number, line in enumerate(lines[1:], 1):
        if line == b'end':
            break
        try:
            data.append(binascii.a2b_uu(line))
        except binascii.Error:
            count = (line[0] - 32) & 63
            used = (count * 8 + 5) // 6
            assert lines[number + 1] == b' ', 'refused line is not the last data line'
            data.append(binascii.a2b_uu(line[:1 + used] + b' ' * (len(line) - 1 - used)))
            blanked.append(uu_path)
    else:
        sys.exit('no end line in ' + uu_path)
    with open(out_path, 'wb') as f:
        f.write(b''.join(data))
with open(sys.argv[1], 'w') as f:
    f.write('\n'.join(blanked))
)";

void CheckDecoders(const TempDir& dir, const std::vector<std::string>& contents) {
    WriteFileBytes(dir.Path("decode.py"), kPythonDecoder);
    std::string pythonArgs;
    for (std::size_t i = 0; i < contents.size(); ++i) {
        const std::string n = std::to_string(i);
        WriteFileBytes(dir.Path("in" + n), contents[i]);
        WriteSectionAsUuencoded(dir.Path("in" + n), dir.Path("in" + n + ".uu"));
        ASSERT_EQ(RunCommand("uudecode -o " + dir.Path("u" + n) + " " + dir.Path("in" + n + ".uu")),
                  0)
            << "size " << contents[i].size();
        pythonArgs += " " + dir.Path("in" + n + ".uu") + " " + dir.Path("p" + n);
    }
    ASSERT_EQ(
        RunCommand("python3 " + dir.Path("decode.py") + " " + dir.Path("blanked") + pythonArgs), 0);
    const std::string blanked = ReadFileBytes(dir.Path("blanked")) + "\n";
    for (std::size_t i = 0; i < contents.size(); ++i) {
        const std::string n = std::to_string(i);
        // Only a short last block after a full one has unused characters
        // that are not blank.
        const std::size_t size = contents[i].size();
        const bool mayHoldOldBytes = size > 45 && size % 45 % 3 != 0;
        if (blanked.find(dir.Path("in" + n + ".uu") + "\n") != std::string::npos) {
            EXPECT_TRUE(mayHoldOldBytes) << "size " << size;
        }
        EXPECT_TRUE(ReadFileBytes(dir.Path("u" + n)) == contents[i])
            << "uudecode, size " << contents[i].size();
        EXPECT_TRUE(ReadFileBytes(dir.Path("p" + n)) == contents[i])
            << "a2b_uu, size " << contents[i].size();
    }
}

TEST(BundlePeer, BinarySectionsDecodeForEverySizeUpTo200) {
    TempDir dir;
    std::mt19937 random(101);
    std::vector<std::string> contents;
    for (std::size_t size = 0; size <= 200; ++size) {
        contents.push_back(filesmodel::RandomBytes(random, size));
    }
    // Bytes that encode to the edge characters: all zeros (spaces) and all
    // ones (underscores).
    contents.push_back(std::string(100, '\0'));
    contents.push_back(std::string(101, '\xff'));
    CheckDecoders(dir, contents);
}

TEST(BundlePeer, LargeBinarySectionsDecode) {
    TempDir dir;
    std::mt19937 random(103);
    std::vector<std::string> contents;
    for (std::size_t size : {std::size_t{65536}, std::size_t{1048591}, std::size_t{3000017}}) {
        contents.push_back(filesmodel::RandomBytes(random, size));
    }
    CheckDecoders(dir, contents);
    ASSERT_EQ(InitBuf(3), RC_OK);
}

TEST(BundlePeer, TextSectionsMatchSed) {
    TempDir dir;
    std::mt19937 random(107);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        // LF files, CR LF files (sed drops the CR at the line end) and files
        // whose last line has no line end (sed leaves it so; the bundle gives
        // it one). Files end in a line feed when they hold carriage returns,
        // so that no CR ends the file.
        const bool crlf = round % 2 == 1;
        std::string bytes = filesmodel::RandomBytes(
            random, 20000 + static_cast<std::size_t>(round) * 50000,
            crlf ? std::string("ab \t\r\n\n") : std::string("xyz\x80\xff\n"));
        if (crlf || round == 4) {
            bytes += "\n";
        }
        WriteFileBytes(dir.Path("t"), bytes);
        const std::string script = crlf ? "'s/\\r$//; s/^/ /'" : "'s/^/ /'";
        ASSERT_EQ(RunCommand("sed " + script + " " + dir.Path("t") + " > " + dir.Path("sed")), 0);
        std::string expected = ReadFileBytes(dir.Path("sed"));
        if (!expected.empty() && expected.back() != '\n') {
            expected += "\n";
        }
        ASSERT_EQ(InitBuf(3), RC_OK);
        ASSERT_EQ(Load(3, 'T', dir.Path("t")), RC_OK);
        // The bundle written back with WriteBuf: line feeds as CR LF.
        ASSERT_EQ(WriteBuf(3, dir.Path("bundle").c_str()), RC_OK);
        std::string bundle = ReadFileBytes(dir.Path("bundle"));
        std::string lines;
        for (std::size_t i = 0; i < bundle.size(); ++i) {
            if (bundle[i] == '\r' && i + 1 < bundle.size() && bundle[i + 1] == '\n') {
                continue;
            }
            lines += bundle[i];
        }
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.substr(lines.size() - 2), "E\n");
        EXPECT_TRUE(lines.substr(0, lines.size() - 2) == expected);
    }
}

}  // namespace
