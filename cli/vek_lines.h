// Line files held in memory, for the commands that need every line at hand
// (the whole-file diff, scripts of any length), and the moves between them
// and the library's buffers.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vek_io.h"
#include "vekwin32.h"

namespace vekcli {

// The bytes of a whole file: mapped into memory where the system allows it
// (a plain file on POSIX systems), else read into memory of its own.
class FileBytes {
  public:
    FileBytes() = default;
    FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }
    FileBytes& operator=(FileBytes&& other) noexcept;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes() { Release(); }

    // Everything `in` (named `name`) holds.
    static FileBytes Read(Input& in, const std::string& name);

    const char* Data() const noexcept { return m_data; }
    std::size_t Size() const noexcept { return m_size; }
    // Leaves out everything from byte `size` on.
    void Truncate(std::size_t size) noexcept { m_size = std::min(size, m_size); }
    void Release() noexcept;

  private:
    const char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_mapped = 0;  // bytes mapped; 0 when the bytes are m_owned
    std::unique_ptr<char[]> m_owned;
};

// A line file read whole: its bytes and a view of each line's text, without
// the line feed (and without the CR before it in the CR LF form).
struct LineFile {
    std::string name;  // as given ("-": standard input)
    FileBytes bytes;
    std::vector<std::string_view> lines;
    LoadInfo info;

    // Gives back the memory (the views go with it).
    void Release() {
        bytes.Release();
        std::vector<std::string_view>().swap(lines);
    }
};

// Reads a line file as LoadLines would load it: the same lines, the same
// LoadInfo, the same refusals (a NUL byte in a line), and with `crlf` the
// same reading of CR LF and 0x1A. Prints nothing: WarnAboutReading prints
// the warnings LoadFile prints.
// Unless `anyLength` is set, a file of more lines than a buffer holds is
// refused as LoadLines refuses it.
LineFile ReadLineFile(const std::string& name, bool crlf, bool anyLength = false);

void WarnAboutReading(const LineFile& file);

// Both files read (where threads are at hand, at the same time) and warned
// about, the first file first.
void ReadLineFiles(const std::string& first, const std::string& second, bool crlf,
                   LineFile& firstFile, LineFile& secondFile);

// Appends lines to buffer `buf` (runs through AddLines, empty lines through
// AddLine). A refusal ends with a Trouble naming `what` and the line.
void AppendLines(int buf, const std::vector<std::string_view>& lines, const std::string& what);

// 0 when buffer `buf` holds exactly `lines`, else the first line number
// where they differ (a missing line counts as different).
long FirstDifferenceFrom(int buf, const std::vector<std::string_view>& lines);

// Writes the lines, each followed by LF (CR LF with `crlf`).
void WriteLineViews(const std::vector<std::string_view>& lines, Output& out, bool crlf);

// The most lines a buffer holds.
inline constexpr long kBufferLines = MAX_LINES + 1L;

}  // namespace vekcli
