// Buffers at the line limit. A buffer takes appends while it holds at most
// MAX_LINES lines, so every producer that appends (AddLine, AddLines,
// LoadFiles, ReadBuf) brings it to MAX_LINES + 1 lines and no further, Diff
// and DiffWhole refuse a script of more than MAX_LINES lines, and the edit interpreter's
// insertions are not limited at all. Each case checks the code, what was
// kept, that the figures still describe the lines handed out, and that the
// other buffers did not change.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "limits/limits_support.h"
#include "support/test_support.h"

namespace {

using limitstest::AppendNumbered;
using limitstest::ExpectConsistent;
using limitstest::ExpectLines;
using limitstest::FillNumbered;
using limitstest::Fingerprint;
using limitstest::LineText;
using limitstest::Load;
using limitstest::Take;
using vektest::BufferStats;
using vektest::TempDir;
using vektest::WriteFileBytes;

constexpr int kLimit = MAX_LINES;

std::string Old(int i) {
    return limitstest::Numbered("old ", i);
}
std::string New(int i) {
    return limitstest::Numbered("new ", i);
}

// Fills buffers 2 and 3 with a few lines and remembers them, to show later
// that an operation on buffer 1 left them alone.
class Bystanders {
  public:
    Bystanders() {
        vektest::FillBuffer(2, {"second", "buffer"});
        vektest::FillBuffer(3, {"third"});
        m_second = Take(2);
        m_third = Take(3);
    }
    void ExpectUnchanged() const {
        EXPECT_EQ(Take(2), m_second) << "buffer 2 changed";
        EXPECT_EQ(Take(3), m_third) << "buffer 3 changed";
    }

  private:
    Fingerprint m_second;
    Fingerprint m_third;
};

// Lines 1..held are Old(line), the lines after them are `tail` (as handed
// out); checks the figures on the way.
void ExpectOldThen(int buf, int held, const std::vector<std::string>& tail) {
    ExpectLines(buf, held + static_cast<int>(tail.size()), [&](int line) {
        return line <= held ? Old(line) : tail[static_cast<std::size_t>(line - held - 1)];
    });
}

void Feed(int buf, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        EXPECT_EQ(EdCmd(buf, line.c_str()), RC_OK) << "EdCmd \"" << line << "\"";
    }
}

TEST(LineLimit, AddLineTakesOneLineBeyondMaxLinesAndRefusesTheNext) {
    Bystanders others;
    FillNumbered(1, kLimit - 1, Old);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(AddLine(1, "at the limit"), RC_OK);
    EXPECT_EQ(BufferStats(1).count, kLimit);
    EXPECT_EQ(AddLine(1, "one beyond"), RC_OK);
    const Fingerprint full = Take(1);
    EXPECT_EQ(full.count, kLimit + 1);

    // Refused lines change nothing, not even the longest length.
    EXPECT_EQ(AddLine(1, "refused"), RC_BUFFER_FULL);
    EXPECT_EQ(AddLine(1, std::string(5000, 'x').c_str()), RC_BUFFER_FULL);
    EXPECT_EQ(AddLine(1, ""), RC_BUFFER_FULL);
    EXPECT_EQ(Take(1), full);
    ExpectOldThen(1, kLimit - 1, {"at the limit", "one beyond"});
    others.ExpectUnchanged();

    // Emptied, the buffer takes lines again.
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(AddLine(1, "again"), RC_OK);
    EXPECT_EQ(LineText(1, 1), "again");
    EXPECT_EQ(BufferStats(1).count, 1);
}

