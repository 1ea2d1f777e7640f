#include "vek_buffers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "vek_trouble.h"
#include "vekwin32.h"

namespace vekcli {

namespace {

// The size at which a run of lines is handed to AddLines. With the chunk
// size it bounds what vek holds besides the buffers themselves.
constexpr std::size_t kRunSize = 256 * 1024;

std::int32_t ReadInt32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    const std::uint32_t value =
        static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return static_cast<std::int32_t>(value);
}

}  // namespace

void ResetBuffers() {
    for (int buf = 1; buf <= 3; ++buf) {
        const int rc = InitBuf(buf);
        if (rc != RC_OK)
            Fail("InitBuf(" + std::to_string(buf) + ") failed with " + CodeText(rc));
    }
}

long BufferLineCount(int buf) {
    int count = 0, longest = 0, total = 0;
    const int rc = GetBufStats(buf, &count, &longest, &total);
    if (rc != RC_OK)
        Fail("GetBufStats on buffer " + std::to_string(buf) + " failed with " + CodeText(rc));
    return count;
}

LineAppender::LineAppender(int buf, std::string what)
    : m_buf(buf), m_what(std::move(what)), m_before(BufferLineCount(buf)) {
    m_run.reserve(kRunSize + 4096);
}

void LineAppender::Add(std::string_view text) {
    if (text.empty()) {
        // An empty string would end the run, so an empty line goes alone.
        Flush();
        AddEmpty();
        return;
    }
    m_run.insert(m_run.end(), text.begin(), text.end());
    m_run.push_back('\0');
    if (m_run.size() >= kRunSize)
        Flush();
}

void LineAppender::Flush() {
    if (m_run.empty())
        return;
    m_run.push_back('\0');  // the empty string that ends the run
    AddRun(m_run.data());
    m_run.clear();
}

void LineAppender::AddRun(const char* run) const {
    const int rc = AddLines(m_buf, run);
    if (rc != RC_OK)
        Refused(rc);
}

void LineAppender::AddEmpty() const {
    const int rc = AddLine(m_buf, "");
    if (rc != RC_OK)
        Refused(rc);
}

void LineAppender::Refused(int rc) const {
    const long held = BufferLineCount(m_buf);
    const long stored = held - m_before;
    // RC_BUFFER_FULL is the line limit, or, below it, memory that ran out or
    // a line longer than a buffer takes.
    if (rc == RC_BUFFER_FULL && held >= MAX_LINES)
        FailTooManyLines(m_what, stored + 1);
    if (rc == RC_BUFFER_FULL)
        Fail(m_what + ":" + std::to_string(stored + 1) + ": the buffer takes no more after " +
             Grouped(held) +
             " lines: memory ran out, or the line is longer than a buffer takes (2 GiB); free "
             "some memory or split the file into smaller parts");
    Fail(m_what + ":" + std::to_string(stored + 1) + ": the library refused the line with " +
         CodeText(rc));
}

LineLoader::LineLoader(int buf, Input& in, bool crlf)
    : m_in(in), m_crlf(crlf), m_appender(buf, in.Name()), m_chunk(kChunkSize + 1) {}

LoadInfo LineLoader::Load() {
    for (;;) {
        const std::size_t got = ReadChunk();
        if (got == 0)
            break;
        char* const p = m_chunk.data();
        char* const stop = p + got;
        const bool chunkHasNul = std::memchr(p, '\0', got) != nullptr;
        if (!m_crlf && !chunkHasNul) {
            char* const rest = LoadInPlace(p, stop);
            m_carry.append(rest, static_cast<std::size_t>(stop - rest));
        } else {
            LoadLineByLine(p, stop, chunkHasNul);
        }
    }
    if (!m_carry.empty()) {
        m_info.unterminated = true;
        AddLine(m_carry.data(), m_carry.size(), false, true);
    }
    m_appender.Flush();
    return m_info;
}

