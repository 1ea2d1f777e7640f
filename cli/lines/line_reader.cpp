#include "lines/line_reader.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(VEK_CLI_THREADS)
#include <exception>
#include <thread>
#endif

#include "report/trouble.h"
#include "system/platform.h"

namespace vekcli {

namespace {

long LineOf(const char* bytes, std::size_t at) {
    return 1 + static_cast<long>(std::count(bytes, bytes + at, '\n'));
}

// What reading one line of a line file notes, and the length of the text
// kept: with `crlf`, a CR before the line's end is dropped, and a line feed
// without one is counted. `terminated`: the line ends in a line feed.
std::size_t NoteLine(const char* text, std::size_t size, bool terminated, bool crlf,
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
void RefuseNul(const std::string& name, const char* data, std::size_t size, long linesBefore) {
    const auto* nul = static_cast<const char*>(std::memchr(data, '\0', size));
    if (nul != nullptr)
        FailNulByte(name, linesBefore + LineOf(data, static_cast<std::size_t>(nul - data)));
}

// Reads what is left of `in` and counts it.
long long Drain(Input& in, Chunk& chunk) {
    long long total = 0;
    while (const std::size_t got = in.Read(chunk.data(), chunk.size()))
        total += static_cast<long long>(got);
    return total;
}

struct ChunkFigures {
    std::uint32_t sum = 0;  // of the bytes as signed values, modulo 2^32
    long lineFeeds = 0;
};

// The line feeds in `size` bytes; with SSE2, sixteen bytes at a step,
// counted in bytes for up to 255 steps and then added up.
std::size_t CountLineFeeds(const char* bytes, std::size_t size) {
    std::size_t count = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i lineFeeds = _mm_set1_epi8('\n');
    while (size - i >= 16) {
        const std::size_t steps = std::min<std::size_t>((size - i) / 16, 255);
        __m128i counts = _mm_setzero_si128();
        for (std::size_t step = 0; step < steps; ++step, i += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(block, lineFeeds));
        }
        // Two sums of eight counts, each below 2^16.
        const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_extract_epi16(sums, 0)) +
                 static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; i < size; ++i)
        count += bytes[i] == '\n' ? 1 : 0;
    return count;
}

ChunkFigures Figures(const char* bytes, std::size_t size) {
    const auto* in = reinterpret_cast<const signed char*>(bytes);
    std::int32_t sum = 0;  // a chunk of kChunkSize bytes cannot overflow it
    std::int32_t lineFeeds = 0;
    for (std::size_t i = 0; i < size; ++i) {
        sum += in[i];
        lineFeeds += in[i] == '\n';
    }
    return {static_cast<std::uint32_t>(sum), static_cast<long>(lineFeeds)};
}

void FailLongLine(const std::string& what, long line, unsigned long long length) {
    if (length >= static_cast<unsigned long long>(INT_MAX))
        Fail(what + ":" + std::to_string(line) +
             ": the line is longer than a buffer takes (2 GiB); split the file into smaller "
             "parts");
}

}  // namespace

LineReader::LineReader(Input& in, bool crlf, std::size_t chunkSize)
    : m_in(&in),
      m_name(in.Name()),
      m_crlf(crlf),
      m_chunk(std::in_place, std::min(chunkSize, kChunkSize)),
      m_data(m_chunk->data()),
      m_dataSize(0) {}

LineReader::LineReader(const char* data, std::size_t size, bool crlf, std::string name)
    : m_in(nullptr), m_name(std::move(name)), m_crlf(crlf), m_data(data), m_dataSize(size) {}