TEST(LineLimit, AddLinesStopsAtTheLimitAndKeepsTheStringsBefore) {
    Bystanders others;
    FillNumbered(1, kLimit - 1, Old);
    ASSERT_FALSE(HasFatalFailure());
    // The literal's own terminator ends the run after "p4".
    EXPECT_EQ(AddLines(1, "p1\0p2\0p3\0p4\0"), RC_BUFFER_FULL);
    ExpectOldThen(1, kLimit - 1, {"p1", "p2"});

    // A full buffer refuses the first string; an empty run asks for nothing.
    const Fingerprint full = Take(1);
    EXPECT_EQ(AddLines(1, "q\0"), RC_BUFFER_FULL);
    EXPECT_EQ(Take(1), full);
    EXPECT_EQ(AddLines(1, ""), RC_OK);
    EXPECT_EQ(Take(1), full);

    // A run that ends exactly at MAX_LINES + 1 lines succeeds.
    FillNumbered(1, kLimit - 1, Old);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(AddLines(1, "r1\0r2\0"), RC_OK);
    ExpectOldThen(1, kLimit - 1, {"r1", "r2"});
    others.ExpectUnchanged();
    ASSERT_EQ(InitBuf(1), RC_OK);
}

TEST(LineLimit, EdCmdInsertsBeyondTheLimitAndDeletionsMakeRoomAgain) {
    Bystanders others;
    FillNumbered(1, kLimit + 1, Old);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(AddLine(1, "refused"), RC_BUFFER_FULL);

    // At the head, in the middle (after old line 262,144, now line 262,146)
    // and after the last line.
    Feed(1, {"0a", "head 1", "head 2", "."});
    Feed(1, {"262146a", "middle", "."});
    Feed(1, {"524292a", "tail", "."});
    // A change keeps the count.
    Feed(1, {"1c", "changed head", "."});
    const int count = kLimit + 5;
    auto expected = [](int line) -> std::string {
        if (line == 1) {
            return "changed head";
        }
        if (line == 2) {
            return "head 2";
        }
        if (line <= 262146) {
            return Old(line - 2);
        }
        if (line == 262147) {
            return "middle";
        }
        if (line <= 524292) {
            return Old(line - 3);
        }
        return "tail";
    };
    ExpectLines(1, count, expected);

    // Appends stay refused above the limit.
    const Fingerprint edited = Take(1);
    EXPECT_EQ(AddLine(1, "refused"), RC_BUFFER_FULL);
    EXPECT_EQ(AddLines(1, "refused\0"), RC_BUFFER_FULL);
    EXPECT_EQ(Take(1), edited);

    // Down to MAX_LINES lines, one AddLine fits again, and only one.
    Feed(1, {"2,6d"});
    ASSERT_EQ(BufferStats(1).count, kLimit);
    EXPECT_EQ(AddLine(1, "fits again"), RC_OK);
    EXPECT_EQ(AddLine(1, "refused"), RC_BUFFER_FULL);
    ExpectLines(1, kLimit + 1, [&](int line) -> std::string {
        if (line == 1) {
            return "changed head";
        }
        if (line == kLimit + 1) {
            return "fits again";
        }
        return expected(line + 5);
    });
    others.ExpectUnchanged();
    ASSERT_EQ(InitBuf(1), RC_OK);
}

// Addresses are read into 32 bits, larger numbers clamped to the nearest
// end. An insertion point that names no line appends, however far out it
// is, and a range that reaches past the buffer deletes nothing.
TEST(LineLimit, EditAddressesAtThe32BitEnds) {
    vektest::FillBuffer(1, {"a", "b"});
    Feed(1, {"2147483647a", "x", "y", "z", "."});
    Feed(1, {"99999999999a", "w", "."});
    const std::vector<std::string> lines = {"a", "b", "x", "y", "z", "w"};
    ExpectLines(1, 6, [&](int line) { return lines[static_cast<std::size_t>(line - 1)]; });

    const Fingerprint edited = Take(1);
    for (const char* command : {"1,2147483647d", "1,99999999999c", "2147483647d", "99999999999c",
                                "-2147483648d", "-99999999999,1c", "0,2147483647d"}) {
        EXPECT_EQ(EdCmd(1, command), RC_BAD_LINE) << command;
    }
    EXPECT_EQ(Take(1), edited);
    // Still in command mode: the next command runs.
    EXPECT_EQ(EdCmd(1, "6d"), RC_OK);
    ExpectLines(1, 5, [&](int line) { return lines[static_cast<std::size_t>(line - 1)]; });
    ASSERT_EQ(InitBuf(1), RC_OK);
}

