#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace vektest {

void FillBuffer(int buf, const std::vector<std::string>& lines) {
    ASSERT_EQ(InitBuf(buf), RC_OK);
    for (const std::string& line : lines) {
        ASSERT_EQ(AddLine(buf, line.c_str()), RC_OK);
    }
}

void AppendCopies(int buf, const std::string& text, int count) {
    ASSERT_FALSE(text.empty());
    std::string run;
    for (int done = 0; done < count;) {
        const int strings = std::min(count - done, 4096);
        run.clear();
        for (int i = 0; i < strings; ++i) {
            run += text;
            run.push_back('\0');
        }
        run.push_back('\0');
        ASSERT_EQ(AddLines(buf, run.data()), RC_OK) << "after " << done << " lines";
        done += strings;
    }
}

std::vector<std::string> BufferLines(int buf) {
    std::vector<std::string> lines;
    const Stats stats = BufferStats(buf);
    std::string room(static_cast<std::size_t>(stats.longest) + 1, '\0');
    for (int line = 1; line <= stats.count; ++line) {
        int length = -1;
        const int rc = GetLine(buf, line, stats.longest, room.data(), &length);
        EXPECT_EQ(rc, RC_OK) << "line " << line;
        if (rc != RC_OK) {
            break;
        }
        lines.emplace_back(room.data(), static_cast<std::size_t>(length));
    }
    return lines;
}

Stats BufferStats(int buf) {
    Stats stats;
    EXPECT_EQ(GetBufStats(buf, &stats.count, &stats.longest, &stats.total), RC_OK);
    return stats;
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path path =
        fs::temp_directory_path() / ("vektest-" + std::to_string(random()) + "-" +
                                     std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(path);
    m_path = path.string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string TempDir::Path(const std::string& name) const {
    return (fs::path(m_path) / name).string();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t DirectoryEntries(const TempDir& dir) {
    const fs::path path(dir.Path(""));
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(path), fs::directory_iterator()));
}

bool FileExists(const std::string& path) {
    return fs::exists(path);
}

}  // namespace vektest
