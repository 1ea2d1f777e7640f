#include "files/bundle_lines.h"

#include <cstring>

namespace vek::bundle {

namespace {

// The two characters of every 12-bit value, so that a group of three bytes
// (24 bits) takes two lookups. Every character is 32 plus six bits: the
// value 0 is a space.
struct PairTable {
    char pairs[4096][2];
    constexpr PairTable() : pairs() {
        for (unsigned v = 0; v < 4096; ++v) {
            pairs[v][0] = static_cast<char>(32 + (v >> 6));
            pairs[v][1] = static_cast<char>(32 + (v & 63));
        }
    }
};

constexpr PairTable kPairs;

inline unsigned Group(const unsigned char* bytes) {
    return (static_cast<unsigned>(bytes[0]) << 16) | (static_cast<unsigned>(bytes[1]) << 8) |
           bytes[2];
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// The same pairs as 16-bit values that hold them in memory order, so that
// two groups (eight characters) are put together in a register and stored
// at once.
struct WidePairTable {
    std::uint16_t pairs[4096];
    constexpr WidePairTable() : pairs() {
        for (unsigned v = 0; v < 4096; ++v) {
            pairs[v] = static_cast<std::uint16_t>((32 + (v >> 6)) | ((32 + (v & 63)) << 8));
        }
    }
};

constexpr WidePairTable kWidePairs;

inline std::uint64_t Quad(unsigned group) {
    return kWidePairs.pairs[group >> 12] |
           (static_cast<std::uint64_t>(kWidePairs.pairs[group & 4095]) << 16);
}
#endif

inline unsigned Decoded(unsigned char c) {
    return (static_cast<unsigned>(c) - 32u) & 63u;
}

}  // namespace

std::size_t EncodeDataLine(const unsigned char* block, std::size_t n, char* out) {
    char* p = out;
    *p++ = ' ';
    *p++ = static_cast<char>(32 + n);
    std::size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; i + 3 < n; i += 6) {
        const std::uint64_t eight = Quad(Group(block + i)) | (Quad(Group(block + i + 3)) << 32);
        std::memcpy(p, &eight, sizeof eight);
        p += 8;
    }
#endif
    for (; i < n; i += 3) {
        const unsigned group = Group(block + i);
        std::memcpy(p, kPairs.pairs[group >> 12], 2);
        std::memcpy(p + 2, kPairs.pairs[group & 4095], 2);
        p += 4;
    }
    *p++ = '\n';
    return static_cast<std::size_t>(p - out);
}

std::uint32_t DataLineSum(const unsigned char* block, std::size_t n) {
    // The space, the length character and the line feed, then 32 for each
    // character of a group plus its six bits.
    const std::size_t groups = (n + 2) / 3;
    std::uint32_t sum = ' ' + static_cast<std::uint32_t>(32 + n) + '\n' +
                        static_cast<std::uint32_t>(4 * 32 * groups);
    for (std::size_t i = 0; i < n; i += 3) {
        const unsigned group = (static_cast<unsigned>(block[i]) << 16) |
                               (static_cast<unsigned>(block[i + 1]) << 8) | block[i + 2];
        sum += (group >> 18) + ((group >> 12) & 63) + ((group >> 6) & 63) + (group & 63);
    }
    return sum;
}

std::uint32_t SignedByteSum(const char* bytes, std::size_t size) {
    const auto* in = reinterpret_cast<const signed char*>(bytes);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(in[i]));
    }
    return sum;
}

namespace {

// The bytes of a data line that holds every character its count needs.
std::size_t DecodeWholeDataLine(const char* chars, unsigned count, unsigned char* out) {
    const auto* c = reinterpret_cast<const unsigned char*>(chars);
    unsigned char* o = out;
    for (unsigned left = count; left >= 3; left -= 3, c += 4, o += 3) {
        const unsigned c0 = Decoded(c[0]);
        const unsigned c1 = Decoded(c[1]);
        const unsigned c2 = Decoded(c[2]);
        const unsigned c3 = Decoded(c[3]);
        o[0] = static_cast<unsigned char>((c0 << 2) | (c1 >> 4));
        o[1] = static_cast<unsigned char>((c1 << 4) | (c2 >> 2));
        o[2] = static_cast<unsigned char>((c2 << 6) | c3);
    }
    if (count % 3 != 0) {
        const unsigned c0 = Decoded(c[0]);
        const unsigned c1 = Decoded(c[1]);
        o[0] = static_cast<unsigned char>((c0 << 2) | (c1 >> 4));
        if (count % 3 == 2) {
            o[1] = static_cast<unsigned char>((c1 << 4) | (Decoded(c[2]) >> 2));
        }
    }
    return count;
}

}  // namespace

std::size_t DecodeDataLine(std::string_view line, unsigned char* out, bool& cutShort) {
    if (line.size() >= 2) {
        // The usual line holds all the characters its count needs (the last
        // group two, three or four of them): decoded without a check each.
        const unsigned count = Decoded(static_cast<unsigned char>(line[1]));
        const unsigned rest = count % 3;
        const std::size_t needed = 2 + 4 * (count / 3) + (rest == 0 ? 0 : rest + 1);
        if (needed <= line.size()) {
            cutShort = false;
            return DecodeWholeDataLine(line.data() + 2, count, out);
        }
    }
    // The character at a position equal to the line's length is the string's
    // terminating NUL; a position beyond it does not exist.
    const std::size_t length = line.size();
    auto at = [&](std::size_t position, unsigned& value) {
        if (position > length) {
            return false;
        }
        value = Decoded(position < length ? static_cast<unsigned char>(line[position]) : 0);
        return true;
    };
    cutShort = false;
    unsigned count = 0;
    if (!at(1, count)) {
        cutShort = true;
        return 0;
    }
    std::size_t produced = 0;
    std::size_t position = 2;
    for (int remaining = static_cast<int>(count); remaining > 0; remaining -= 3, position += 4) {
        unsigned c0 = 0;
        unsigned c1 = 0;
        unsigned c2 = 0;
        unsigned c3 = 0;
        if (!at(position, c0) || !at(position + 1, c1)) {
            cutShort = true;
            return produced;
        }
        out[produced++] = static_cast<unsigned char>((c0 << 2) | (c1 >> 4));
        if (remaining == 1) {
            break;
        }
        if (!at(position + 2, c2)) {
            cutShort = true;
            return produced;
        }
        out[produced++] = static_cast<unsigned char>((c1 << 4) | (c2 >> 2));
        if (remaining == 2) {
            break;
        }
        if (!at(position + 3, c3)) {
            cutShort = true;
            return produced;
        }
        out[produced++] = static_cast<unsigned char>((c2 << 6) | c3);
    }
    return produced;
}

}  // namespace vek::bundle
