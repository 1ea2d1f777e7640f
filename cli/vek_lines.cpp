#include "vek_lines.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#if defined(VEK_CLI_THREADS)
#include <exception>
#include <thread>
#endif

#include "platform.h"
#include "vek_trouble.h"

namespace vekcli {

namespace {

long LineOf(const char* bytes, std::size_t at) {
    return 1 + static_cast<long>(std::count(bytes, bytes + at, '\n'));
}

}  // namespace

void WarnAboutReading(const std::string& display, const LoadInfo& info) {
    const std::string where = display + ":";
    if (info.unterminated)
        Warn(where + std::to_string(info.lines) +
             ": the last line has no line feed; it is taken as if it had one");
    if (info.firstBareLf != 0)
        Warn(where + std::to_string(info.firstBareLf) +
             ": the line ends in a line feed without a CR (" + std::to_string(info.bareLfLines) +
             " such line" + (info.bareLfLines == 1 ? "" : "s") +
             "): in the CR LF form it is read as a line and written back with CR LF; leave "
             "out --crlf if the file has LF line ends");
    if (info.eofLine != 0)
        Warn(where + std::to_string(info.eofLine) +
             ": a 0x1A byte ends the data in the CR LF form: it and the " +
             std::to_string(info.eofDropped - 1) + " byte" + (info.eofDropped == 2 ? "" : "s") +
             " after it are not read; leave out --crlf to read the whole file");
}

void WarnAboutReading(const LineFile& file) {
    WarnAboutReading(DisplayName(file.name), file.info);
}

void FailNulByte(const std::string& what, long line) {
    Fail(what + ":" + std::to_string(line) +
         ": the line holds a NUL byte, which a line buffer cannot carry; for binary files use "
         "'vek bundle -b'");
}

void FailTooManyLines(const std::string& what, long line) {
    Fail(what + ":" + std::to_string(line) + ": more lines than a buffer holds (at most " +
         Grouped(kBufferLines) + "); split the file into smaller parts");
}

LineFile ReadLineFile(const std::string& name, bool crlf, bool anyLength) {
    LineFile file;
    file.name = name;
    LoadInfo& info = file.info;
    Input in(name);
    file.bytes = FileBytes::Read(in);
    const char* const bytes = file.bytes.Data();
    if (crlf) {
        // In the CR LF form the byte 0x1A ends the data.
        const auto* eof = static_cast<const char*>(std::memchr(bytes, '\x1A', file.bytes.Size()));
        if (eof != nullptr) {
            const auto at = static_cast<std::size_t>(eof - bytes);
            info.eofLine = LineOf(bytes, at);
            info.eofDropped = static_cast<long long>(file.bytes.Size() - at);
            file.bytes.Truncate(at);
        }
    }
    const std::size_t size = file.bytes.Size();
    const auto* nul = static_cast<const char*>(std::memchr(bytes, '\0', size));
    if (nul != nullptr)
        FailNulByte(in.Name(), LineOf(bytes, static_cast<std::size_t>(nul - bytes)));

    const char* p = bytes;
    const char* const end = bytes + size;
    // Room for the lines of an average length of 32 bytes; more as needed.
    file.lines.reserve(size / 32 + 16);
    platform::AdviseLargePages(file.lines.data(), file.lines.capacity() * sizeof(std::string_view));
    while (p < end) {
        const auto* nl =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* const stop = nl != nullptr ? nl : end;
        const std::size_t length =
            NoteLine(p, static_cast<std::size_t>(stop - p), nl != nullptr, crlf, info);
        file.lines.emplace_back(p, length);
        p = stop + 1;
    }
    info.unterminated = size > 0 && bytes[size - 1] != '\n';
    if (info.lines > kBufferLines && !anyLength)
        FailTooManyLines(in.Name(), kBufferLines + 1);
    return file;
}

namespace {

// Where the data of a chunk of `got` bytes ends: in the CR LF form at a
// 0x1A byte (`ended` is then set), else at its end.
std::size_t DataEnd(const char* chunk, std::size_t got, bool crlf, bool& ended) {
    if (!crlf)
        return got;
    const auto* eof = static_cast<const char*>(std::memchr(chunk, '\x1A', got));
    if (eof == nullptr)
        return got;
    ended = true;
    return static_cast<std::size_t>(eof - chunk);
}

// Refuses a chunk's data holding a NUL byte; `linesBefore` lines ended
// before the chunk.
void RefuseNul(const Input& in, const char* data, std::size_t size, long linesBefore) {
    const auto* nul = static_cast<const char*>(std::memchr(data, '\0', size));
    if (nul != nullptr)
        FailNulByte(in.Name(), linesBefore + LineOf(data, static_cast<std::size_t>(nul - data)));
}

// Reads what is left of `in` and counts it.
long long Drain(Input& in, std::vector<char>& chunk) {
    long long total = 0;
    while (const std::size_t got = in.Read(chunk.data(), chunk.size()))
        total += static_cast<long long>(got);
    return total;
}

}  // namespace

LineStream::LineStream(Input& in, bool crlf) : m_in(in), m_crlf(crlf), m_chunk(kChunkSize) {}

bool LineStream::Fill() {
    if (m_ended)
        return false;
    const std::size_t got = m_in.Read(m_chunk.data(), m_chunk.size());
    m_pos = 0;
    m_end = DataEnd(m_chunk.data(), got, m_crlf, m_ended);
    // Lines that ended before the chunk: those handed out (a carried line
    // ends in this chunk or later).
    const long before = m_info.lines;
    if (m_ended && m_end < got) {
        m_info.eofLine = before + LineOf(m_chunk.data(), m_end);
        m_info.eofDropped = static_cast<long long>(got - m_end);
        std::vector<char> scratch(kChunkSize);
        m_info.eofDropped += Drain(m_in, scratch);
    }
    RefuseNul(m_in, m_chunk.data(), m_end, before);
    if (got == 0)
        m_ended = true;
    return m_end > 0;
}

bool LineStream::Next(std::string_view& line) {
    if (m_carryOut) {
        m_carry.clear();
        m_carryOut = false;
    }
    for (;;) {
        if (m_pos < m_end) {
            const char* const start = m_chunk.data() + m_pos;
            const std::size_t left = m_end - m_pos;
            const auto* nl = static_cast<const char*>(std::memchr(start, '\n', left));
            if (nl != nullptr) {
                const auto size = static_cast<std::size_t>(nl - start);
                m_pos += size + 1;
                if (m_carry.empty()) {
                    line = std::string_view(start, NoteLine(start, size, true, m_crlf, m_info));
                } else {
                    m_carry.append(start, size);
                    m_carryOut = true;
                    line = std::string_view(m_carry.data(), NoteLine(m_carry.data(), m_carry.size(),
                                                                     true, m_crlf, m_info));
                }
                return true;
            }
            m_carry.append(start, left);
            m_pos = m_end;
        }
        if (!Fill()) {
            if (m_carry.empty())
                return false;
            m_info.unterminated = true;
            m_carryOut = true;
            line = std::string_view(
                m_carry.data(), NoteLine(m_carry.data(), m_carry.size(), false, m_crlf, m_info));
            return true;
        }
    }
}

long LineStream::Count(Input& in, bool crlf) {
    std::vector<char> chunk(kChunkSize);
    long lines = 0;
    char last = '\n';
    bool ended = false;
    while (!ended) {
        const std::size_t got = in.Read(chunk.data(), chunk.size());
        if (got == 0)
            break;
        const std::size_t end = DataEnd(chunk.data(), got, crlf, ended);
        RefuseNul(in, chunk.data(), end, lines);
        lines += static_cast<long>(std::count(chunk.data(), chunk.data() + end, '\n'));
        if (end > 0)
            last = chunk[end - 1];
    }
    return lines + (last != '\n' ? 1 : 0);
}

void ReadLineFiles(const std::string& first, const std::string& second, bool crlf,
                   LineFile& firstFile, LineFile& secondFile) {
#if defined(VEK_CLI_THREADS)
    // The first file is read on a second thread while this one reads the
    // second; what the first raised is raised here, before anything of the
    // second, as if they had been read in turn.
    std::exception_ptr firstFailure;
    std::thread reader([&] {
        try {
            firstFile = ReadLineFile(first, crlf);
        } catch (...) {
            firstFailure = std::current_exception();
        }
    });
    std::exception_ptr secondFailure;
    try {
        secondFile = ReadLineFile(second, crlf);
    } catch (...) {
        secondFailure = std::current_exception();
    }
    reader.join();
    if (firstFailure)
        std::rethrow_exception(firstFailure);
    WarnAboutReading(firstFile);
    if (secondFailure)
        std::rethrow_exception(secondFailure);
    WarnAboutReading(secondFile);
#else
    firstFile = ReadLineFile(first, crlf);
    WarnAboutReading(firstFile);
    secondFile = ReadLineFile(second, crlf);
    WarnAboutReading(secondFile);
#endif
}

}  // namespace vekcli