TEST(LineLimit, EdBufAppliesAScriptOfMaxLinesPlusOneLines) {
    // "0a" and MAX_LINES text lines: the script buffer is full, so its
    // closing line is refused and the insertion stays open.
    ASSERT_EQ(InitBuf(2), RC_OK);
    ASSERT_EQ(AddLine(2, "0a"), RC_OK);
    AppendNumbered(2, 1, kLimit, Old);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(AddLine(2, "."), RC_BUFFER_FULL);
    const Fingerprint script = Take(2);
    ASSERT_EQ(script.count, kLimit + 1);
    vektest::FillBuffer(3, {"bystander"});
    const Fingerprint third = Take(3);

    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(EdBuf(2, 1), RC_OK);
    ExpectLines(1, kLimit, Old);
    EXPECT_EQ(Take(2), script) << "the script buffer changed";
    EXPECT_EQ(Take(3), third);

    // Still inserting: the next line fed is text, then the insertion closes.
    EXPECT_EQ(EdCmd(1, "still text"), RC_OK);
    EXPECT_EQ(EdCmd(1, "."), RC_OK);
    EXPECT_EQ(AddLine(1, "refused"), RC_BUFFER_FULL);
    ExpectLines(1, kLimit + 1,
                [](int line) { return line <= kLimit ? Old(line) : std::string("still text"); });

    // A second script on the full target: its insertions all go in.
    vektest::FillBuffer(3, {"2a", "x", "a longer line than the others", "."});
    const Fingerprint second = Take(3);
    EXPECT_EQ(EdBuf(3, 1), RC_OK);
    ExpectLines(1, kLimit + 3, [](int line) -> std::string {
        if (line <= 2) {
            return Old(line);
        }
        if (line == 3) {
            return "x";
        }
        if (line == 4) {
            return "a longer line than the others";
        }
        return line <= kLimit + 2 ? Old(line - 2) : std::string("still text");
    });
    EXPECT_EQ(Take(3), second);
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(InitBuf(2), RC_OK);
}

// With an empty old buffer and N > 2500 new lines the script is the tail
// "0a", new lines 2501..N, "." in front of the first window's "0a", new
// lines 1..2500, ".": N + 4 lines.
TEST(LineLimit, DiffScriptOfExactlyMaxLinesAndOneLineMore) {
    const int fits = kLimit - 4;
    const int tail = fits - 2500;
    ASSERT_EQ(InitBuf(1), RC_OK);
    FillNumbered(2, fits, New);
    ASSERT_FALSE(HasFatalFailure());
    vektest::FillBuffer(3, {"stale"});
    const Fingerprint target = Take(2);

    EXPECT_EQ(Diff(1, 2, 3), RC_OK);
    ExpectLines(3, kLimit, [tail](int line) -> std::string {
        if (line == 1 || line == tail + 3) {
            return "0a";
        }
        if (line == tail + 2 || line == kLimit) {
            return ".";
        }
        return line <= tail + 1 ? New(line + 2499) : New(line - tail - 3);
    });
    EXPECT_EQ(Take(2), target);
    EXPECT_EQ(BufferStats(1).count, 0);
    // Applied to the old buffer, the script gives the new one.
    EXPECT_EQ(EdBuf(3, 1), RC_OK);
    EXPECT_EQ(Take(1), target);

    // One new line more: the tail no longer fits in front of the first
    // window's script, which is all the script buffer keeps.
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(AddLine(2, New(fits + 1).c_str()), RC_OK);
    const Fingerprint longer = Take(2);
    EXPECT_EQ(Diff(1, 2, 3), RC_BUFFER_FULL);
    ExpectLines(3, 2502, [](int line) -> std::string {
        if (line == 1) {
            return "0a";
        }
        return line == 2502 ? std::string(".") : New(line - 1);
    });
    EXPECT_EQ(Take(2), longer);
    EXPECT_EQ(BufferStats(1).count, 0);
    for (int buf = 1; buf <= 3; ++buf) {
        ASSERT_EQ(InitBuf(buf), RC_OK);
    }
}

