// Diff through the exports: exact scripts for the documented edge cases of
// the window walk, the trim, the class table, the search and the emission,
// the lines pruning keeps out of the search, and round trips through EdBuf.
// DiffWhole: round trips, and what the whole-file comparison saves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vekwin32.h"

namespace {

using Lines = std::vector<std::string>;
using vektest::BufferLines;
using vektest::BufferStats;
using vektest::FillBuffer;

constexpr int kSource = 1;
constexpr int kTarget = 2;
constexpr int kScript = 3;

// "<prefix><n>" for n = from .. to.
Lines Numbered(const std::string& prefix, int from, int to) {
    Lines lines;
    for (int n = from; n <= to; ++n) {
        lines.push_back(prefix + std::to_string(n));
    }
    return lines;
}

Lines Concat(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Lines Slice(const Lines& lines, int first, int last) {  // 1-based, inclusive
    return Lines(lines.begin() + (first - 1), lines.begin() + last);
}

struct DiffResult {
    int rc = -1;
    Lines script;
};

DiffResult RunDiff(const Lines& source, const Lines& target) {
    FillBuffer(kSource, source);
    FillBuffer(kTarget, target);
    DiffResult result;
    result.rc = Diff(kSource, kTarget, kScript);
    result.script = BufferLines(kScript);
    return result;
}

// Diffs, then applies the script to the source buffer with EdBuf and
// expects the target.
void ExpectRoundTrip(const Lines& source, const Lines& target) {
    const DiffResult diff = RunDiff(source, target);
    ASSERT_EQ(diff.rc, RC_OK);
    ASSERT_EQ(EdBuf(kScript, kSource), RC_OK);
    EXPECT_EQ(BufferLines(kSource), target);
}

// ---------------------------------------------------------------------------
// The window walk and the tails.

TEST(DiffWindows, BothEmptyEmptiesTheScriptBuffer) {
    FillBuffer(kScript, {"old", "script"});
    const DiffResult r = RunDiff({}, {});
    EXPECT_EQ(r.rc, RC_OK);
    EXPECT_TRUE(r.script.empty());
    EXPECT_EQ(BufferStats(kScript).total, 0);
}

TEST(DiffWindows, EmptySourceSmallTargetIsOneInsertion) {
    const Lines target = Numbered("t", 1, 5);
    const DiffResult r = RunDiff({}, target);
    EXPECT_EQ(r.rc, RC_OK);
    EXPECT_EQ(r.script, Concat(Concat({"0a"}, target), {"."}));
}

TEST(DiffWindows, EmptySourceLongTargetPutsTheTailFirst) {
    const Lines target = Numbered("t", 1, 3000);
    const DiffResult r = RunDiff({}, target);
    EXPECT_EQ(r.rc, RC_OK);
    Lines expected = Concat(Concat({"0a"}, Slice(target, 2501, 3000)), {"."});
    expected = Concat(Concat(Concat(expected, {"0a"}), Slice(target, 1, 2500)), {"."});
    EXPECT_EQ(r.script, expected);
}

TEST(DiffWindows, EmptyTargetDeletesEverything) {
    const DiffResult r = RunDiff(Numbered("s", 1, 5), {});
    EXPECT_EQ(r.rc, RC_OK);
    EXPECT_EQ(r.script, Lines({"1,5d"}));
}

TEST(DiffWindows, IdenticalBuffersGiveAnEmptyScript) {
    for (int size : {1, 2, 3, 2499, 2500, 2501, 5000, 7001}) {
        FillBuffer(kScript, {"stale"});
        const Lines lines = Numbered("same ", 1, size);
        const DiffResult r = RunDiff(lines, lines);
        EXPECT_EQ(r.rc, RC_OK) << size;
        EXPECT_TRUE(r.script.empty()) << size;
    }
}

TEST(DiffWindows, RepeatedIdenticalLinesGiveAnEmptyScript) {
    // One-line windows and all-equal windows go through the full search.
    for (int size : {1, 2, 2501, 5001}) {
        const Lines lines(static_cast<std::size_t>(size), "same");
        const DiffResult r = RunDiff(lines, lines);
        EXPECT_EQ(r.rc, RC_OK) << size;
        EXPECT_TRUE(r.script.empty()) << size;
    }
}

TEST(DiffWindows, TargetLongerByOneWindowTail) {
    const Lines target = Numbered("line ", 1, 2600);
    const DiffResult r = RunDiff(Slice(target, 1, 2500), target);
    EXPECT_EQ(r.rc, RC_OK);
    EXPECT_EQ(r.script, Concat(Concat({"2500a"}, Slice(target, 2501, 2600)), {"."}));
}

TEST(DiffWindows, SourceLongerEndsWithTailDeleteFirst) {
    const Lines source = Numbered("line ", 1, 6000);
    const DiffResult r = RunDiff(source, Slice(source, 1, 3000));
    EXPECT_EQ(r.rc, RC_OK);
    // The second window deletes what its target half lacks; the tail
    // command, merged last, comes first.
    EXPECT_EQ(r.script, Lines({"5001,6000d", "3001,5000d"}));
}

TEST(DiffWindows, TailDeleteOfTheSingleLastLine) {
    const Lines source = Numbered("line ", 1, 5001);
    const DiffResult r = RunDiff(source, Slice(source, 1, 5000));
    EXPECT_EQ(r.rc, RC_OK);
    EXPECT_EQ(r.script, Lines({"5001d"}));
}

TEST(DiffWindows, WindowsAlignByLineNumberNotByContent) {
    // One line inserted at the top shifts every later line into the next
    // window: each window pair reports its own difference.
    const Lines source = Numbered("line ", 1, 3000);
    const Lines target = Concat({"new"}, source);
    const DiffResult r = RunDiff(source, target);
    EXPECT_EQ(r.rc, RC_OK);
    // Window 2: source 2501..3000 against target 2501..3001 (= source
    // 2500..3000): "line 2500" comes in front again.
    // Window 1: "new" comes in front, source line 2500 goes.
    const Lines expected = {"2500a", "line 2500", ".", "2500d", "0a", "new", "."};
    EXPECT_EQ(r.script, expected);
    ASSERT_EQ(EdBuf(kScript, kSource), RC_OK);
    EXPECT_EQ(BufferLines(kSource), target);
}

TEST(DiffWindows, BadBufferNumbersChangeNothing) {
    FillBuffer(1, {"one"});
    FillBuffer(2, {"two"});
    FillBuffer(3, {"three"});
    const int calls[][3] = {{1, 1, 2}, {1, 2, 2},  {0, 1, 2}, {1, 2, 4},
                            {1, 2, 1}, {-1, 2, 3}, {1, 4, 3}};
    for (const auto& c : calls) {
        EXPECT_EQ(Diff(c[0], c[1], c[2]), RC_BAD_BUFFER) << c[0] << c[1] << c[2];
    }
    EXPECT_EQ(BufferLines(1), Lines({"one"}));
    EXPECT_EQ(BufferLines(2), Lines({"two"}));
    EXPECT_EQ(BufferLines(3), Lines({"three"}));
}

TEST(DiffWindows, AnyBufferMayTakeAnyRole) {
    FillBuffer(3, {"a", "b"});
    FillBuffer(1, {"a", "c"});
    EXPECT_EQ(Diff(3, 1, 2), RC_OK);
    EXPECT_EQ(BufferLines(2), Lines({"2c", "c", "."}));
    EXPECT_EQ(BufferLines(3), Lines({"a", "b"}));
    EXPECT_EQ(BufferLines(1), Lines({"a", "c"}));
}

TEST(DiffWindows, ScriptAtTheLineLimitSucceedsAndOneLineMoreIs101) {
    // Window 1: "1c", 2500 lines, "." (2502 lines); the tail: "1a", the
    // target lines from 2501 on, "." -- n + 4 lines in all.
    for (int n : {MAX_LINES - 4, MAX_LINES - 3}) {
        SCOPED_TRACE(n);
        ASSERT_EQ(InitBuf(kTarget), RC_OK);
        char text[32];
        for (int i = 1; i <= n; ++i) {
            std::snprintf(text, sizeof text, "t%d", i);
            ASSERT_EQ(AddLine(kTarget, text), RC_OK);
        }
        FillBuffer(kSource, {"s"});
        const int rc = Diff(kSource, kTarget, kScript);
        const vektest::Stats stats = BufferStats(kScript);
        char line[16];
        int length = 0;
        ASSERT_EQ(GetLine(kScript, 1, 15, line, &length), RC_OK);
        if (n == MAX_LINES - 4) {
            EXPECT_EQ(rc, RC_OK);
            EXPECT_EQ(stats.count, MAX_LINES);
            EXPECT_EQ(std::string(line, static_cast<std::size_t>(length)), "1a");
        } else {
            // The first window's script stays; the tail is refused.
            EXPECT_EQ(rc, RC_BUFFER_FULL);
            EXPECT_EQ(stats.count, 2502);
            EXPECT_EQ(std::string(line, static_cast<std::size_t>(length)), "1c");
        }
    }
    FillBuffer(kTarget, {});
}

// ---------------------------------------------------------------------------
// Hunks.

TEST(DiffHunks, ChangeDeleteAndInsertForms) {
    EXPECT_EQ(RunDiff({"x", "y", "z"}, {"x", "q", "z"}).script, Lines({"2c", "q", "."}));
    EXPECT_EQ(RunDiff({"a", "b", "c"}, {"a", "b"}).script, Lines({"3d"}));
    EXPECT_EQ(RunDiff({"b", "c"}, {"a", "b", "c"}).script, Lines({"0a", "a", "."}));
    EXPECT_EQ(RunDiff({"a", "b"}, {"a", "b", "c", "d"}).script, Lines({"2a", "c", "d", "."}));
    EXPECT_EQ(RunDiff({"a", "b", "c", "d", "e"}, {"a", "P", "Q", "e"}).script,
              Lines({"2,4c", "P", "Q", "."}));
    EXPECT_EQ(RunDiff({"a", "b", "c", "d", "e"}, {"a", "e"}).script, Lines({"2,4d"}));
    EXPECT_EQ(RunDiff({"a"}, {"b"}).script, Lines({"1c", "b", "."}));
}

TEST(DiffHunks, SeparateChangesComeLowestFirst) {
    Lines source = Numbered("l", 1, 10);
    Lines target = source;
    target[2] = "X";
    target[7] = "Y";
    target.insert(target.begin() + 5, "Z");
    const DiffResult r = RunDiff(source, target);
    EXPECT_EQ(r.rc, RC_OK);
    EXPECT_EQ(r.script, Lines({"8c", "Y", ".", "5a", "Z", ".", "3c", "X", "."}));
}

TEST(DiffHunks, InsertedLinesKeepTheirBytes) {
    const Lines target = {"a", ".dot first", "tab\there", "cr\r", "", "  lead"};
    const DiffResult r = RunDiff({"a"}, target);
    EXPECT_EQ(r.rc, RC_OK);
    EXPECT_EQ(r.script, Lines({"1a", ".dot first", "tab\there", "cr\r", "", "  lead", "."}));
}

// ---------------------------------------------------------------------------
// Classes.

TEST(DiffClasses, TextsThatDifferAfterTheFirstLineFeedAreDifferent) {
    // Same hash (it stops at the first line feed), same length.
    EXPECT_EQ(RunDiff({"a\nX"}, {"a\nY"}).script, Lines({"1c", "a\nY", "."}));
    EXPECT_EQ(RunDiff({"k", "a\nX", "k"}, {"k", "a\nY", "k"}).script, Lines({"2c", "a\nY", "."}));
}

TEST(DiffClasses, EqualHashAndLengthButDifferentBytesAreDifferent) {
    // 'A' * 128 + 0xC1 == 'B' * 128 + 'A'.
    EXPECT_EQ(RunDiff({"A\xC1"}, {"BA"}).script, Lines({"1c", "BA", "."}));
    EXPECT_EQ(RunDiff({"A\xC1", "BA"}, {"BA", "A\xC1"}).script, Lines({"2a", "A\xC1", ".", "1d"}));
}

TEST(DiffClasses, EqualHashButDifferentLengthAreDifferent) {
    // "ab" + LF and "ab" + LF + LF hash alike (the hash stops at the first
    // line feed) but differ in length.
    EXPECT_EQ(RunDiff({"ab"}, {"ab\n"}).script, Lines({"1c", "ab\n", "."}));
}

TEST(DiffClasses, EmptyLinesAreATextOfTheirOwn) {
    EXPECT_EQ(RunDiff({"x", "", "y"}, {"x", "y"}).script, Lines({"2d"}));
    EXPECT_EQ(RunDiff({"", ""}, {"", "x", ""}).script, Lines({"1a", "x", "."}));
}

TEST(DiffClasses, TableHolds4093TextsPerWindowPair) {
    const Lines source = Numbered("s", 1, 2047);
    const Lines target = Numbered("t", 1, 2046);
    const DiffResult r = RunDiff(source, target);
    EXPECT_EQ(r.rc, RC_OK);
    ASSERT_EQ(r.script.size(), 2048u);
    EXPECT_EQ(r.script.front(), "1,2047c");
    EXPECT_EQ(r.script[1], "t1");
    EXPECT_EQ(r.script.back(), ".");
}

TEST(DiffClasses, TableFullAt4094TextsGives107) {
    FillBuffer(kScript, {"stale"});
    const DiffResult r = RunDiff(Numbered("s", 1, 2047), Numbered("t", 1, 2047));
    EXPECT_EQ(r.rc, RC_DIFF_FAILED);
    EXPECT_TRUE(r.script.empty());
}

TEST(DiffClasses, CommonLinesDoNotCountAgainstTheTable) {
    // 3000 distinct texts in all, but the shared ones are trimmed or get one
    // class for both sides.
    const Lines shared = Numbered("shared ", 1, 1500);
    const Lines source = Concat(Numbered("s", 1, 1000), shared);
    const Lines target = Concat(Numbered("t", 1, 1000), shared);
    const DiffResult r = RunDiff(source, target);
    EXPECT_EQ(r.rc, RC_OK);
    ASSERT_FALSE(r.script.empty());
    EXPECT_EQ(r.script.front(), "1,1000c");
}

TEST(DiffClasses, FullTableInALaterWindowKeepsEarlierWindows) {
    const Lines tail = Numbered("tail ", 1, 2499);
    const Lines source = Concat(Concat({"S"}, tail), Numbered("s", 1, 2047));
    const Lines target = Concat(Concat({"T"}, tail), Numbered("t", 1, 2047));
    const DiffResult r = RunDiff(source, target);
    EXPECT_EQ(r.rc, RC_DIFF_FAILED);
    EXPECT_EQ(r.script, Lines({"1c", "T", "."}));
}

// ---------------------------------------------------------------------------
// The search and the slide.

TEST(DiffSearch, FirstCopyStaysAndTheRestIsDeleted) {
    EXPECT_EQ(RunDiff({"A", "B", "A"}, {"A"}).script, Lines({"2,3d"}));
}

TEST(DiffSearch, SingleDeletionSlidesDownToJoinTheNextRun) {
    EXPECT_EQ(RunDiff({"B", "A", "B", "B", "B", "A"}, {"A", "B"}).script, Lines({"4,6d", "1d"}));
}

TEST(DiffSearch, RunsSlideDownOverEqualLines) {
    // Deleting one of three equal lines deletes the last of them.
    EXPECT_EQ(RunDiff({"x", "a", "a", "a", "y"}, {"x", "a", "a", "y"}).script, Lines({"4d"}));
    // Inserting between equal lines inserts after the last of them.
    EXPECT_EQ(RunDiff({"x", "a", "a", "y"}, {"x", "a", "a", "a", "y"}).script,
              Lines({"3a", "a", "."}));
}

TEST(DiffSearch, ShortestScriptForInterleavedChanges) {
    // abcabba -> cbabac: the classic example needs 5 edits.
    const DiffResult r =
        RunDiff({"a", "b", "c", "a", "b", "b", "a"}, {"c", "b", "a", "b", "a", "c"});
    EXPECT_EQ(r.rc, RC_OK);
    int edits = 0;
    for (const std::string& line : r.script) {
        const char letter = line.empty() ? 0 : line.back();
        if (line.size() >= 2 && (letter == 'a' || letter == 'c' || letter == 'd') &&
            line[0] >= '0' && line[0] <= '9') {
            int first = 0;
            int last = 0;
            const int n = std::sscanf(line.c_str(), "%d,%d", &first, &last);
            if (letter != 'a') {
                edits += n == 2 ? last - first + 1 : 1;
            }
        } else if (line != ".") {
            ++edits;  // an inserted line
        }
    }
    EXPECT_EQ(edits, 5);
    ASSERT_EQ(EdBuf(kScript, kSource), RC_OK);
    EXPECT_EQ(BufferLines(kSource), Lines({"c", "b", "a", "b", "a", "c"}));
}

// Small pairs whose script depends on the search's tie-breaking: which
// diagonal a frontier continues from when both neighbours reach equally
// far, and that the range is split at the backward frontier.
TEST(DiffSearch, TieBreakingDecidesBetweenEqualLengthScripts) {
    EXPECT_EQ(RunDiff({"a", "c", "b"}, {"b", "a", "b", "c"}).script,
              Lines({"3a", "c", ".", "2d", "0a", "b", "."}));
    EXPECT_EQ(RunDiff({"a", "a", "b", "a", "b", "c"}, {"b", "c", "b", "a"}).script,
              Lines({"6a", "b", "a", ".", "1,4d"}));
    EXPECT_EQ(RunDiff({"c", "b", "c", "b", "a"}, {"b", "a", "c"}).script,
              Lines({"5a", "c", ".", "1,3d"}));
}

// ---------------------------------------------------------------------------
// Pruning: the lines the search never sees. A line without a partner on the
// other side is changed without being searched, and so is a frequent line
// (more copies on the other side than the limit) inside a run of such lines,
// unless the run's rules keep it.

// The source lines (1-based) a script leaves in place.
std::vector<int> SourceLinesLeft(const Lines& script, int sourceCount) {
    std::vector<bool> deleted(static_cast<std::size_t>(sourceCount) + 1, false);
    bool inserting = false;
    for (const std::string& line : script) {
        if (inserting) {
            inserting = line != ".";
            continue;
        }
        int first = 0;
        int last = 0;
        if (std::sscanf(line.c_str(), "%d,%d", &first, &last) != 2) {
            last = first;
        }
        const char letter = line.back();
        if (letter == 'c' || letter == 'd') {
            for (int n = first; n <= last; ++n) {
                deleted[static_cast<std::size_t>(n)] = true;
            }
        }
        inserting = letter == 'a' || letter == 'c';
    }
    std::vector<int> left;
    for (int n = 1; n <= sourceCount; ++n) {
        if (!deleted[static_cast<std::size_t>(n)]) {
            left.push_back(n);
        }
    }
    return left;
}

// Runs of lines written one letter a line: '-' a line without partner, 'K' a
// frequent line the search keeps, 'X' a frequent line it leaves out. The
// source is `prefix` common lines, then the runs parted by lines found once
// on each side; the target has `copies` copies of the frequent line in each
// part's place, so every kept frequent line finds a partner and stays in
// place, and every line left out is deleted. Checks that the script leaves
// exactly the common lines and the 'K' lines, and rebuilds the target.
void ExpectRunsPruned(const std::vector<std::string>& runs, int copies, int prefix = 0) {
    SCOPED_TRACE(std::to_string(copies) + " copies after " + std::to_string(prefix) + " lines");
    Lines source = Numbered("common ", 1, prefix);
    Lines target = source;
    std::vector<int> left(source.size());
    for (std::size_t n = 0; n < left.size(); ++n) {
        left[n] = static_cast<int>(n) + 1;
    }
    int unpartnered = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (r > 0) {
            source.push_back("part " + std::to_string(r));
            target.push_back(source.back());
            left.push_back(static_cast<int>(source.size()));
        }
        for (const char kind : runs[r]) {
            source.push_back(kind == '-' ? "new " + std::to_string(++unpartnered) : "F");
            if (kind == 'K') {
                left.push_back(static_cast<int>(source.size()));
            }
        }
        target.insert(target.end(), static_cast<std::size_t>(copies), "F");
    }
    const DiffResult r = RunDiff(source, target);
    ASSERT_EQ(r.rc, RC_OK);
    EXPECT_EQ(SourceLinesLeft(r.script, static_cast<int>(source.size())), left);
    ASSERT_EQ(EdBuf(kScript, kSource), RC_OK);
    EXPECT_EQ(BufferLines(kSource), target);
}

TEST(DiffPrune, RunsOfLinesWithoutPartnerKeepOnlySomeFrequentLines) {
    // Six copies are frequent in a window this small (limit 5).
    ExpectRunsPruned(
        {
            "---K-K-K-K-K-K-----",   // more than a quarter frequent: all stay
            "K",                     // a frequent line that starts no run stays
            "---X----KKK",           // frequent lines ending a run stay, and do not
                                     // count in it: 1 of 8 is out
            "-K----X---K-",          // end scans stop at three discards in a row
            "-K-K-K--K-----------",  // within the first eight lines, only there
            "-K-K--K--X----------",  // from the ninth line on, at any discard
            "--------KKK---XX----",  // in a run of 20, stretches of 3 stay
        },
        6);
}

TEST(DiffPrune, FrequencyLimitIsFiveCopiesAndGrowsWithTheWindow) {
    const Lines source = {"a1", "a2", "a3", "X", "a4", "a5", "a6", "a7"};
    EXPECT_EQ(RunDiff(source, Lines(6, "X")).script,
              Concat(Concat({"1,8c"}, Lines(6, "X")), {"."}));
    EXPECT_EQ(RunDiff(source, Lines(5, "X")).script,
              Lines({"5,8c", "X", "X", "X", "X", ".", "1,3d"}));
    // From 256 records in the window on (the common prefix counts), the
    // limit is 10.
    ExpectRunsPruned({"---X----"}, 6, 240);
    ExpectRunsPruned({"---K----"}, 10, 300);
    ExpectRunsPruned({"---X----"}, 11, 300);
}

// ---------------------------------------------------------------------------
// Round trips through EdBuf.

TEST(DiffRoundTrip, SmallEdgePairs) {
    const Lines pairs[][2] = {
        {{}, {"a"}},
        {{"a"}, {}},
        {{"a", "a", "a"}, {"a"}},
        {{"a"}, {"a", "a", "a"}},
        {{"", "", ""}, {"", "x", "", "x"}},
        {{"a", "b", "c", "d"}, {"d", "c", "b", "a"}},
        {{"a", "b", "a", "b", "a"}, {"b", "a", "b", "a", "b"}},
    };
    for (const auto& pair : pairs) {
        ExpectRoundTrip(pair[0], pair[1]);
    }
}

TEST(DiffRoundTrip, ChangesAcrossWindowBoundaries) {
    const Lines source = Numbered("line ", 1, 7600);
    Lines target = source;
    // Edits on both sides of the boundaries at 2500/2501 and 5000/5001.
    target.erase(target.begin() + 4999, target.begin() + 5003);
    target.insert(target.begin() + 2499, {"in a", "in b", "in c"});
    target[0] = "first";
    target.back() = "last";
    ExpectRoundTrip(source, target);
    ExpectRoundTrip(target, source);
}

TEST(DiffRoundTrip, LongTailsBothWays) {
    const Lines longer = Numbered("row ", 1, 8000);
    const Lines shorter = Concat(Numbered("other ", 1, 1200), Slice(longer, 1300, 2000));
    ExpectRoundTrip(shorter, longer);
    ExpectRoundTrip(longer, shorter);
}

// ---------------------------------------------------------------------------
// DiffWhole: the same script format over the whole of both buffers.

DiffResult RunDiffWhole(const Lines& source, const Lines& target) {
    FillBuffer(kSource, source);
    FillBuffer(kTarget, target);
    FillBuffer(kScript, {"stale", "script"});
    DiffResult result;
    result.rc = DiffWhole(kSource, kTarget, kScript);
    result.script = BufferLines(kScript);
    return result;
}

TEST(DiffWholeExport, RandomPairsRebuildThroughEdBuf) {
    unsigned state = 2024;
    auto below = [&state](int n) {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 8) % static_cast<unsigned>(n));
    };
    for (int round = 0; round < 60; ++round) {
        // Few distinct texts in odd rounds, so that lines repeat a lot.
        Lines source;
        for (int i = below(round % 10 == 0 ? 6000 : 400); i > 0; --i) {
            source.push_back("t" + std::to_string(below(round % 2 == 0 ? 100000 : 8)));
        }
        Lines target = source;
        for (int edits = below(30); edits > 0; --edits) {  // insertions, deletions, moves
            const auto at = target.begin() + below(static_cast<int>(target.size()) + 1);
            const Lines block(at, at + std::min<std::ptrdiff_t>(target.end() - at, 1 + below(20)));
            target.erase(at, at + static_cast<std::ptrdiff_t>(block.size()));
            const int kind = below(3);
            const Lines added = kind == 0   ? Numbered("n" + std::to_string(round) + "-", 1, edits)
                                : kind == 1 ? Lines()
                                            : block;
            const auto to = target.begin() + below(static_cast<int>(target.size()) + 1);
            target.insert(to, added.begin(), added.end());
        }
        const DiffResult r = RunDiffWhole(source, target);
        ASSERT_EQ(r.rc, RC_OK);
        ASSERT_EQ(EdBuf(kScript, kSource), RC_OK);
        ASSERT_EQ(BufferLines(kSource), target) << "round " << round;
    }
    EXPECT_EQ(RunDiffWhole({"same"}, {"same"}).script, Lines{});
    EXPECT_EQ(BufferStats(kScript).total, 0);
    EXPECT_EQ(RunDiffWhole({}, {"a"}).script, Lines({"0a", "a", "."}));
    EXPECT_EQ(RunDiffWhole({"a", "b"}, {}).script, Lines({"1,2d"}));
    // A new line that begins with '.' is carried unchanged, as Diff carries
    // it: the host must check such texts.
    EXPECT_EQ(RunDiffWhole({"a", "b"}, {"a", ".dot", "b"}).script, Lines({"1a", ".dot", "."}));
}

TEST(DiffWholeExport, LinesInsertedAtTheTopCostOnlyThemselves) {
    const Lines source = Numbered("line ", 1, 100000);
    const Lines inserted = Numbered("new ", 1, 2000);
    const Lines target = Concat(inserted, source);
    // Diff's windows, aligned by line number, are all shifted: two full
    // windows of different lines overflow its class table.
    FillBuffer(kSource, source);
    FillBuffer(kTarget, target);
    EXPECT_EQ(Diff(kSource, kTarget, kScript), RC_DIFF_FAILED);

    const DiffResult r = RunDiffWhole(source, target);
    ASSERT_EQ(r.rc, RC_OK);
    EXPECT_EQ(r.script, Concat(Concat({"0a"}, inserted), {"."}));
    ASSERT_EQ(EdBuf(kScript, kSource), RC_OK);
    EXPECT_EQ(BufferStats(kSource).count, 102000);
}

}  // namespace