bool LineReader::Fill() {
    if (m_ended)
        return false;
    // From memory the data is one chunk, read at once.
    const std::size_t got =
        m_in != nullptr ? m_in->Read(m_chunk->data(), m_chunk->size()) : m_dataSize;
    m_pos = 0;
    m_end = DataEnd(m_data, got, m_crlf, m_ended);
    // Lines that ended before the chunk: those handed out (a carried line
    // ends in this chunk or later).
    const long before = m_info.lines;
    if (m_ended && m_end < got) {
        m_info.eofLine = before + LineOf(m_data, m_end);
        m_info.eofDropped = static_cast<long long>(got - m_end);
        if (m_in != nullptr) {
            Chunk scratch;  // the chunk still holds the lines before the 0x1A
            m_info.eofDropped += Drain(*m_in, scratch);
        }
    }
    RefuseNul(m_name, m_data, m_end, before);
    if (got == 0 || m_in == nullptr)
        m_ended = true;
    if (m_in == nullptr)
        m_dataSize = m_end;
    return m_end > 0;
}

bool LineReader::Next(std::string_view& line) {
    if (m_runEnd != nullptr)
        *std::exchange(m_runEnd, nullptr) = m_runEndByte;
    if (m_carryOut) {
        m_carry.clear();
        m_carryOut = false;
    }
    for (;;) {
        if (m_pos < m_end) {
            const char* const start = m_data + m_pos;
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
            m_pos = m_end;
            if (m_in == nullptr) {
                // The data in memory ends in this line: a view of it, too.
                m_info.unterminated = true;
                line = std::string_view(start, NoteLine(start, left, false, m_crlf, m_info));
                return true;
            }
            m_carry.append(start, left);
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

bool LineReader::NextRun(std::string_view& run) {
    if (m_runEnd != nullptr)
        *std::exchange(m_runEnd, nullptr) = m_runEndByte;
    if (m_crlf || m_in == nullptr || !m_carry.empty() || m_carryOut)
        return false;
    // Fill refused a chunk holding a NUL byte, so each line feed can become
    // the NUL that ends its line's text; an empty line would end the run.
    char* const chunk = m_chunk->data();
    char* const start = chunk + m_pos;
    char* p = start;
    char* const stop = chunk + m_end;
    while (p < stop) {
        auto* nl = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
        if (nl == nullptr || nl == p)
            break;
        NoteLine(p, static_cast<std::size_t>(nl - p), true, false, m_info);
        *nl = '\0';
        p = nl + 1;
    }
    if (p == start)
        return false;
    // The byte after the last NUL (the next line's first, or the spare byte
    // beyond the data) ends the run until the next call.
    m_runEnd = p;
    m_runEndByte = *p;
    *p = '\0';
    m_pos = static_cast<std::size_t>(p - chunk);
    run = std::string_view(start, static_cast<std::size_t>(p - start) + 1);
    return true;
}

void LineReader::ReadAll(std::vector<std::string_view>& lines) {
    std::string_view line;
    if (m_in != nullptr || m_crlf || m_ended) {
        while (Next(line))
            lines.push_back(line);
        return;
    }
    // The data is in memory and no line has been handed out: each line is
    // a view of it, noted as NoteLine notes it. The line feeds are found
    // with SSE2 where the processor offers it: most lines
    // are short, and a search per line costs more than the line.
    if (!Fill())
        return;
    const char* const end = m_data + m_end;
    const char* lineStart = m_data;
    long count = 0;
    long firstDot = 0;
    auto endLine = [&](const char* stop) {
        ++count;
        if (firstDot == 0 && stop != lineStart && *lineStart == '.')
            firstDot = count;
        lines.emplace_back(lineStart, static_cast<std::size_t>(stop - lineStart));
        lineStart = stop + 1;
    };
    const char* at = m_data;
#if defined(__SSE2__)
    // Sixty-four bytes at a step: the loop over a step's line feeds then
    // ends (a branch the processor cannot foresee) once per step rather
    // than once per sixteen bytes.
    const __m128i lineFeeds = _mm_set1_epi8('\n');
    for (; end - at >= 64; at += 64) {
        std::uint64_t found = 0;
        for (int part = 0; part < 4; ++part) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
            const auto mask =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lineFeeds)));
            found |= static_cast<std::uint64_t>(mask) << (16 * part);
        }
        for (; found != 0; found &= found - 1)
            endLine(at + __builtin_ctzll(found));
    }