// Odd lines equal on both sides, every even line changed: each window of
// 2500 lines gives 1250 hunks "Nc", new line, ".", 3750 script lines.
// 139 windows give 521,250 lines; the 140th would bring the script to
// 525,000, past MAX_LINES.
TEST(LineLimit, DiffKeepsTheWindowsMergedBeforeTheScriptOverflows) {
    constexpr int kLines = 400000;
    constexpr int kKeptWindows = 139;
    constexpr int kKeptLines = kKeptWindows * 2500;
    auto source = [](int i) { return i % 2 == 1 ? Old(i) : limitstest::Numbered("was ", i); };
    auto target = [](int i) { return i % 2 == 1 ? Old(i) : limitstest::Numbered("now ", i); };
    FillNumbered(1, kLines, source);
    FillNumbered(2, kLines, target);
    ASSERT_FALSE(HasFatalFailure());
    const Fingerprint before = Take(1);
    const Fingerprint after = Take(2);

    EXPECT_EQ(Diff(1, 2, 3), RC_BUFFER_FULL);
    EXPECT_EQ(Take(1), before);
    EXPECT_EQ(Take(2), after);
    // Hunks of the last kept window first, of the first window last.
    const int scriptLines = kKeptWindows * 3750;
    ExpectLines(3, scriptLines, [&](int line) -> std::string {
        const int changed = kKeptLines - 2 * ((line - 1) / 3);
        switch ((line - 1) % 3) {
            case 0:
                return std::to_string(changed) + "c";
            case 1:
                return target(changed);
            default:
                return ".";
        }
    });

    // What was kept is a script of its own: it changes the first 139 windows.
    EXPECT_EQ(EdBuf(3, 1), RC_OK);
    ExpectLines(1, kLines,
                [&](int line) { return line <= kKeptLines ? target(line) : source(line); });
    for (int buf = 1; buf <= 3; ++buf) {
        ASSERT_EQ(InitBuf(buf), RC_OK);
    }
}

// DiffWhole's script of an empty old buffer is "0a", the new lines, ".":
// MAX_LINES - 2 new lines fill it exactly; one more is refused whole.
TEST(LineLimit, DiffWholeScriptOfExactlyMaxLinesAndNotOneMore) {
    ASSERT_EQ(InitBuf(1), RC_OK);
    FillNumbered(2, kLimit - 2, New);
    ASSERT_FALSE(HasFatalFailure());
    vektest::FillBuffer(3, {"stale"});
    EXPECT_EQ(DiffWhole(1, 2, 3), RC_OK);
    ExpectLines(3, kLimit, [](int line) -> std::string {
        return line == 1 ? "0a" : line == kLimit ? std::string(".") : New(line - 1);
    });

    ASSERT_EQ(AddLine(2, New(kLimit - 1).c_str()), RC_OK);
    const Fingerprint longer = Take(2);
    EXPECT_EQ(DiffWhole(1, 2, 3), RC_BUFFER_FULL);
    EXPECT_EQ(BufferStats(3).count, 0);
    EXPECT_EQ(Take(2), longer);
    for (int buf = 1; buf <= 3; ++buf) {
        ASSERT_EQ(InitBuf(buf), RC_OK);
    }
}

