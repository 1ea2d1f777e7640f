// Lines in and out of the three buffers of vek's engine, through the public
// functions only: line files loaded, buffers read back and written out,
// lines held in memory appended and compared.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "io/files.h"
#include "lines/line_reader.h"
#include "vekwin32.h"

namespace vekcli {

// vek's engine: a context of its own, opened on first use and closed at
// exit, so that vek uses none of the process's buffers. Every call vek makes
// to the library goes to it.
VekContext* Engine();

// The engine holds three buffers; every command starts from empty ones.
void ResetBuffers();
long BufferLineCount(int buf);

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
    // A run of lines as AddLines takes it: each text followed by a NUL, an
    // empty text at the end.
    void AddRun(const char* run) const;
    // An empty line.
    void AddEmpty() const;

  private:
    // Ends with the Trouble for a refusal by AddLine or AddLines.
    [[noreturn]] void Refused(int rc) const;

    int m_buf;
    std::string m_what;
    long m_before;  // lines the buffer held before
    std::vector<char> m_run;
};

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

// Writes every line of the buffer followed by LF, or CR LF with `crlf`.
void WriteLines(int buf, Output& out, bool crlf);
// 0 when both buffers hold the same lines, else the first line number
// where they differ (a missing line counts as different).
long FirstDifference(int a, int b);

// The named line file (standard input for "-") loaded into buffer `buf`
// as the LineReader reads it: runs of lines through AddLines, empty lines
// through AddLine; a NUL byte in a line, or more lines than the buffer
// takes, ends the load with a Trouble naming the file and line. Then the
// warnings about reading it.
void LoadFile(int buf, const std::string& name, bool crlf, LoadInfo* infoOut = nullptr);
// Buffer `buf` written to the named file (standard output for "-").
void WriteBuffer(int buf, const std::string& name, bool crlf);

}  // namespace vekcli
