// VekBuf: one line buffer. The three numbered slots of the library and the
// short-lived buffers of the file checksum and the diff engine are VekBufs.
//
// A line is a byte string; lines added through AddLine end with a line feed,
// and whoever stores lines through AppendLine says what theirs end with.
// Indexes count from 0 inside the buffer, line numbers from 1 at the
// interface.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "buffer/line_store.h"
#include "vekwin32.h"  // result codes and VEK_MAX_LINES

namespace vek {

// The operations declared noexcept report everything by their code (a line
// that cannot be stored is VEK_RC_BUFFER_FULL); the others raise
// std::bad_alloc when memory runs out, the buffer left as it was.
class VekBuf {
  public:
    VekBuf();
    VekBuf(const VekBuf&) = delete;
    VekBuf& operator=(const VekBuf&) = delete;
    ~VekBuf();

    // Removes every line and clears figures, edit state, read cache and
    // status text. Returns 0.
    int Reset() noexcept;

    // The longest line a buffer stores, in bytes with its line feed: every
    // length a buffer reports and ReadLine hands out then fits an int.
    static constexpr std::size_t kMaxLineLength = 2147483647;  // INT_MAX

    // Appends the text unchanged. VEK_RC_BUFFER_FULL when the buffer already holds more than
    // VEK_MAX_LINES lines, the line is longer than kMaxLineLength or it cannot be
    // stored (nothing changes then).
    int AppendLine(std::string_view text) noexcept;
    // Appends a line of `length` bytes that fill(char* text) writes in place;
    // otherwise as AppendLine (fill is not called when the line is refused).
    template <class Fill>
    int AppendLineWith(std::size_t length, Fill&& fill) {
        if (LineCount() > VEK_MAX_LINES || length > kMaxLineLength) {
            return VEK_RC_BUFFER_FULL;
        }
        char* text;
        try {
            text = m_lines.AppendUnfilled(length);
        } catch (const std::bad_alloc&) {
            return VEK_RC_BUFFER_FULL;
        }
        fill(text);
        AccountLine(std::string_view(text, length));
        return VEK_RC_OK;
    }
    // Appends the text plus one line feed; otherwise as AppendLine.
    int AddLine(std::string_view text) noexcept;
    // Removes the lines first..last (0-based, inclusive). VEK_RC_BAD_LINE and no change
    // unless 0 <= first <= last <= count - 1. Each removed line is taken off
    // the figures, so they stay true after edits.
    int DeleteLines(int first, int last);
    // Puts copies of all of other's lines in front of this buffer's lines.
    // VEK_RC_BUFFER_FULL and no change when the two counts together exceed VEK_MAX_LINES.
    int PrependBuffer(VekBuf& other);
    // Line count, longest length (measured again when unknown) and total
    // length, held at INT_MAX when the lines hold more. VEK_RC_OK, or VEK_RC_STATS_FAILED when
    // measuring failed.
    int GetStats(int* countOut, int* longestOut, int* totalOut) noexcept;

    // Copies line `line` (from 1) without its last byte, NUL-terminated, into
    // dest (room for maxLen + 1 bytes). VEK_RC_OK, VEK_RC_FAILED past the end, VEK_RC_NO_ROOM too
    // long.
    int ReadLine(int line, int maxLen, char* dest, int* lenOut) noexcept;
    // 16-bit additive checksum of the stored bytes. Width 16: VEK_RC_OK;
    // width 32: VEK_RC_WIDTH_NOT_COMPUTED and *out untouched.
    int Checksum(int width, int* out) const noexcept;

    // Direct access for the subsystems that edit, export and diff buffers.
    int LineCount() const { return static_cast<int>(m_lines.Size()); }
    std::string_view Line(int index) const { return m_lines.At(static_cast<std::size_t>(index)); }
    template <class F>
    void ForEachLine(F&& f) const {
        m_lines.ForEach(std::forward<F>(f));
    }
    // Stores a line before index `index` (index == count appends) without the
    // line-count check and accounts it. Clears the read cache. VEK_RC_BUFFER_FULL and no
    // change when the line is longer than kMaxLineLength.
    int InsertLine(int index, std::string_view text);
    // Replaces the line at `index` and keeps the figures true; VEK_RC_BUFFER_FULL and no
    // change when the new line is longer than kMaxLineLength.
    int ReplaceLine(int index, std::string_view text);
    // Forgets the longest length and measures it again over all lines.
    void MeasureLongestAgain() noexcept;
    void InvalidateReadCache() { m_cacheValid = 0; }

    int LongestLen() const { return m_longestLen; }
    std::int64_t TotalLen() const { return m_totalLen; }
    std::size_t FootprintBytes() const { return m_lines.FootprintBytes(); }

  private:
    void TrackLongest(int length);
    void AccountLine(std::string_view line);
    void AccountLength(std::size_t length);
    // Appends text followed by tail (the line feed of AddLine) as one line.
    int Append(std::string_view text, std::string_view tail) noexcept;
    void Unaccount(std::size_t length);

    LineStore m_lines;
    int m_longestLen = 0;         // 0: unknown (or no lines)
    std::int64_t m_totalLen = 0;  // sum of the stored lengths
    int m_longestCount = 0;       // lines whose length equals m_longestLen
    // Read cache: the line ReadLine delivered last. m_cachePos is the index
    // it found for that call, or -1 when the call ran past the end.
    int m_cacheIndex = 0;
    int m_cachePos = -1;
    int m_cacheValid = 0;
};

}  // namespace vek
