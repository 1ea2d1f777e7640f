// Moving line files in and out of the library's buffers, and the small file
// helpers the commands share. Everything here goes through the public
// exports only.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vekcli {

// Thrown for anything a command cannot do; main prints "vek: <message>"
// and exits with `status`.
struct Trouble {
    int status;
    std::string message;
};
[[noreturn]] void Fail(const std::string& message, int status = 2);

inline bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// "code 104 (a file could not be opened or read)".
std::string CodeText(int rc);
// "standard input" for "-", else the name itself.
std::string DisplayName(const std::string& name);
// Decimal with thousands separators: 524,289.
std::string Grouped(long long value);

// A file to read in binary, or standard input for "-".
class Input {
  public:
    explicit Input(const std::string& name);
    // Reads an open file (not closed here) under a display name.
    Input(std::FILE* file, const std::string& display);
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    const std::string& Name() const { return m_display; }
    bool IsStdin() const { return m_stdin; }
    std::FILE* File() const { return m_file; }
    std::size_t Read(char* dest, std::size_t size);

  private:
    std::FILE* m_file = nullptr;
    bool m_stdin = false;
    bool m_owned = false;
    std::string m_display;
};

// A file to write, or standard output for "-". A plain file is written
// under a temporary name beside it and moved in place by Commit, so a
// failed run never leaves half a file under the real name; a device, pipe
// or symbolic link is written to directly.
class Output {
  public:
    explicit Output(const std::string& name);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    void Write(const char* bytes, std::size_t size) {
        if (size > kBufferSize - m_used) {
            Flush(bytes, size);
            return;
        }
        std::memcpy(m_buffer.get() + m_used, bytes, size);
        m_used += size;
    }
    // Writes `size` bytes with every NUL byte among them turned into a LF.
    void WriteNulsAsLf(const char* bytes, std::size_t size);
    void Commit();

  private:
    static constexpr std::size_t kBufferSize = 1024 * 1024;
    // Writes what is held, then `bytes` (held instead when they are few).
    void Flush(const char* bytes, std::size_t size);
    void WriteOut(const char* bytes, std::size_t size);

    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    std::FILE* m_file = nullptr;
    bool m_stdout = false;
    bool m_done = false;
    std::string m_name;
    std::string m_temp;
};

struct LoadInfo {
    long lines = 0;             // lines appended
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

// Hands lines to buffer `buf`: runs of lines through AddLines, an empty
// line alone through AddLine (an empty string would end a run). A refusal
// ends with a Trouble naming `what` and the line.
class LineAppender {
  public:
    LineAppender(int buf, std::string what);
    // One line's text, without NUL bytes; a full run is handed over.
    void Add(std::string_view text);
    // Hands over the lines collected so far.
    void Flush();
    // Ends with the Trouble for a refusal by AddLine or AddLines.
    [[noreturn]] void Refused(int rc) const;
    int Buffer() const { return m_buf; }

  private:
    int m_buf;
    std::string m_what;
    long m_before;  // lines the buffer held before
    std::vector<char> m_run;
};

// Appends every line of `in` to buffer `buf`: runs of lines through
// AddLines, empty lines through AddLine. With `crlf`, a CR before the line
// feed is dropped and the byte 0x1A ends the data. `copy`, when given,
// receives every byte read. A NUL byte in a line, or more lines than the
// buffer takes, ends the load with a Trouble naming the file and line.
LoadInfo LoadLines(int buf, Input& in, bool crlf, std::FILE* copy = nullptr);

// Lines of a buffer in order, fetched in GetLines blocks; a line too long
// for a block is fetched alone with GetLine.
class BufferReader {
  public:
    explicit BufferReader(int buf);
    bool Next(std::string_view& line);
    // The lines not yet handed out of the current transfer (or the next
    // one) as one run: each text followed by a NUL. `count` lines.
    bool NextRun(std::string_view& run, int& count);
    long LineNumber() const { return m_number; }
    long Count() const { return m_count; }

  private:
    std::string_view Take(int index) const;
    // Fetches the next lines: a block, or one line too long for a block
    // into m_long (then m_delivered is 0). false after the last line.
    bool Fetch();

    int m_buf;
    long m_count = 0;
    long m_number = 0;     // line number handed out last
    long m_nextFirst = 1;  // first line of the next fetch
    int m_delivered = 0;
    int m_index = 0;
    std::vector<char> m_block;
    std::string m_long;
};

long BufferLineCount(int buf);
// Writes every line of the buffer followed by LF, or CR LF with `crlf`.
void WriteLines(int buf, Output& out, bool crlf);
// 0 when both buffers hold the same lines, else the first line number
// where they differ (a missing line counts as different).
long FirstDifference(int a, int b);

bool IsRegularFile(const std::string& name);
// True when both names exist and are the same file (device and inode, or
// volume and file index on Windows), whatever the path.
bool SameFile(const std::string& a, const std::string& b);

struct TextScan {
    long nulLine = 0;           // first line holding a NUL byte, 0 if none
    long lines = 0;             // lines, an unterminated last one included
    bool unterminated = false;  // the file does not end in a line feed
};
TextScan ScanTextFile(const std::string& name);
// Rewrites a file with every CR LF pair turned into LF.
void ConvertCrLfToLf(const std::string& name);
// Creates the file empty, or truncates it.
void CreateEmptyFile(const std::string& name);
// Puts a file's temporary copy in place of the file.
void MoveIntoPlace(const std::string& temp, const std::string& name);
// Gives the open `file` (a temporary copy of `target`) the mode of
// `target`, and its owner where the process may set it; nothing when
// `target` does not exist.
void KeepModeOf(const std::string& target, std::FILE* file);
// The same for a closed file `copy`.
void KeepModeOf(const std::string& target, const std::string& copy);
// Writes a closed file's data to the disk (fsync or _commit).
void SyncToDisk(const std::string& name);
// Size of a file in bytes, -1 when it cannot be found.
long long FileSize(const std::string& name);
// The reason an append to the file fails now ("No space left on device"),
// empty when it succeeds; the file keeps its length either way.
std::string WriteProbe(const std::string& name);
// The system's words for the last failure (errno).
std::string SystemError();

// What every command shares: empty buffers to start from, line files in and
// out of a buffer with the warnings about what reading changed, and the
// refusal of an output that is one of the inputs.
void ResetBuffers();
// Warnings about a line file as read: a last line without a line feed, and
// in the CR LF form the lines and bytes that reading changed or dropped.
void WarnUnterminated(const std::string& display, const LoadInfo& info);
void WarnCrlfChanges(const std::string& display, const LoadInfo& info);
// LoadLines of the named file (standard input for "-"), with the warnings.
void LoadFile(int buf, const std::string& name, bool crlf, LoadInfo* infoOut = nullptr,
              std::FILE* copy = nullptr);
void WriteBuffer(int buf, const std::string& name, bool crlf);
void RefuseOutputOverInput(const std::string& command, const std::string& output,
                           const std::vector<std::string>& inputs);

}  // namespace vekcli