std::size_t LineLoader::ReadChunk() {
    if (m_ended)
        return 0;
    char* const chunk = m_chunk.data();
    const std::size_t got = m_in.Read(chunk, kChunkSize);
    if (!m_crlf)
        return got;
    const auto* eof = static_cast<const char*>(std::memchr(chunk, 0x1A, got));
    if (eof == nullptr)
        return got;
    // In the CR LF form the byte 0x1A ends the data: the rest is read only
    // to be counted.
    const auto kept = static_cast<std::size_t>(eof - chunk);
    m_info.eofLine = m_info.lines + 1 + static_cast<long>(std::count(chunk, chunk + kept, '\n'));
    m_info.eofDropped = static_cast<long long>(got - kept);
    while (std::size_t more = m_in.Read(chunk + kept, kChunkSize - kept))
        m_info.eofDropped += static_cast<long long>(more);
    m_ended = true;
    return kept;
}

// A line begun in an earlier chunk: finished with the first line feed of
// [p, stop) and handed on, checked for NUL bytes (the chunks it spans may
// hold one), or carried on whole when [p, stop) holds no line feed. Returns
// where the rest of the chunk starts.
char* LineLoader::FinishCarriedLine(char* p, char* stop) {
    if (m_carry.empty())
        return p;
    auto* nl = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
    if (nl == nullptr) {
        m_carry.append(p, static_cast<std::size_t>(stop - p));
        return stop;
    }
    m_carry.append(p, static_cast<std::size_t>(nl - p));
    AddLine(m_carry.data(), m_carry.size(), true, true);
    m_carry.clear();
    return nl + 1;
}

// The lines of [p, stop) that end in the chunk go to the buffer straight
// from the chunk: each line feed becomes the NUL that ends the line's
// string, so runs of lines are handed to AddLines without a copy; an empty
// line ends a run, and goes alone through AddLine.
char* LineLoader::LoadInPlace(char* p, char* stop) {
    p = FinishCarriedLine(p, stop);
    m_appender.Flush();
    char* run = p;
    long runLines = 0;
    for (;;) {
        auto* nl = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
        if (nl == nullptr)
            break;
        NoteLine(p, static_cast<std::size_t>(nl - p), true, false, m_info);
        *nl = '\0';
        if (nl == p) {
            // This empty string ends the run before it.
            if (runLines > 0)
                m_appender.AddRun(run);
            m_appender.AddEmpty();
            run = nl + 1;
            runLines = 0;
        } else {
            ++runLines;
        }
        p = nl + 1;
    }
    if (runLines > 0) {
        // The byte after the last NUL ends the run for the call; it is the
        // first byte of the unfinished line (or the spare byte) and is put back.
        const char kept = *p;
        *p = '\0';
        m_appender.AddRun(run);
        *p = kept;
    }
    return p;
}

void LineLoader::LoadLineByLine(char* p, char* stop, bool chunkHasNul) {
    p = FinishCarriedLine(p, stop);
    while (p < stop) {
        auto* nl = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
        if (nl == nullptr) {
            m_carry.assign(p, static_cast<std::size_t>(stop - p));
            return;
        }
        // Lines are searched for NUL bytes only in chunks that hold one.
        AddLine(p, static_cast<std::size_t>(nl - p), true, chunkHasNul);
        p = nl + 1;
    }
}

void LineLoader::AddLine(const char* text, std::size_t size, bool terminated, bool checkNul) {
    size = NoteLine(text, size, terminated, m_crlf, m_info);
    if (checkNul && size > 0 && std::memchr(text, '\0', size) != nullptr)
        FailNulByte(m_in.Name(), m_info.lines);
    m_appender.Add(std::string_view(text, size));
}

BufferReader::BufferReader(int buf) : m_buf(buf), m_block(LINES_BLOCK_SIZE) {
    m_count = BufferLineCount(buf);
}

std::string_view BufferReader::Take(int index) const {
    const char* block = m_block.data();
    const std::int32_t offset = ReadInt32(block + 4 * index);
    std::size_t length;
    if (index + 1 < m_delivered)
        length = static_cast<std::size_t>(ReadInt32(block + 4 * (index + 1)) - offset - 1);
    else
        length = std::strlen(block + offset);
    return {block + offset, length};
}

