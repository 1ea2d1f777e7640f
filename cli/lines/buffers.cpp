#include "lines/buffers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "report/trouble.h"
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

VekContext* Engine() {
    static const std::unique_ptr<VekContext, void (*)(VekContext*)> engine(
        VekOpen(), [](VekContext* ctx) { VekClose(ctx); });
    if (engine == nullptr)
        Fail("the library could not open an engine: out of memory");
    return engine.get();
}

void ResetBuffers() {
    for (int buf = 1; buf <= 3; ++buf) {
        const int rc = VekInitBuf(Engine(), buf);
        if (rc != RC_OK)
            Fail("InitBuf(" + std::to_string(buf) + ") failed with " + CodeText(rc));
    }
}

long BufferLineCount(int buf) {
    int count = 0, longest = 0, total = 0;
    const int rc = VekGetBufStats(Engine(), buf, &count, &longest, &total);
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
    const int rc = VekAddLines(Engine(), m_buf, run);
    if (rc != RC_OK)
        Refused(rc);
}

void LineAppender::AddEmpty() const {
    const int rc = VekAddLine(Engine(), m_buf, "");
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
    int rc = VekGetLines(Engine(), m_buf, static_cast<int>(m_nextFirst), want, m_block.data(),
                         &delivered);
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
    rc = VekGetLine(Engine(), m_buf, number, 0, probe, &length);
    if (rc == RC_NO_ROOM) {
        m_long.assign(static_cast<std::size_t>(length) + 1, '\0');
        rc = VekGetLine(Engine(), m_buf, number, length, m_long.data(), &length);
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
    LineReader reader(in, crlf);
    LineAppender appender(buf, in.Name());
    // Runs of lines go to the buffer straight from the reader's chunk (LF
    // form only); the lines no run holds, one at a time through the
    // appender, in order.
    std::string_view lines;
    for (;;) {
        if (!crlf && reader.NextRun(lines)) {
            appender.Flush();
            appender.AddRun(lines.data());
        } else if (reader.Next(lines)) {
            appender.Add(lines);
        } else {
            break;
        }
    }
    appender.Flush();
    const LoadInfo& info = reader.Info();
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
