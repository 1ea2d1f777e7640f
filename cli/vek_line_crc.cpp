// A buffer's checksum is the sum of its lines' bytes (each line up to its
// first NUL byte), taken as signed values, modulo 65536. LoadFile stores
// each line of a file with one line feed and refuses a line with a NUL
// byte, so the checksum of a loaded file is the sum of the file's own
// bytes, its line feeds included, plus one line feed for a last line that
// has none: the file is summed as it is read, in chunks, and nothing is
// stored.
#include "vek_line_crc.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vek_files.h"
#include "vek_lines.h"

namespace vekcli {

namespace {

struct ChunkFigures {
    std::uint32_t sum = 0;  // of the bytes as signed values, modulo 2^32
    long lineFeeds = 0;
};

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

}  // namespace

unsigned StreamLineFileChecksum(const std::string& name) {
    static_assert(kChunkSize <= (1u << 23), "a chunk's sum must fit 32 bits");
    Input in(name);
    std::vector<char> chunk(kChunkSize);
    std::uint32_t sum = 0;
    long lineFeeds = 0;
    char last = '\n';  // the last byte read; a line feed for an empty file
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
        const ChunkFigures figures = Figures(bytes, got);
        sum += figures.sum;
        lineFeeds += figures.lineFeeds;
        if (lineFeeds > kBufferLines)
            FailTooManyLines(in.Name(), kBufferLines + 1);
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

}  // namespace vekcli