bool BufferReader::Fetch() {
    m_delivered = 0;
    m_index = 0;
    if (m_nextFirst > m_count)
        return false;
    const int want =
        static_cast<int>(std::min<long>(LINES_BLOCK_MAX_LINES, m_count - m_nextFirst + 1));
    int delivered = 0;
    int rc = GetLines(m_buf, static_cast<int>(m_nextFirst), want, m_block.data(), &delivered);
    if (rc != RC_OK)
        Fail("GetLines on buffer " + std::to_string(m_buf) + " from line " +
             std::to_string(m_nextFirst) + " failed with " + CodeText(rc));
    if (delivered > 0) {
        m_delivered = delivered;
        m_nextFirst += delivered;
        return true;
    }
    // The line does not fit into a block: ask for its length, then fetch it.
    const int number = static_cast<int>(m_nextFirst);
    char probe[1];
    int length = 0;
    rc = GetLine(m_buf, number, 0, probe, &length);
    if (rc == RC_NO_ROOM) {
        m_long.assign(static_cast<std::size_t>(length) + 1, '\0');
        rc = GetLine(m_buf, number, length, m_long.data(), &length);
        m_long.resize(static_cast<std::size_t>(length));
    } else {
        m_long.clear();
    }
    if (rc != RC_OK)
        Fail("GetLine on buffer " + std::to_string(m_buf) + " line " + std::to_string(number) +
             " failed with " + CodeText(rc));
    ++m_nextFirst;
    return true;
}

bool BufferReader::Next(std::string_view& line) {
    if (m_index >= m_delivered) {
        if (!Fetch())
            return false;
        if (m_delivered == 0) {
            line = m_long;
            ++m_number;
            return true;
        }
    }
    line = Take(m_index++);
    ++m_number;
    return true;
}

bool BufferReader::NextRun(std::string_view& run, int& count) {
    if (m_index >= m_delivered) {
        if (!Fetch())
            return false;
        if (m_delivered == 0) {
            run = std::string_view(m_long.c_str(), m_long.size() + 1);
            count = 1;
            ++m_number;
            return true;
        }
    }
    const char* start = m_block.data() + ReadInt32(m_block.data() + 4 * m_index);
    const std::string_view last = Take(m_delivered - 1);
    run = std::string_view(start, static_cast<std::size_t>(last.data() + last.size() + 1 - start));
    count = m_delivered - m_index;
    m_number += count;
    m_index = m_delivered;
    return true;
}

void WriteLines(int buf, Output& out, bool crlf) {
    BufferReader reader(buf);
    if (crlf) {
        std::string_view line;
        while (reader.Next(line))
            out.WriteLine(line, crlf);
        return;
    }
    // The texts of a transfer block lie end to end, each followed by a NUL,
    // and a text holds no NUL: they go out in one piece.
    std::string_view run;
    int count = 0;
    while (reader.NextRun(run, count))
        out.WriteNulsAsLf(run.data(), run.size());
}

long FirstDifference(int a, int b) {
    {
        // Equal buffers give equal transfer blocks: compare them whole.
        BufferReader left(a);
        BufferReader right(b);
        if (left.Count() != right.Count())
            return std::min(left.Count(), right.Count()) + 1;
        std::string_view x, y;
        int countX = 0, countY = 0;
        for (;;) {
            const bool hasX = left.NextRun(x, countX);
            const bool hasY = right.NextRun(y, countY);
            if (!hasX && !hasY)
                return 0;
            if (hasX != hasY || countX != countY || x != y)
                break;
        }
    }
    // They differ: find the first differing line.
    BufferReader left(a);
    BufferReader right(b);
    std::string_view x, y;
    for (;;) {
        const bool hasX = left.Next(x);
        const bool hasY = right.Next(y);
        if (!hasX && !hasY)
            return 0;
        if (hasX != hasY || x != y)
            return hasX ? left.LineNumber() : right.LineNumber();
    }
}

void LoadFile(int buf, const std::string& name, bool crlf, LoadInfo* infoOut) {
    Input in(name);
    const LoadInfo info = LineLoader(buf, in, crlf).Load();
    WarnAboutReading(in.Name(), info);
    if (infoOut != nullptr)
        *infoOut = info;
}

void WriteBuffer(int buf, const std::string& name, bool crlf) {
    Output out(name);
    WriteLines(buf, out, crlf);
    out.Commit();
}

}  // namespace vekcli
