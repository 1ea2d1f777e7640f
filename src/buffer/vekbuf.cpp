#include "buffer/vekbuf.h"

#include <climits>
#include <new>

namespace vek {

VekBuf::VekBuf() {
    Reset();
}

VekBuf::~VekBuf() {
    Reset();
}

int VekBuf::Reset() noexcept {
    m_lines.Clear();
    m_longestLen = m_longestCount = 0;
    m_totalLen = 0;
    m_cacheIndex = m_cacheValid = 0;
    m_cachePos = -1;
    return VEK_RC_OK;
}

void VekBuf::TrackLongest(int length) {
    // A longest length of 0 while other lines are held means "not known"
    // (its last holder was removed): one more line cannot make it known, as
    // longer lines may remain. GetStats measures it again.
    if (m_longestLen == 0 && m_longestCount == 0 && LineCount() > 1) {
        return;
    }
    if (length > m_longestLen) {
        m_longestLen = length;
        m_longestCount = 1;
    } else if (length == m_longestLen) {
        ++m_longestCount;
    }
}

// Every stored line is at most kMaxLineLength bytes, so its length is an int.
void VekBuf::AccountLine(std::string_view line) {
    AccountLength(line.size());
}

void VekBuf::AccountLength(std::size_t length) {
    m_totalLen += static_cast<std::int64_t>(length);
    TrackLongest(static_cast<int>(length));
}

void VekBuf::Unaccount(std::size_t length) {
    m_totalLen -= static_cast<std::int64_t>(length);
    if (m_longestLen != 0 && static_cast<int>(length) == m_longestLen && --m_longestCount <= 0) {
        m_longestLen = 0;
        m_longestCount = 0;
    }
}

int VekBuf::AppendLine(std::string_view text) noexcept {
    return Append(text, {});
}

int VekBuf::AddLine(std::string_view text) noexcept {
    return Append(text, "\n");
}

int VekBuf::Append(std::string_view text, std::string_view tail) noexcept {
    if (LineCount() > VEK_MAX_LINES || text.size() > kMaxLineLength - tail.size()) {
        return VEK_RC_BUFFER_FULL;
    }
    try {
        m_lines.Insert(m_lines.Size(), text, tail);
    } catch (const std::bad_alloc&) {
        return VEK_RC_BUFFER_FULL;
    }
    AccountLength(text.size() + tail.size());
    return VEK_RC_OK;
}

int VekBuf::DeleteLines(int first, int last) {
    if (last < first || first < 0 || last < 0 || last > LineCount() - 1) {
        return VEK_RC_BAD_LINE;
    }
    m_cacheValid = 0;
    for (int i = first; i <= last; ++i) {
        Unaccount(m_lines.At(static_cast<std::size_t>(i)).size());
    }
    m_lines.Erase(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first + 1));
    return VEK_RC_OK;
}

int VekBuf::PrependBuffer(VekBuf& other) {
    m_cacheValid = 0;
    int count = 0;
    int longest = 0;
    int total = 0;
    other.GetStats(&count, &longest, &total);
    if (LineCount() + count > VEK_MAX_LINES) {
        return VEK_RC_BUFFER_FULL;
    }
    m_lines.PrependCopy(other.m_lines);
    m_totalLen += other.m_totalLen;
    m_longestLen = 0;
    m_longestCount = 0;
    return VEK_RC_OK;
}

void VekBuf::MeasureLongestAgain() noexcept {
    int longest = 0;
    int count = 0;
    m_lines.ForEach([&longest, &count](std::string_view line) {
        const int length = static_cast<int>(line.size());
        if (length > longest) {
            longest = length;
            count = 1;
        } else if (length == longest) {
            ++count;
        }
    });
    m_longestLen = longest;
    m_longestCount = count;
}

int VekBuf::GetStats(int* countOut, int* longestOut, int* totalOut) noexcept {
    *countOut = LineCount();
    *totalOut = m_totalLen > INT_MAX ? INT_MAX : static_cast<int>(m_totalLen);
    if (m_longestLen == 0 && !m_lines.Empty()) {
        MeasureLongestAgain();
    }
    *longestOut = m_longestLen;
    return VEK_RC_OK;
}

int VekBuf::InsertLine(int index, std::string_view text) {
    if (text.size() > kMaxLineLength) {
        return VEK_RC_BUFFER_FULL;
    }
    m_lines.Insert(static_cast<std::size_t>(index), text);
    AccountLine(text);
    m_cacheValid = 0;
    return VEK_RC_OK;
}

int VekBuf::ReplaceLine(int index, std::string_view text) {
    if (text.size() > kMaxLineLength) {
        return VEK_RC_BUFFER_FULL;
    }
    const std::size_t oldLength = m_lines.At(static_cast<std::size_t>(index)).size();
    m_lines.Replace(static_cast<std::size_t>(index), text);
    Unaccount(oldLength);
    AccountLine(text);
    m_cacheValid = 0;
    return VEK_RC_OK;
}

}  // namespace vek
