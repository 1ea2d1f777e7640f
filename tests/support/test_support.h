// Helpers for tests that drive the library through its exports.
#pragma once

#include <string>
#include <vector>

#include "vekwin32.h"

namespace vektest {

// Empties `buf` and fills it with `lines` through AddLine (each gets a line feed).
void FillBuffer(int buf, const std::vector<std::string>& lines);
// Appends `count` copies of `text` (not empty) through AddLines, in packed
// runs of up to 4096 strings: the quick way to bring a buffer to its limit.
void AppendCopies(int buf, const std::string& text, int count);
// Every line of `buf` as GetLine hands it out (without its last byte).
std::vector<std::string> BufferLines(int buf);

struct Stats {
    int count = -1;
    int longest = -1;
    int total = -1;
};
Stats BufferStats(int buf);

// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Full path of `name` inside the directory.
    std::string Path(const std::string& name) const;

  private:
    std::string m_path;
};

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
// How many entries the directory holds.
std::size_t DirectoryEntries(const TempDir& dir);

}  // namespace vektest
