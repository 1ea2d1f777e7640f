// Line files: what reading one notes (by one rule, whether its lines go to a
// buffer or stay in memory), the warnings and refusals that follow from it,
// and line files read whole, for the commands that need every line at hand
// (the whole-file diff, scripts of any length).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vek_files.h"
#include "vekwin32.h"

namespace vekcli {

// The most lines a buffer holds.
inline constexpr long kBufferLines = MAX_LINES + 1L;

struct LoadInfo {
    long lines = 0;             // lines read
    long firstDotLine = 0;      // first line beginning with '.', 0 if none
    bool unterminated = false;  // the last line had no line feed
    // In the CR LF form only: lines ended by a line feed without a CR
    // before it (written back with one), the first of them, and where a
    // 0x1A byte ended the data (the line it stands in, the bytes dropped
    // from it on, itself included).
    long bareLfLines = 0;
    long firstBareLf = 0;
    long eofLine = 0;
    long long eofDropped = 0;
};

// What reading one line of a line file notes, and the length of the text
// kept: with `crlf`, a CR before the line's end is dropped, and a line feed
// without one is counted. `terminated`: the line ends in a line feed.
inline std::size_t NoteLine(const char* text, std::size_t size, bool terminated, bool crlf,
                            LoadInfo& info) {
    ++info.lines;
    if (crlf && size > 0 && text[size - 1] == '\r') {
        --size;
    } else if (crlf && terminated && info.bareLfLines++ == 0) {
        info.firstBareLf = info.lines;
    }
    if (size > 0 && text[0] == '.' && info.firstDotLine == 0)
        info.firstDotLine = info.lines;
    return size;
}

// Warnings about a line file as read: a last line without a line feed, and
// in the CR LF form the lines and bytes that reading changed or dropped.
void WarnAboutReading(const std::string& display, const LoadInfo& info);

// The refusals of a line (`line` of the file named `what`): a NUL byte in
// it, or a line beyond what a buffer holds.
[[noreturn]] void FailNulByte(const std::string& what, long line);
[[noreturn]] void FailTooManyLines(const std::string& what, long line);

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

// Reads a line file as LineLoader would load it: the same lines, the same
// LoadInfo, the same refusals (a NUL byte in a line), and with `crlf` the
// same reading of CR LF and 0x1A. Prints nothing: WarnAboutReading prints
// the warnings LoadFile prints.
// Unless `anyLength` is set, a file of more lines than a buffer holds is
// refused as LineLoader refuses it.
LineFile ReadLineFile(const std::string& name, bool crlf, bool anyLength = false);

void WarnAboutReading(const LineFile& file);

// The lines of a line file read in chunks of kChunkSize, for the commands
// that pass over a file once: the same lines, LoadInfo and refusals as
// ReadLineFile, with only a chunk and one line held at a time.
class LineStream {
  public:
    LineStream(Input& in, bool crlf);
    LineStream(const LineStream&) = delete;
    LineStream& operator=(const LineStream&) = delete;
    // The next line's text, valid until the next call; false at the end.
    bool Next(std::string_view& line);
    // What reading has noted so far (all of it once Next returned false).
    const LoadInfo& Info() const { return m_info; }

    // The lines left in `in` as LineStream would read them, with its
    // refusals, counted without handing them out.
    static long Count(Input& in, bool crlf);

  private:
    // Reads the next chunk; false at the end of the data.
    bool Fill();

    Input& m_in;
    bool m_crlf;
    LoadInfo m_info;
    std::vector<char> m_chunk;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::string m_carry;      // the start of a line begun in an earlier chunk
    bool m_carryOut = false;  // the last line handed out was m_carry
    bool m_ended = false;
};

// Both files read (where threads are at hand, at the same time) and warned
// about, the first file first.
void ReadLineFiles(const std::string& first, const std::string& second, bool crlf,
                   LineFile& firstFile, LineFile& secondFile);

}  // namespace vekcli