TEST(LineLimit, LoadFilesAppendsUpToOneLineBeyondMaxLines) {
    TempDir dir;
    WriteFileBytes(dir.Path("three"), "a\nb\nc\n");
    WriteFileBytes(dir.Path("four"), "a\nb\nc\nd\n");
    WriteFileBytes(dir.Path("six"), "a\nb\nc\nd\ne\nf\n");
    WriteFileBytes(dir.Path("cat"), "Cat");
    WriteFileBytes(dir.Path("bare"), "xyz");
    WriteFileBytes(dir.Path("empty"), "");
    Bystanders others;
    std::string status;

    // Three content lines after MAX_LINES - 3 lines: the terminator goes to
    // a buffer of MAX_LINES lines, the last one that takes a line.
    FillNumbered(1, kLimit - 3, Old);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(Load(1, 'T', dir.Path("three"), &status), RC_OK);
    EXPECT_EQ(status, "L");
    ExpectOldThen(1, kLimit - 3, {" a", " b", " c", "E"});

    // One content line more: the section stays cut short before its
    // terminator, and the status is not written.
    FillNumbered(1, kLimit - 3, Old);
    EXPECT_EQ(Load(1, 'T', dir.Path("four"), &status), RC_BUFFER_FULL);
    EXPECT_EQ(status, "unwritten");
    ExpectOldThen(1, kLimit - 3, {" a", " b", " c", " d"});
    FillNumbered(1, kLimit - 3, Old);
    EXPECT_EQ(Load(1, 'T', dir.Path("six"), &status), RC_BUFFER_FULL);
    ExpectOldThen(1, kLimit - 3, {" a", " b", " c", " d"});

    // The first section fits whole, the second is cut.
    FillNumbered(1, kLimit - 5, Old);
    const std::string twice = limitstest::JoinList({dir.Path("three"), dir.Path("three")});
    EXPECT_EQ(Load(1, 'T', twice, &status), RC_BUFFER_FULL);
    EXPECT_EQ(status, "unwritten");
    ExpectOldThen(1, kLimit - 5, {" a", " b", " c", "E", " a", " b"});

    // A binary section of a 3-byte file is five lines.
    FillNumbered(1, kLimit - 4, Old);
    EXPECT_EQ(Load(1, 'B', dir.Path("cat"), &status), RC_OK);
    EXPECT_EQ(status, "L");
    ExpectOldThen(1, kLimit - 4, {" begin 777 xxxx", " #0V%T", "  ", " end", "E"});
    FillNumbered(1, kLimit - 3, Old);
    EXPECT_EQ(Load(1, 'B', dir.Path("cat"), &status), RC_BUFFER_FULL);
    EXPECT_EQ(status, "unwritten");
    ExpectOldThen(1, kLimit - 3, {" begin 777 xxxx", " #0V%T", "  ", " end"});

    // A last line without a line feed still gets one (the figures count it)
    // when the terminator after it is refused.
    FillNumbered(1, kLimit, Old);
    EXPECT_EQ(Load(1, 'T', dir.Path("bare"), &status), RC_BUFFER_FULL);
    ExpectOldThen(1, kLimit, {" xyz"});

    // A buffer of MAX_LINES + 1 lines refuses even an empty file's
    // terminator; an empty list asks for nothing; a missing file is
    // reported before anything is appended.
    FillNumbered(1, kLimit + 1, Old);
    const Fingerprint full = Take(1);
    EXPECT_EQ(Load(1, 'T', dir.Path("empty"), &status), RC_BUFFER_FULL);
    EXPECT_EQ(Take(1), full);
    EXPECT_EQ(Load(1, 'T', "", &status), RC_OK);
    EXPECT_EQ(status, "");
    EXPECT_EQ(Take(1), full);
    EXPECT_EQ(Load(1, 'T', dir.Path("missing"), &status), RC_READ_FAILED);
    EXPECT_EQ(Take(1), full);
    others.ExpectUnchanged();
    ASSERT_EQ(InitBuf(1), RC_OK);
}

