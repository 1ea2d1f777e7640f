// A 1 GiB text file through LoadFiles and CrcFile. The file has MAX_LINES
// lines of 2,047 bytes and a line feed, so its section (MAX_LINES content
// lines and the terminator) fills an empty buffer to exactly MAX_LINES + 1
// lines, and a buffer that held one line before has no room for the
// terminator. The total length, 1,074,266,114 bytes, still fits the 32-bit
// figure.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "limits/limits_support.h"
#include "support/test_support.h"

namespace {

using limitstest::ExpectLines;
using limitstest::Fingerprint;
using limitstest::Load;
using limitstest::Take;
using vektest::BufferStats;

constexpr int kLines = MAX_LINES;
constexpr std::size_t kLineBytes = 2048;  // line feed included
constexpr std::uintmax_t kFileBytes = static_cast<std::uintmax_t>(kLines) * kLineBytes;

// Line i (from 1) of the file without its line feed: its number, then a
// letter that changes from line to line.
std::string HugeLine(int i) {
    char number[16];
    std::snprintf(number, sizeof number, "%09d:", i);
    std::string line(kLineBytes - 1, static_cast<char>('a' + i % 26));
    line.replace(0, 10, number);
    line.back() = '|';
    return line;
}

// Writes the file and returns the checksum of its bundle section.
int WriteHugeFile(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string chunk;
    chunk.reserve(1 << 20);
    int sum = 0;
    for (int i = 1; i <= kLines; ++i) {
        const std::string line = HugeLine(i) + "\n";
        sum = limitstest::AddSigned(sum, " " + line);
        chunk += line;
        if (chunk.size() >= (1u << 20) || i == kLines) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            chunk.clear();
        }
    }
    out.close();
    EXPECT_TRUE(out.good()) << path;
    return limitstest::AddSigned(sum, "E\n");
}

TEST(HugeFile, OneGibibyteTextFileFillsABufferToTheLimit) {
    vektest::TempDir dir;
    const std::string path = dir.Path("huge.txt");
    const int expectedSum = WriteHugeFile(path);
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(std::filesystem::file_size(path), kFileBytes);
    vektest::FillBuffer(2, {"second"});
    vektest::FillBuffer(3, {"third"});
    const Fingerprint second = Take(2);
    const Fingerprint third = Take(3);
    auto section = [](int line) { return line <= kLines ? " " + HugeLine(line) : "E"; };

    ASSERT_EQ(InitBuf(1), RC_OK);
    std::string status;
    EXPECT_EQ(Load(1, 'T', path, &status), RC_OK);
    EXPECT_EQ(status, "L");
    vektest::Stats stats = BufferStats(1);
    EXPECT_EQ(stats.count, kLines + 1);
    EXPECT_EQ(stats.longest, 2049);
    EXPECT_EQ(stats.total, kLines * 2049 + 2);
    ExpectLines(1, kLines + 1, section);
    int sum = -1;
    EXPECT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(sum, expectedSum);

    // The same bundle in the scratch buffer of CrcFile.
    sum = -1;
    EXPECT_EQ(limitstest::CrcOfFiles('T', path, &sum), RC_OK);
    EXPECT_EQ(sum, expectedSum);

    // After one line already held, the last content line is line
    // MAX_LINES + 1 and the terminator is refused.
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(AddLine(1, "held"), RC_OK);
    EXPECT_EQ(Load(1, 'T', path, &status), RC_BUFFER_FULL);
    EXPECT_EQ(status, "unwritten");
    stats = BufferStats(1);
    EXPECT_EQ(stats.count, kLines + 1);
    EXPECT_EQ(stats.longest, 2049);
    EXPECT_EQ(stats.total, 5 + kLines * 2049);
    ExpectLines(1, kLines + 1, [&](int line) { return line == 1 ? "held" : section(line - 1); });

    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(Take(2), second);
    EXPECT_EQ(Take(3), third);
    std::filesystem::remove(path);
    EXPECT_FALSE(vektest::FileExists(path));
}

}  // namespace
