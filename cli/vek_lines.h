// Line files held in memory, for the commands that need every line at hand
// (the whole-file diff, scripts of any length), and the moves between them
// and the library's buffers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vek_io.h"
#include "vekwin32.h"

namespace vekcli {

// A line file read whole: its bytes and a view of each line's text, without
// the line feed (and without the CR before it in the CR LF form).
struct LineFile {
    std::string name;  // as given ("-": standard input)
    std::string bytes;
    std::vector<std::string_view> lines;
    LoadInfo info;

    // Gives back the memory (the views go with it).
    void Release() {
        std::string().swap(bytes);
        std::vector<std::string_view>().swap(lines);
    }
};

// Reads a line file as LoadLines would load it: the same lines, the same
// LoadInfo, the same refusals (a NUL byte in a line), and with `crlf` the
// same reading of CR LF and 0x1A. Prints the warnings LoadFile prints.
// Unless `anyLength` is set, a file of more lines than a buffer holds is
// refused as LoadLines refuses it.
LineFile ReadLineFile(const std::string& name, bool crlf, bool anyLength = false);

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