// A file of `lines` lines Old(1), Old(2), ..., each ended by `lineEnd`.
std::string NumberedFile(int lines, const char* lineEnd) {
    std::string bytes;
    for (int i = 1; i <= lines; ++i) {
        bytes += Old(i) + lineEnd;
    }
    return bytes;
}

TEST(LineLimit, CrcFileOfABundleAtTheLimit) {
    TempDir dir;
    // MAX_LINES content lines and the terminator fill the scratch buffer to
    // MAX_LINES + 1 lines; one content line more leaves no room for it.
    WriteFileBytes(dir.Path("fits"), NumberedFile(kLimit, "\n"));
    WriteFileBytes(dir.Path("over"), NumberedFile(kLimit + 1, "\n"));
    vektest::FillBuffer(1, {"one"});
    vektest::FillBuffer(2, {"two"});
    vektest::FillBuffer(3, {"three"});
    const Fingerprint first = Take(1);
    const Fingerprint second = Take(2);
    const Fingerprint third = Take(3);

    int expected = 0;
    for (int i = 1; i <= kLimit; ++i) {
        expected = limitstest::AddSigned(expected, " " + Old(i) + "\n");
    }
    expected = limitstest::AddSigned(expected, "E\n");
    int sum = -1;
    EXPECT_EQ(limitstest::CrcOfFiles('T', dir.Path("fits"), &sum), RC_OK);
    EXPECT_EQ(sum, expected);
    sum = -1;
    EXPECT_EQ(limitstest::CrcOfFiles('T', dir.Path("over"), &sum), RC_BUFFER_FULL);
    EXPECT_EQ(sum, -1);
    EXPECT_EQ(Take(1), first);
    EXPECT_EQ(Take(2), second);
    EXPECT_EQ(Take(3), third);
}

// Data bytes for a binary file: varied, all 256 values.
std::string BinaryBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// The four characters that encode three bytes in a data line.
std::string EncodedGroup(char b0, char b1, char b2) {
    const unsigned x = static_cast<unsigned char>(b0);
    const unsigned y = static_cast<unsigned char>(b1);
    const unsigned z = static_cast<unsigned char>(b2);
    const unsigned values[4] = {x >> 2, ((x & 3) << 4) | (y >> 4), ((y & 15) << 2) | (z >> 6),
                                z & 63};
    std::string group;
    for (const unsigned value : values) {
        group.push_back(static_cast<char>(32 + value));
    }
    return group;
}

