// Helpers for the limit tests: filling large buffers quickly, walking a
// buffer to check that its figures describe the lines it hands out, and
// fingerprints that tell whether a buffer changed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "files/files_test_util.h"
#include "support/test_support.h"

namespace limitstest {

// The signed sum of `bytes` added to `sum`, modulo 65536: what Crc adds up
// over the stored text.
inline int AddSigned(int sum, std::string_view bytes) {
    std::uint32_t total = static_cast<std::uint32_t>(sum);
    for (const char byte : bytes) {
        total +=
            static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(byte)));
    }
    return static_cast<int>(total & 0xFFFFu);
}

// "<tag><i>", the text of numbered lines.
inline std::string Numbered(const char* tag, int i) {
    return tag + std::to_string(i);
}

// Appends `count` lines through AddLines, in runs of up to 4096 strings; the
// line numbered i gets the text text(i), i counting from `first`.
inline void AppendNumbered(int buf, int first, int count,
                           const std::function<std::string(int)>& text) {
    std::string run;
    int inRun = 0;
    for (int i = first; i < first + count; ++i) {
        const std::string line = text(i);
        ASSERT_FALSE(line.empty());
        run += line;
        run.push_back('\0');
        if (++inRun == 4096 || i + 1 == first + count) {
            run.push_back('\0');
            ASSERT_EQ(AddLines(buf, run.data()), RC_OK) << "before line " << i;
            run.clear();
            inRun = 0;
        }
    }
}

// Empties `buf` and fills it with `count` lines text(1) ... text(count).
inline void FillNumbered(int buf, int count, const std::function<std::string(int)>& text) {
    ASSERT_EQ(InitBuf(buf), RC_OK);
    AppendNumbered(buf, 1, count, text);
}

// The line as GetLine hands it out, or a text naming the code it answered.
inline std::string LineText(int buf, int line) {
    const vektest::Stats stats = vektest::BufferStats(buf);
    std::string room(static_cast<std::size_t>(std::max(stats.longest, 0)) + 1, '\0');
    int length = -1;
    const int rc = GetLine(buf, line, stats.longest, room.data(), &length);
    if (rc != RC_OK) {
        return "<GetLine answered " + std::to_string(rc) + ">";
    }
    return room.substr(0, static_cast<std::size_t>(length));
}

using Visit = std::function<void(int line, std::string_view text)>;

// Reads every line of `buf` with GetLine, hands each to `visit` (line number,
// text as handed out) and checks that GetBufStats describes exactly these
// lines: the count is the number of lines GetLine delivers (the next line
// number answers 100), the total is the sum of the stored lengths (each
// delivered length plus the dropped last byte) and the longest length is
// their maximum. Returns the figures GetBufStats gave.
inline vektest::Stats ExpectConsistent(int buf, const Visit& visit = {}) {
    const vektest::Stats stats = vektest::BufferStats(buf);
    std::string room(static_cast<std::size_t>(std::max(stats.longest, 0)) + 1, '\0');
    long long total = 0;
    int longest = 0;
    int read = 0;
    for (int line = 1; line <= stats.count; ++line) {
        int length = -1;
        const int rc = GetLine(buf, line, stats.longest, room.data(), &length);
        if (rc != RC_OK) {
            ADD_FAILURE() << "buffer " << buf << ": GetLine(" << line << ") answered " << rc
                          << " within the reported count " << stats.count;
            return stats;
        }
        ++read;
        total += length + 1;
        longest = std::max(longest, length + 1);
        if (visit) {
            visit(line, std::string_view(room.data(), static_cast<std::size_t>(length)));
        }
    }
    int length = -1;
    EXPECT_EQ(GetLine(buf, stats.count + 1, stats.longest, room.data(), &length), RC_FAILED)
        << "buffer " << buf << " hands out more lines than its count " << stats.count;
    EXPECT_EQ(read, stats.count);
    EXPECT_EQ(static_cast<long long>(stats.total), total) << "total length of buffer " << buf;
    EXPECT_EQ(stats.longest, longest) << "longest length of buffer " << buf;
    return stats;
}

// ExpectConsistent that also checks every line against `expected(line)` and
// the line count against `count`. Only the first differing line is shown.
inline void ExpectLines(int buf, int count, const std::function<std::string(int)>& expected) {
    int wrong = 0;
    const vektest::Stats stats = ExpectConsistent(buf, [&](int line, std::string_view text) {
        const std::string want = expected(line);
        if (text != want) {
            if (wrong++ == 0) {
                ADD_FAILURE() << "buffer " << buf << " line " << line << " is \""
                              << text.substr(0, 80) << "\" (" << text.size() << " bytes), not \""
                              << want.substr(0, 80) << "\" (" << want.size() << " bytes)";
            }
        }
    });
    EXPECT_EQ(wrong, 0) << "lines that differ in buffer " << buf;
    EXPECT_EQ(stats.count, count) << "line count of buffer " << buf;
}

// Everything a host can see of a buffer: its figures, its checksum and a
// hash over the lines as GetLine hands them out.
struct Fingerprint {
    int count = -1;
    int longest = -1;
    int total = -1;
    int checksum = -1;
    std::uint64_t hash = 0;

    bool operator==(const Fingerprint& other) const {
        return count == other.count && longest == other.longest && total == other.total &&
               checksum == other.checksum && hash == other.hash;
    }
    bool operator!=(const Fingerprint& other) const { return !(*this == other); }
};

inline std::ostream& operator<<(std::ostream& out, const Fingerprint& print) {
    return out << "{count " << print.count << ", longest " << print.longest << ", total "
               << print.total << ", checksum " << print.checksum << ", hash " << std::hex
               << print.hash << std::dec << "}";
}

inline Fingerprint Take(int buf) {
    Fingerprint print;
    EXPECT_EQ(GetBufStats(buf, &print.count, &print.longest, &print.total), RC_OK);
    EXPECT_EQ(Crc(buf, 16, &print.checksum), RC_OK);
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 1099511628211ull;
    };
    std::string room(static_cast<std::size_t>(std::max(print.longest, 0)) + 1, '\0');
    for (int line = 1; line <= print.count; ++line) {
        int length = -1;
        if (GetLine(buf, line, print.longest, room.data(), &length) != RC_OK) {
            mix(0xEE);
            break;
        }
        for (int i = 0; i < length; ++i) {
            mix(static_cast<unsigned char>(room[static_cast<std::size_t>(i)]));
        }
        for (int shift = 0; shift < 32; shift += 8) {
            mix(static_cast<unsigned char>(static_cast<unsigned>(length) >> shift));
        }
    }
    print.hash = hash;
    return print;
}

// Lists, LoadFiles and WriteFiles on copies of a list, as the file tests use them.
using filestest::JoinList;
using filestest::Load;
using filestest::Write;

// CrcFile on a copy of `list`; *sum is left as it was when nothing is written.
inline int CrcOfFiles(char type, const std::string& list, int* sum) {
    std::string cut = list;
    return CrcFile(type, cut.data(), 16, sum);
}

}  // namespace limitstest