#endif
    for (; at != end; ++at)
        if (*at == '\n')
            endLine(at);
    if (lineStart != end) {
        endLine(end);
        m_info.unterminated = true;
    }
    m_info.lines = count;
    m_info.firstDotLine = firstDot;
    m_pos = m_end;
}

long LineReader::Count(Input& in, bool crlf) {
    Chunk chunk;
    long lines = 0;
    char last = '\n';
    bool ended = false;
    while (!ended) {
        const std::size_t got = in.Read(chunk.data(), chunk.size());
        if (got == 0)
            break;
        const std::size_t end = DataEnd(chunk.data(), got, crlf, ended);
        RefuseNul(in.Name(), chunk.data(), end, lines);
        lines += static_cast<long>(std::count(chunk.data(), chunk.data() + end, '\n'));
        if (end > 0)
            last = chunk[end - 1];
    }
    return lines + (last != '\n' ? 1 : 0);
}

LineFile ReadLineFile(const std::string& name, bool crlf, bool anyLength) {
    Input in(name);
    return LinesOf(in.Name(), FileBytes::Read(in), crlf, anyLength);
}

LineFile LinesOf(const std::string& name, FileBytes bytes, bool crlf, bool anyLength) {
    LineFile file;
    file.name = name;
    file.bytes = std::move(bytes);
    const std::size_t size = file.bytes.Size();
    LineReader reader(file.bytes.Data(), size, crlf, name);
    // Room for every line, counted first (a quick pass over bytes in
    // cache): a guess would touch the memory twice when it grows.
    const char* const data = file.bytes.Data();
    file.lines.reserve(CountLineFeeds(data, size) + 1);
    platform::AdviseLargePages(file.lines.data(), file.lines.capacity() * sizeof(std::string_view));
    reader.ReadAll(file.lines);
    file.info = reader.Info();
    if (reader.DataSize() < size)
        file.bytes.Truncate(reader.DataSize());  // the bytes from a 0x1A on are not data
    if (file.info.lines > kBufferLines && !anyLength)
        FailTooManyLines(name, kBufferLines + 1);
    return file;
}