// A binary section is the header, one data line per 45 bytes, "  ", " end"
// and "E": a file of (MAX_LINES - 3) * 45 bytes fills an empty buffer to
// MAX_LINES + 1 lines.
TEST(LineLimit, BinarySectionUpToTheLimit) {
    TempDir dir;
    const std::size_t dataLines = kLimit - 3;
    const std::string bytes = BinaryBytes(dataLines * 45);
    WriteFileBytes(dir.Path("fits"), bytes);
    WriteFileBytes(dir.Path("over"), bytes + "!");
    std::string status;

    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(Load(1, 'B', dir.Path("fits"), &status), RC_OK);
    EXPECT_EQ(status, "L");
    const vektest::Stats stats = ExpectConsistent(1, [](int line, std::string_view text) {
        if (line == 1) {
            EXPECT_EQ(text, " begin 777 xxxx");
        } else if (line <= kLimit - 2) {
            if (text.size() != 62 || text.substr(0, 2) != " M") {
                ADD_FAILURE() << "data line " << line << ": " << text;
            }
        }
    });
    EXPECT_EQ(stats.count, kLimit + 1);
    EXPECT_EQ(LineText(1, kLimit - 1), "  ");
    EXPECT_EQ(LineText(1, kLimit), " end");
    EXPECT_EQ(LineText(1, kLimit + 1), "E");
    int sum = -1;
    int fileSum = -2;
    ASSERT_EQ(Crc(1, 16, &sum), RC_OK);
    EXPECT_EQ(limitstest::CrcOfFiles('B', dir.Path("fits"), &fileSum), RC_OK);
    EXPECT_EQ(fileSum, sum);
    EXPECT_EQ(limitstest::Write(1, 'B', dir.Path("copy")), RC_OK);
    EXPECT_TRUE(vektest::ReadFileBytes(dir.Path("copy")) == bytes);

    // One byte more is one data line more: the terminator is refused and
    // the section ends with " end". Written back, every byte comes out, but
    // the section is reported as cut off.
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(Load(1, 'B', dir.Path("over"), &status), RC_BUFFER_FULL);
    EXPECT_EQ(status, "unwritten");
    EXPECT_EQ(ExpectConsistent(1).count, kLimit + 1);
    // The short line's group takes its two missing bytes from the read
    // area, which holds the last full block.
    const std::size_t lastBlock = (dataLines - 1) * 45;
    EXPECT_EQ(LineText(1, kLimit - 1),
              " !" + EncodedGroup('!', bytes[lastBlock + 1], bytes[lastBlock + 2]));
    EXPECT_EQ(LineText(1, kLimit), "  ");
    EXPECT_EQ(LineText(1, kLimit + 1), " end");
    fileSum = -2;
    EXPECT_EQ(limitstest::CrcOfFiles('B', dir.Path("over"), &fileSum), RC_BUFFER_FULL);
    EXPECT_EQ(fileSum, -2);
    EXPECT_EQ(limitstest::Write(1, 'B', dir.Path("cut")), RC_WRITE_FAILED);
    EXPECT_TRUE(vektest::ReadFileBytes(dir.Path("cut")) == bytes + "!");
    ASSERT_EQ(InitBuf(1), RC_OK);
}

TEST(LineLimit, ReadBufStoresPiecesUpToOneLineBeyondMaxLines) {
    TempDir dir;
    WriteFileBytes(dir.Path("fits"), NumberedFile(kLimit + 1, "\r\n"));
    WriteFileBytes(dir.Path("over"), NumberedFile(kLimit + 2, "\r\n"));
    WriteFileBytes(dir.Path("long"), std::string(3000, 'w') + "\r\n");
    WriteFileBytes(dir.Path("empty"), "");
    Bystanders others;

    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(ReadBuf(1, dir.Path("fits").c_str()), RC_OK);
    ExpectOldThen(1, kLimit + 1, {});
    ASSERT_EQ(InitBuf(1), RC_OK);
    EXPECT_EQ(ReadBuf(1, dir.Path("over").c_str()), RC_BUFFER_FULL);
    ExpectOldThen(1, kLimit + 1, {});

    const Fingerprint full = Take(1);
    EXPECT_EQ(ReadBuf(1, dir.Path("fits").c_str()), RC_BUFFER_FULL);
    EXPECT_EQ(Take(1), full);
    EXPECT_EQ(ReadBuf(1, dir.Path("empty").c_str()), RC_OK);
    EXPECT_EQ(Take(1), full);
    EXPECT_EQ(ReadBuf(1, dir.Path("missing").c_str()), RC_READ_FAILED);
    EXPECT_EQ(Take(1), full);

    // A long line is stored in pieces of 1,022 bytes, and each piece counts
    // against the limit: two pieces fit after MAX_LINES - 1 lines, the
    // third is refused. Pieces have no line feed, so GetLine drops their
    // last 'w'.
    FillNumbered(1, kLimit - 1, Old);
    ASSERT_FALSE(HasFatalFailure());
    const int before = BufferStats(1).total;
    EXPECT_EQ(ReadBuf(1, dir.Path("long").c_str()), RC_BUFFER_FULL);
    ExpectOldThen(1, kLimit - 1, {std::string(1021, 'w'), std::string(1021, 'w')});
    EXPECT_EQ(BufferStats(1).total, before + 2 * 1022);
    others.ExpectUnchanged();
    ASSERT_EQ(InitBuf(1), RC_OK);
}

}  // namespace
