// The lines of a file bundle: each file is a section of lines that begin
// with a space (text lines, or a uuencoded binary file between a header and
// an end line) closed by the terminator line "E".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vek::bundle {

constexpr std::string_view kTerminator = "E\n";
constexpr std::string_view kBinaryHeader = " begin 777 xxxx\n";
constexpr std::string_view kZeroLengthLine = "  \n";
constexpr std::string_view kEndLine = " end\n";
constexpr std::string_view kHeaderPrefix = " begin";
constexpr std::string_view kEndPrefix = " end";

// Status entries, one per handled name.
constexpr std::string_view kStatusLoaded = "L,";
constexpr std::string_view kStatusEmpty = "E,";

// Bytes per data line, and the longest data line with its line feed.
constexpr std::size_t kDataBlock = 45;
constexpr std::size_t kMaxDataLine = 3 + 4 * (kDataBlock / 3);
// Most bytes one data line can ask for (its length character decodes to at
// most 63).
constexpr std::size_t kMaxDecodedBytes = 63;

// The length of the data line for n bytes, its line feed included.
constexpr std::size_t DataLineLength(std::size_t n) {
    return 3 + 4 * ((n + 2) / 3);
}

// Writes the data line for the n bytes at `block` (1 <= n <= 45) to `out`
// (room for kMaxDataLine bytes): a space, the length character, the groups
// of four characters, a line feed. A last group that is not full takes its
// missing bytes from the positions of `block` after n, which must be
// readable. Returns the line's length.
std::size_t EncodeDataLine(const unsigned char* block, std::size_t n, char* out);

// The sum of the characters of the data line EncodeDataLine writes for the
// same bytes, line feed included, without writing it.
std::uint32_t DataLineSum(const unsigned char* block, std::size_t n);

// The sum of `size` bytes taken as signed values, modulo 2^32.
std::uint32_t SignedByteSum(const char* bytes, std::size_t size);

// Decodes a data line into `out` (room for kMaxDecodedBytes). Returns the
// number of bytes decoded; `cutShort` tells whether the line ended before
// its count was satisfied, in which case the bytes returned are those whose
// characters were present.
std::size_t DecodeDataLine(std::string_view line, unsigned char* out, bool& cutShort);

}  // namespace vek::bundle
