// CBufferedFile and the POSIX file layer under it: when bytes reach the file,
// when they are committed, and how exclusive access is held.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/failure.h"
#include "files/buffered_file.h"
#include "files_model.h"
#include "platform/file.h"

namespace {

using vek::CBufferedFile;
using vek::FileFailure;
using vek::platform::File;
using vek::platform::OpenMode;
using vek::platform::TextReader;
using vek::platform::TextWriter;

class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vekunit-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long long SizeOnDisk(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

void Put(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Counts the flushes (each a write of what is held plus a commit) and the
// commits to storage that reach the file layer.
class CountingFile : public CBufferedFile {
  public:
    void Flush() override {
        ++flushes;
        CBufferedFile::Flush();
    }
    int flushes = 0;
    int commits = 0;

  protected:
    void Commit() override {
        ++commits;
        CBufferedFile::Commit();
    }
};

TEST(BufferedFile, FullBuffersReachTheFileOnlyWithTheNextWrite) {
    ScratchDir dir;
    const std::string path = dir.Path("f");
    const std::string data(262145, 'd');
    {
        CountingFile file;
        file.SetBufferSize(262144);
        file.Open(path.c_str(), OpenMode::kWriteExclusive);
        // Exactly one buffer: held, nothing written.
        file.Write(data.data(), 262144);
        EXPECT_EQ(file.BufferUsed(), 262144u);
        EXPECT_EQ(SizeOnDisk(path), 0);
        EXPECT_EQ(file.flushes, 0);
        EXPECT_EQ(file.commits, 0);
        // One more byte writes the full buffer, commits, holds the byte.
        file.Write("x", 1);
        EXPECT_EQ(SizeOnDisk(path), 262144);
        EXPECT_EQ(file.flushes, 1);
        EXPECT_EQ(file.commits, 1);
        EXPECT_EQ(file.BufferUsed(), 1u);
        file.Close();
        EXPECT_EQ(file.flushes, 2);
        EXPECT_EQ(file.commits, 2);
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(SizeOnDisk(path), 262145);

    CountingFile file;
    file.SetBufferSize(262144);
    file.Open(path.c_str(), OpenMode::kWriteExclusive);
    EXPECT_EQ(SizeOnDisk(path), 0);  // truncated
    file.Write(data.data(), data.size());
    EXPECT_EQ(file.flushes, 1);
    EXPECT_EQ(file.BufferUsed(), 1u);
    EXPECT_EQ(SizeOnDisk(path), 262144);
}

TEST(BufferedFile, LargeWritesGoOutInWholeBuffers) {
    ScratchDir dir;
    const std::string path = dir.Path("f");
    std::mt19937 random(1);
    const std::string data = filesmodel::RandomBytes(random, 16 * 7 + 5);
    CountingFile file;
    file.SetBufferSize(16);
    file.Open(path.c_str(), OpenMode::kWriteExclusive);
    file.Write(data.data(), 3);
    file.Write(data.data() + 3, 16 * 5);  // fills, flushes 5 times, holds 3
    EXPECT_EQ(file.flushes, 5);
    EXPECT_EQ(file.commits, 5);
    EXPECT_EQ(file.BufferUsed(), 3u);
    EXPECT_EQ(SizeOnDisk(path), 80);
    file.Write(data.data() + 83, 0);
    EXPECT_EQ(file.flushes, 5);
    file.Write(data.data() + 83, data.size() - 83);
    file.Close();
    EXPECT_EQ(Contents(path), data);
}

TEST(BufferedFile, CloseAndDestroy) {
    ScratchDir dir;
    {
        // Closed right after opening: empty, and still committed.
        CountingFile file;
        file.Open(dir.Path("empty").c_str(), OpenMode::kWriteExclusive);
        file.Close();
        EXPECT_EQ(file.flushes, 1);
        EXPECT_EQ(file.commits, 1);
        file.Close();
        EXPECT_EQ(file.flushes, 1);
        EXPECT_EQ(file.commits, 1);
    }
    EXPECT_EQ(SizeOnDisk(dir.Path("empty")), 0);
    {
        CountingFile never;
        never.Close();
        EXPECT_EQ(never.flushes, 0);
    }
    {
        // Destroyed while open: what is held reaches the file.
        CBufferedFile file;
        file.Open(dir.Path("held").c_str(), OpenMode::kWriteExclusive);
        file.Write("held bytes", 10);
        EXPECT_EQ(SizeOnDisk(dir.Path("held")), 0);
    }
    EXPECT_EQ(Contents(dir.Path("held")), "held bytes");
}

TEST(BufferedFile, FailedWriteKeepsTheBytesHeld) {
    CBufferedFile file;
    file.SetBufferSize(64);
    file.Open("/dev/full", OpenMode::kWriteExclusive);
    const std::string data(65, 'z');
    EXPECT_THROW(file.Write(data.data(), data.size()), FileFailure);
    EXPECT_EQ(file.BufferUsed(), 64u);
    EXPECT_THROW(file.Close(), FileFailure);
    EXPECT_EQ(file.BufferUsed(), 64u);
    // The destructor drops the failure and releases the handle.
}

TEST(PlatformFile, ExclusiveAndSharedOpens) {
    ScratchDir dir;
    const std::string path = dir.Path("f");
    Put(path, "contents");
    {
        File first;
        first.Open(path.c_str(), OpenMode::kReadExclusive);
        File second;
        EXPECT_THROW(second.Open(path.c_str(), OpenMode::kReadExclusive), FileFailure);
        EXPECT_THROW(second.Open(path.c_str(), OpenMode::kReadShared), FileFailure);
        EXPECT_THROW(second.Open(path.c_str(), OpenMode::kWriteExclusive), FileFailure);
        EXPECT_FALSE(second.IsOpen());
    }
    {
        File first;
        first.Open(path.c_str(), OpenMode::kReadShared);
        File second;
        second.Open(path.c_str(), OpenMode::kReadShared);
        File third;
        EXPECT_THROW(third.Open(path.c_str(), OpenMode::kReadExclusive), FileFailure);
        // A writer that cannot get the file leaves it as it was.
        EXPECT_THROW(third.Open(path.c_str(), OpenMode::kWriteExclusive), FileFailure);
        EXPECT_EQ(Contents(path), "contents");
        char bytes[16] = {};
        EXPECT_EQ(second.Read(bytes, sizeof bytes), 8u);
        EXPECT_EQ(second.Read(bytes, sizeof bytes), 0u);
    }
    File again;
    again.Open(path.c_str(), OpenMode::kWriteExclusive);
    EXPECT_EQ(Contents(path), "");
}

TEST(PlatformFile, NamesThatAreNotPlainFiles) {
    ScratchDir dir;
    for (OpenMode mode :
         {OpenMode::kReadExclusive, OpenMode::kReadShared, OpenMode::kWriteExclusive}) {
        File file;
        EXPECT_THROW(file.Open(dir.Path("").c_str(), mode), FileFailure);
        EXPECT_THROW(file.Open(dir.Path("missing/x").c_str(), mode), FileFailure);
    }
    File missing;
    EXPECT_THROW(missing.Open(dir.Path("missing").c_str(), OpenMode::kReadExclusive), FileFailure);
    // A FIFO without a writer opens at once and reads as empty.
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    File fifo;
    fifo.Open(dir.Path("fifo").c_str(), OpenMode::kReadExclusive);
    char byte = 0;
    EXPECT_EQ(fifo.Read(&byte, 1), 0u);
    // A device without storage: committing it is not a failure.
    File null;
    null.Open("/dev/null", OpenMode::kWriteExclusive);
    null.Write("x", 1);
    EXPECT_NO_THROW(null.Flush());
}

// Reads a file through TextReader, piece by piece.
std::vector<std::string> ReadPieces(const std::string& path) {
    TextReader reader;
    reader.Open(path.c_str());
    std::vector<std::string> pieces;
    std::string piece;
    while (reader.ReadPiece(piece)) {
        pieces.push_back(piece);
    }
    reader.Close();
    return pieces;
}

TEST(TextStream, TranslationAcrossReadBlocks) {
    ScratchDir dir;
    const std::string path = dir.Path("t");
    const std::size_t block = 65536;
    const std::string filler(block - 1, 'f');
    const std::vector<std::string> inputs = {
        filler + "\r\nafter",  // pair split by the block boundary
        filler +
            "\r\x1a"
            "gone",                // CR then end of data in the next block
        filler + "\r",             // CR ends the file at the boundary
        filler + "\r\r\n",         // lone CR, then a pair
        filler + "f\r\n",          // pair inside the next block
        std::string(block, '\r'),  // nothing but lone carriage returns
        std::string(block * 2, '\n'),
    };
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input.size());
        Put(path, input);
        EXPECT_TRUE(ReadPieces(path) == filesmodel::PlainPieces(input));
    }
    std::mt19937 random(9);
    for (int round = 0; round < 4; ++round) {
        const std::string input =
            filesmodel::RandomBytes(random, 300000, std::string("ab\r\n\r\0", 6));
        Put(path, input);
        EXPECT_TRUE(ReadPieces(path) == filesmodel::PlainPieces(input));
    }
}

TEST(TextStream, WriterTranslatesAndFlushesOnDestruction) {
    ScratchDir dir;
    std::mt19937 random(13);
    const std::string text = filesmodel::RandomBytes(random, 200000, "xy\r\n\n");
    std::string expected;
    for (char c : text) {
        expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    {
        TextWriter writer;
        writer.Open(dir.Path("w").c_str());
        for (std::size_t at = 0; at < text.size(); at += 777) {
            writer.Write(text.data() + at, std::min<std::size_t>(777, text.size() - at));
        }
        TextWriter second;
        EXPECT_THROW(second.Open(dir.Path("w").c_str()), FileFailure);
    }
    EXPECT_TRUE(Contents(dir.Path("w")) == expected);
}

}  // namespace
