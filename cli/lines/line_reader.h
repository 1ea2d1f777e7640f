// Line files, read by one line reader for every command: lines split, a
// line begun in one chunk carried into the next, CR LF and the 0x1A end
// byte of the CR LF form, what reading notes, and the warnings and
// refusals that follow from it; files read whole for the commands that
// need every line at hand (the whole-file diff, scripts of any length);
// and the passes that only count or sum a line file's bytes (the checksum,
// the scan of a set's text file) without splitting it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/files.h"
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

// Warnings about a line file as read: a last line without a line feed, and
// in the CR LF form the lines and bytes that reading changed or dropped.
void WarnAboutReading(const std::string& display, const LoadInfo& info);

// The refusals of a line (`line` of the file named `what`): a NUL byte in
// it, or a line beyond what a buffer holds.
[[noreturn]] void FailNulByte(const std::string& what, long line);
[[noreturn]] void FailTooManyLines(const std::string& what, long line);

// The lines of a line file, in order. Read from an Input in chunks of
// kChunkSize, only a chunk and one line are held at a time; read from a
// file held whole in memory, each line is a view of its bytes. Either way
// the same lines, LoadInfo and refusals (a NUL byte in a line): with
// `crlf`, a CR before the line feed is dropped and the byte 0x1A ends the
// data. Nothing is printed: WarnAboutReading prints the warnings.
class LineReader {
  public:
    // `chunkSize`: the bytes read at a time (at most kChunkSize).
    LineReader(Input& in, bool crlf, std::size_t chunkSize = kChunkSize);
    // `size` bytes at `data`, which outlive the reader and the views it
    // hands out; `name` names the file in refusals.
    LineReader(const char* data, std::size_t size, bool crlf, std::string name);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    // The next line's text, valid until the next call (read from memory:
    // as long as the data); false at the end.
    bool Next(std::string_view& line);
    // For loading a buffer without copying: the next lines, read from an
    // Input in the LF form, as one run that AddLines takes, written over
    // the reader's own chunk (each text followed by a NUL, and an empty
    // text after the last one), valid until the next call. false where
    // the next line is not one of such a run (an empty line, a line that
    // spans chunks, the end of a chunk, the CR LF form, data in memory):
    // Next then hands it out.
    bool NextRun(std::string_view& run);
    // Every line left, as Next would hand them out, appended to `lines`;
    // from data in memory in the LF form, split in one pass.
    void ReadAll(std::vector<std::string_view>& lines);
    // What reading has noted so far (all of it once Next returned false).
    const LoadInfo& Info() const { return m_info; }
    // The bytes of the data before the 0x1A that ended it (all of them
    // when none did): for the data held in memory.
    std::size_t DataSize() const { return m_dataSize; }

    // The lines left in `in` as a LineReader would read them, with its
    // refusals, counted without handing them out.
    static long Count(Input& in, bool crlf);

  private:
    // Takes the next chunk; false at the end of the data.
    bool Fill();

    Input* m_in;  // null for data in memory
    std::string m_name;
    bool m_crlf;
    LoadInfo m_info;
    std::optional<Chunk> m_chunk;  // for an Input only
    const char* m_data;            // the chunk: m_chunk's, or the data in memory
    std::size_t m_dataSize;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::string m_carry;      // the start of a line begun in an earlier chunk
    bool m_carryOut = false;  // the last line handed out was m_carry
    bool m_ended = false;
    // The byte NextRun turned into the NUL that ends its run, put back on
    // the next call.
    char* m_runEnd = nullptr;
    char m_runEndByte = 0;
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

// Reads a line file whole with a LineReader. Prints nothing:
// WarnAboutReading prints the warnings LoadFile prints. Unless `anyLength`
// is set, a file of more lines than a buffer holds is refused as loading
// it into a buffer would be.
LineFile ReadLineFile(const std::string& name, bool crlf, bool anyLength = false);
// The same for bytes already read from the file `name`.
LineFile LinesOf(const std::string& name, FileBytes bytes, bool crlf, bool anyLength = false);

void WarnAboutReading(const LineFile& file);

// Both files read (when threads are at hand and both files are large, at
// the same time) and warned about, the first file first; `anyLength` as
// for ReadLineFile.
void ReadLineFiles(const std::string& first, const std::string& second, bool crlf, bool anyLength,
                   LineFile& firstFile, LineFile& secondFile);

// The 16-bit checksum Crc gives for a buffer holding the lines of the named
// file (standard input for "-") as LoadFile loads them, with the same
// warnings and the same refusals (a NUL byte in a line, more lines than a
// buffer holds), without loading them: the file's bytes are summed as they
// stream past. Only for the LF form: in the CR LF form reading changes the
// lines, so those files are loaded.
unsigned StreamLineFileChecksum(const std::string& name);

// What a text file of a set holds, for the checks before a text bundle is
// made: its bytes are counted, not split into lines.
struct TextScan {
    long nulLine = 0;           // first line holding a NUL byte, 0 if none
    long eofLine = 0;           // first line holding a byte 0x1A, 0 if none
    long lines = 0;             // lines, an unterminated last one included
    bool unterminated = false;  // the file does not end in a line feed
    long crlfLines = 0;         // lines that end in CR LF
};
TextScan ScanTextFile(const std::string& name);
// The same for bytes in memory.
TextScan ScanText(const char* data, std::size_t size);

}  // namespace vekcli