void ReadLineFiles(const std::string& first, const std::string& second, bool crlf, bool anyLength,
                   LineFile& firstFile, LineFile& secondFile) {
#if defined(VEK_CLI_THREADS)
    // Reading at once saves at most the time the smaller file takes to
    // read; below this size that is less than starting a thread costs.
    constexpr long long kThreadedReadBytes = 1024 * 1024;
    if (std::min(FileSize(first), FileSize(second)) >= kThreadedReadBytes) {
        // The first file is read on a second thread while this one reads
        // the second; what the first raised is raised here, before anything
        // of the second, as if they had been read in turn.
        std::exception_ptr firstFailure;
        std::thread reader([&] {
            try {
                firstFile = ReadLineFile(first, crlf, anyLength);
            } catch (...) {
                firstFailure = std::current_exception();
            }
        });
        std::exception_ptr secondFailure;
        try {
            secondFile = ReadLineFile(second, crlf, anyLength);
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
        return;
    }
#endif
    firstFile = ReadLineFile(first, crlf, anyLength);
    WarnAboutReading(firstFile);
    secondFile = ReadLineFile(second, crlf, anyLength);
    WarnAboutReading(secondFile);
}

// A buffer's checksum is the sum of its lines' bytes (each line up to its
// first NUL byte), taken as signed values, modulo 65536. LoadFile stores
// each line of a file with one line feed and refuses a line with a NUL
// byte, so the checksum of a loaded file is the sum of the file's own
// bytes, its line feeds included, plus one line feed for a last line that
// has none: the file is summed as it is read, in chunks, and nothing is
// stored.
unsigned StreamLineFileChecksum(const std::string& name) {
    static_assert(kChunkSize <= (1u << 23), "a chunk's sum must fit 32 bits");
    Input in(name);
    Chunk chunk;
    std::uint32_t sum = 0;
    long lineFeeds = 0;
    unsigned long long lineLength = 0;  // bytes of the line being read so far
    char last = '\n';                   // the last byte read; a line feed for an empty file
    for (;;) {
        const std::size_t got = in.Read(chunk.data(), chunk.size());
        if (got == 0)
            break;
        const char* bytes = chunk.data();
        const auto* nul = static_cast<const char*>(std::memchr(bytes, '\0', got));
        if (nul != nullptr) {
            const long line = lineFeeds + 1 + static_cast<long>(std::count(bytes, nul, '\n'));
            if (line > kBufferLines)
                FailTooManyLines(in.Name(), kBufferLines + 1);
            FailNulByte(in.Name(), line);
        }
        // A buffer holds a line, its line feed included, in at most INT_MAX
        // bytes: the line that ends in this chunk, and the one left open.
        const auto* firstLineFeed = static_cast<const char*>(std::memchr(bytes, '\n', got));
        if (firstLineFeed != nullptr) {
            FailLongLine(in.Name(), lineFeeds + 1,
                         lineLength + static_cast<std::size_t>(firstLineFeed - bytes));
            std::size_t tail = 0;
            while (bytes[got - 1 - tail] != '\n')
                ++tail;
            lineLength = tail;
        } else {
            lineLength += got;
        }
        const ChunkFigures figures = Figures(bytes, got);
        sum += figures.sum;
        lineFeeds += figures.lineFeeds;
        if (lineFeeds > kBufferLines)
            FailTooManyLines(in.Name(), kBufferLines + 1);
        FailLongLine(in.Name(), lineFeeds + 1, lineLength);
        last = bytes[got - 1];
    }
    LoadInfo info;
    info.unterminated = last != '\n';
    info.lines = lineFeeds + (info.unterminated ? 1 : 0);
    if (info.lines > kBufferLines)
        FailTooManyLines(in.Name(), kBufferLines + 1);
    if (info.unterminated)
        sum += '\n';
    WarnAboutReading(in.Name(), info);
    return sum & 0xFFFFu;
}

namespace {

// A text scan over chunks of a file, in order.
class TextScanner {
  public:
    void Add(const char* p, std::size_t got) {
        if (got == 0)
            return;
        for (const char byte : {'\0', '\x1A'}) {
            long& line = byte == '\0' ? m_scan.nulLine : m_scan.eofLine;
            if (line != 0)
                continue;
            const auto* found = static_cast<const char*>(std::memchr(p, byte, got));
            if (found != nullptr)
                line = m_feeds + 1 + static_cast<long>(std::count(p, found, '\n'));
        }
        m_feeds += static_cast<long>(std::count(p, p + got, '\n'));
        for (const char* nl = p;
             (nl = static_cast<const char*>(
                  std::memchr(nl, '\n', static_cast<std::size_t>(p + got - nl)))) != nullptr;
             ++nl)
            if ((nl > p ? nl[-1] : m_last) == '\r')
                ++m_scan.crlfLines;
        m_last = p[got - 1];
    }
    TextScan Finish() {
        m_scan.unterminated = m_last != '\n';
        m_scan.lines = m_feeds + (m_scan.unterminated ? 1 : 0);
        return m_scan;
    }

  private:
    TextScan m_scan;
    long m_feeds = 0;
    char m_last = '\n';
};

}  // namespace

TextScan ScanTextFile(const std::string& name) {
    Input in(name);
    Chunk chunk;
    TextScanner scanner;
    while (const std::size_t got = in.Read(chunk.data(), chunk.size()))
        scanner.Add(chunk.data(), got);
    return scanner.Finish();
}

TextScan ScanText(const char* data, std::size_t size) {
    TextScanner scanner;
    scanner.Add(data, size);
    return scanner.Finish();
}

}  // namespace vekcli
