// The difference engine's stages on their own: hash, class numbering, the
// trim, the search on hand-made class sequences, range texts, and the
// allocator's exhaustion path. (The pruning rules are checked through the
// Diff export, in diff_export_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "buffer/vekbuf.h"
#include "common/failure.h"
#include "common/fault_injection.h"
#include "diff/diff_alloc.h"
#include "diff/diff_driver.h"
#include "diff/emission.h"
#include "diff/equivalence.h"
#include "diff/search.h"
#include "diff/whole_file.h"
#include "support/vekbuf_support.h"

namespace {

using vek::DiffSide;
using vek::DiffSidePair;
using vek::VekBuf;

// A side whose records carry the given classes, as the class assignment
// would leave it.
void SetClasses(DiffSide& side, const std::vector<int>& classes, int classCount) {
    side.recordCount = static_cast<int>(classes.size());
    side.classCount = classCount;
    side.classes.Allocate(classes.size() + 5);
    for (std::size_t i = 0; i < classes.size(); ++i) {
        side.classes[static_cast<std::ptrdiff_t>(i)] = classes[i];
    }
    side.AllocateChangeMarks();
}

std::vector<int> Marks(const DiffSide& side) {
    return std::vector<int>(side.changeMarks, side.changeMarks + side.recordCount);
}

// Every line of the side in the search, as if pruning had kept them all.
void KeepEveryLine(DiffSide& side) {
    side.keptClasses.Allocate(static_cast<std::size_t>(side.recordCount));
    side.keptIndex.Allocate(static_cast<std::size_t>(side.recordCount));
    for (int i = 0; i < side.recordCount; ++i) {
        side.keptClasses[i] = side.classes[i];
        side.keptIndex[i] = i;
    }
    side.keptCount = side.recordCount;
}

// ---------------------------------------------------------------------------

TEST(DiffHash, RotatesAndAddsUpToTheFirstLineFeed) {
    EXPECT_EQ(vek::LineHash("A\n"), 65u);
    EXPECT_EQ(vek::LineHash("abc\n"), 1601891u);
    EXPECT_EQ(vek::LineHash("\n"), 0u);
    EXPECT_EQ(vek::LineHash("abcdefgh\n"), 0x4D7D3F06u);
    EXPECT_EQ(vek::LineHash("ab\ncd\n"), vek::LineHash("ab\n"));
    EXPECT_EQ(vek::LineHash("abc"), 1601891u);  // no line feed at all
    EXPECT_EQ(vek::LineHash("\xFF\n"), 255u);   // bytes are unsigned
    EXPECT_EQ(vek::LineHash("\x80\x80\x80\x80\x80\n"), 0x10204088u);
}

TEST(DiffRanges, FormatsOneOrTwoNumbers) {
    char text[vek::kRangeTextSize];
    auto range = [&text](int a, int b) { return std::string(text, vek::FormatRange(a, b, text)); };
    EXPECT_EQ(range(4, 6), "5,7");
    EXPECT_EQ(range(4, 4), "5");
    EXPECT_EQ(range(4, 3), "4");  // insertion after line 4
    EXPECT_EQ(range(0, -1), "0");
    EXPECT_EQ(range(5000, 5999), "5001,6000");
    EXPECT_EQ(range(524287, 524287), "524288");
}

// ---------------------------------------------------------------------------

TEST(DiffClassTable, NumbersTextsInOrderOfFirstAppearance) {
    VekBuf source;
    VekBuf target;
    vektest::FillVekBuf(source, {"x", "y", "x"});
    vektest::FillVekBuf(target, {"y", "z"});
    DiffSidePair sides;
    sides.source = {};
    sides.source.buffer = &source;
    sides.source.last = 3;
    sides.source.prefixEnd = 0;
    sides.source.middleEnd = 3;
    sides.target.buffer = &target;
    sides.target.last = 2;
    sides.target.prefixEnd = 0;
    sides.target.middleEnd = 2;
    vek::AssignClasses(sides);
    EXPECT_EQ(sides.source.recordCount, 3);
    EXPECT_EQ(sides.target.recordCount, 2);
    EXPECT_EQ(std::vector<int>(sides.source.classes.Data(), sides.source.classes.Data() + 3),
              std::vector<int>({1, 2, 1}));
    EXPECT_EQ(std::vector<int>(sides.target.classes.Data(), sides.target.classes.Data() + 2),
              std::vector<int>({2, 3}));
    EXPECT_EQ(sides.source.classCount, 4);
    EXPECT_EQ(sides.target.classCount, 4);
}

TEST(DiffClassTable, PrefixIsClassZeroAndSuffixHasNoRecords) {
    VekBuf source;
    VekBuf target;
    // Buffer lines 2501..2505 form the window; 2501..2502 are the common
    // prefix and 2505 the common suffix.
    std::vector<std::string> lines(2500, "before");
    lines.insert(lines.end(), {"p1", "p2", "x", "y", "s"});
    vektest::FillVekBuf(source, lines);
    lines[2502] = "q";
    lines[2503] = "x";
    vektest::FillVekBuf(target, lines);
    DiffSidePair sides;
    for (DiffSide* side : {&sides.source, &sides.target}) {
        side->first = 2501;
        side->last = 2505;
    }
    sides.source.buffer = &source;
    sides.target.buffer = &target;
    vek::TrimCommonLines(sides);
    EXPECT_EQ(sides.source.prefixEnd, 2502);
    EXPECT_EQ(sides.source.middleEnd, 2504);
    vek::AssignClasses(sides);
    ASSERT_EQ(sides.source.recordCount, 4);
    EXPECT_EQ(sides.source.records[2].lineIndex, 2502);
    EXPECT_EQ(sides.source.records[3].text, "y\n");
    EXPECT_EQ(std::vector<int>(sides.source.classes.Data(), sides.source.classes.Data() + 4),
              std::vector<int>({0, 0, 1, 2}));
    EXPECT_EQ(std::vector<int>(sides.target.classes.Data(), sides.target.classes.Data() + 4),
              std::vector<int>({0, 0, 3, 1}));
}

TEST(DiffClassTable, RecordHashesMatchTheLineHash) {
    // Lines of every length next to one another, line feeds inside lines,
    // and an odd count: every record's hash is its text's hash.
    VekBuf buffer;
    buffer.AppendLine("a\nbcdef\n");
    buffer.AppendLine("\n");
    buffer.AppendLine("abcdefgh\n");
    buffer.AppendLine("x\n\n\n");
    buffer.AppendLine("no line feed");
    buffer.AppendLine("");
    buffer.AppendLine("a much longer line than its neighbours\n");
    DiffSide side;
    side.buffer = &buffer;
    side.last = buffer.LineCount();
    side.prefixEnd = 0;
    side.middleEnd = side.last;
    vek::BuildLineRecords(side, true);
    ASSERT_EQ(side.recordCount, buffer.LineCount());
    for (int j = 0; j < side.recordCount; ++j) {
        EXPECT_EQ(side.records[j].hash, vek::LineHash(buffer.Line(j))) << j;
    }
}

TEST(DiffClassTable, ClassesFollowFirstAppearanceOnRandomWindows) {
    // Whatever way the classes are found, they are numbered by the first
    // appearance of each text, source middle first, then target middle.
    std::mt19937 engine(99);
    auto random = [&engine] { return static_cast<unsigned>(engine()); };
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> a;
        std::vector<std::string> b;
        const int vocabulary = 1 + static_cast<int>(random() % 40);
        for (unsigned n = random() % 60; n > 0; --n) {
            a.push_back("w" + std::to_string(random() % static_cast<unsigned>(vocabulary)));
        }
        b = a;
        for (unsigned n = random() % 8; n > 0 && !b.empty(); --n) {
            const auto at = static_cast<std::ptrdiff_t>(random() % b.size());
            if (random() % 2 != 0) {
                b.erase(b.begin() + at);
            } else {
                b.insert(b.begin() + at, "w" + std::to_string(random() % 50));
            }
        }
        VekBuf source;
        VekBuf target;
        vektest::FillVekBuf(source, a);
        vektest::FillVekBuf(target, b);
        DiffSidePair sides;
        sides.source.buffer = &source;
        sides.source.last = source.LineCount();
        sides.target.buffer = &target;
        sides.target.last = target.LineCount();
        vek::TrimCommonLines(sides);
        vek::AssignClasses(sides);

        std::map<std::string, int> first;
        auto expect = [&first](const DiffSide& side, int records) {
            for (int j = 0; j < records; ++j) {
                const int prefix = side.prefixEnd - side.first + 1;
                int want = 0;
                if (j >= prefix) {
                    const std::string text(side.buffer->Line(side.first - 1 + j));
                    want = first.emplace(text, static_cast<int>(first.size()) + 1).first->second;
                }
                EXPECT_EQ(side.classes[j], want) << "record " << j;
            }
        };
        expect(sides.source, sides.source.recordCount);
        expect(sides.target, sides.target.recordCount);
        EXPECT_EQ(sides.source.classCount, static_cast<int>(first.size()) + 1);
    }
}

TEST(DiffClassTable, BytesAfterANulByteCount) {
    // Lines read from files may hold NUL bytes; equality is by the stored
    // length and bytes, so these lines differ in the trim and in the table.
    using namespace std::string_literals;
    VekBuf source;
    VekBuf target;
    VekBuf output;
    for (const std::string& line : {"k\n"s, "a\0b\n"s, "k\n"s}) {
        source.AppendLine(line);
    }
    for (const std::string& line : {"k\n"s, "a\0c\n"s, "k\n"s}) {
        target.AppendLine(line);
    }
    ASSERT_EQ(vek::DiffBuffers(source, target, output), 0);
    EXPECT_EQ(vektest::VekBufLines(output), std::vector<std::string>({"2c\n", "a\0c\n"s, ".\n"}));
    ASSERT_EQ(vek::DiffBuffers(target, target, output), 0);
    EXPECT_EQ(output.LineCount(), 0);
}

TEST(DiffTrim, PrefixNeverTakesTheLastLineAndSuffixStopsAtTheStopLine) {
    VekBuf source;
    VekBuf target;
    struct Case {
        std::vector<std::string> a, b;
        int prefixLines, suffixLines;
    };
    const Case cases[] = {
        {{"a"}, {"a"}, 0, 0},                           // no pair is compared
        {{"a", "b"}, {"a", "b"}, 1, 1},                 // identical
        {{"a", "b", "c"}, {"a", "b"}, 1, 0},            // stop at line 1: 3/"c" vs 2/"b"
        {{"a", "b", "x"}, {"a", "b", "y", "x"}, 2, 1},  // stop line 2, so one suffix line
        {{"a", "x", "c", "d"}, {"a", "y", "c", "d"}, 1, 2},
        {{}, {"a", "b"}, 0, 0},
    };
    for (const Case& c : cases) {
        vektest::FillVekBuf(source, c.a);
        vektest::FillVekBuf(target, c.b);
        DiffSidePair sides;
        sides.source.buffer = &source;
        sides.source.last = source.LineCount();
        sides.target.buffer = &target;
        sides.target.last = target.LineCount();
        vek::TrimCommonLines(sides);
        EXPECT_EQ(sides.source.prefixEnd, c.prefixLines) << c.a.size() << " " << c.b.size();
        EXPECT_EQ(sides.target.prefixEnd, c.prefixLines);
        EXPECT_EQ(sides.source.middleEnd, sides.source.last - c.suffixLines);
        EXPECT_EQ(sides.target.middleEnd, sides.target.last - c.suffixLines);
    }
}

// ---------------------------------------------------------------------------
// The search on kept sequences.

struct SearchCase {
    DiffSidePair sides;
    SearchCase(const std::vector<int>& x, const std::vector<int>& y, bool slide = false) {
        SetClasses(sides.source, x, 16);
        SetClasses(sides.target, y, 16);
        KeepEveryLine(sides.source);
        KeepEveryLine(sides.target);
        vek::MiddleSnakeSearch search(sides);
        search.SplitCompare(0, sides.source.keptCount, 0, sides.target.keptCount);
        if (slide) {
            vek::SlideChangeRuns(sides);
        }
    }
    int Cost() const {
        int cost = 0;
        for (const DiffSide* side : {&sides.source, &sides.target}) {
            for (int i = 0; i < side->recordCount; ++i) {
                cost += side->changeMarks[i];
            }
        }
        return cost;
    }
};

TEST(DiffMiddleSnake, EqualSequencesMarkNothing) {
    SearchCase c({1, 2, 3, 1}, {1, 2, 3, 1});
    EXPECT_EQ(c.Cost(), 0);
}

TEST(DiffMiddleSnake, EmptySideMarksAllOfTheOther) {
    SearchCase a({}, {1, 2, 3});
    EXPECT_EQ(Marks(a.sides.target), std::vector<int>({1, 1, 1}));
    SearchCase b({4, 5}, {});
    EXPECT_EQ(Marks(b.sides.source), std::vector<int>({1, 1}));
}

TEST(DiffMiddleSnake, MiddleSnakeCostIsTheEditDistance) {
    vek::DiffSidePair sides;
    SetClasses(sides.source, {1, 2, 3, 1, 2, 2, 1}, 4);  // abcabba
    SetClasses(sides.target, {3, 2, 1, 2, 1, 3}, 4);     // cbabac
    KeepEveryLine(sides.source);
    KeepEveryLine(sides.target);
    vek::MiddleSnakeSearch search(sides);
    EXPECT_EQ(search.FindMiddleSnake(0, 7, 0, 6).cost, 5);
    // Sub-ranges: "ab" against "cb" would break the precondition (equal
    // last elements); "bc" (1..3) against "cb" (0..2) costs 2.
    EXPECT_EQ(search.FindMiddleSnake(1, 3, 0, 2).cost, 2);
}

TEST(DiffMiddleSnake, MarksAShortestScript) {
    SearchCase c({1, 2, 3, 1, 2, 2, 1}, {3, 2, 1, 2, 1, 3});
    EXPECT_EQ(c.Cost(), 5);
    SearchCase d({1, 2, 1, 2, 1, 2, 1, 2}, {2, 1, 2, 1, 2, 1, 2, 1});
    EXPECT_EQ(d.Cost(), 2);
}

TEST(DiffSlide, DeletionMovesDownToJoinTheFollowingRun) {
    // B A B B B A against A B (classes B = 1, A = 2).
    SearchCase before({1, 2, 1, 1, 1, 2}, {2, 1});
    EXPECT_EQ(Marks(before.sides.source), std::vector<int>({1, 0, 1, 0, 1, 1}));
    SearchCase after({1, 2, 1, 1, 1, 2}, {2, 1}, true);
    EXPECT_EQ(Marks(after.sides.source), std::vector<int>({1, 0, 0, 1, 1, 1}));
    EXPECT_EQ(Marks(after.sides.target), std::vector<int>({0, 0}));
}

TEST(DiffSlide, RunDoesNotSlidePastAChangeOnTheOtherSide) {
    // x a a y -> x a q a y: the inserted q is not an "a", nothing moves.
    SearchCase c({1, 2, 2, 3}, {1, 2, 4, 2, 3}, true);
    EXPECT_EQ(Marks(c.sides.target), std::vector<int>({0, 0, 1, 0, 0}));
    // x a y -> x a a y: the inserted a ends up after the last a.
    SearchCase d({1, 2, 3}, {1, 2, 2, 3}, true);
    EXPECT_EQ(Marks(d.sides.target), std::vector<int>({0, 0, 1, 0}));
}

// ---------------------------------------------------------------------------
// The allocator.

TEST(DiffAlloc, ZeroByteRequestGivesAUsableByte) {
    void* block = vek::DiffAlloc(0);
    ASSERT_NE(block, nullptr);
    *static_cast<volatile char*>(block) = 'x';
    vek::DiffRelease(block);
}

#ifdef VEK_FAULT_INJECTION
// Blocks fail through the allocation fault points. This program keeps the
// standard operator new, so every allocation point it passes is a DiffAlloc
// block. (The fault tests sweep every allocation of the Diff export.)

using vek::fault::Point;

std::vector<std::string> g_messages;
void CaptureMessage(const char* text) {
    g_messages.emplace_back(text);
}

class DiffAllocFailure : public ::testing::Test {
  protected:
    void SetUp() override {
        g_messages.clear();
        vek::SetDiffMessageSink(CaptureMessage);
    }
    void TearDown() override {
        vek::fault::Arm(Point::kAllocation, 0);
        vek::SetDiffMessageSink(nullptr);
    }
};

TEST_F(DiffAllocFailure, FailedBlockRaisesOutOfMemoryAndTellsNobody) {
    vek::fault::Arm(Point::kAllocation, 1);
    EXPECT_THROW(vek::DiffAlloc(16), vek::OutOfMemory);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(DiffAllocFailure, DiffRaisesTheFailureAndKeepsWholeWindowScripts) {
    VekBuf source;
    VekBuf target;
    VekBuf output;
    std::vector<std::string> a;
    std::vector<std::string> b;
    for (int i = 0; i < 6000; ++i) {
        a.push_back("line " + std::to_string(i % 900));
        b.push_back(i % 500 == 7 ? "changed " + std::to_string(i) : a.back());
    }
    b.resize(5600);
    vektest::FillVekBuf(source, a);
    vektest::FillVekBuf(target, b);
    vek::fault::Arm(Point::kAllocation, 0);
    ASSERT_EQ(vek::DiffBuffers(source, target, output), 0);
    const long blocks = vek::fault::Passed(Point::kAllocation);
    const std::vector<std::string> full = vektest::VekBufLines(output);
    ASSERT_GT(blocks, 20);
    ASSERT_TRUE(g_messages.empty());

    // The first block of the call and its last one.
    for (const long n : {1L, blocks}) {
        SCOPED_TRACE(n);
        g_messages.clear();
        vek::fault::Arm(Point::kAllocation, n);
        EXPECT_THROW(vek::DiffBuffers(source, target, output), vek::DiffMemoryExhausted);
        vek::fault::Arm(Point::kAllocation, 0);
        // Telling the user is the Diff export's (fault tests).
        EXPECT_TRUE(g_messages.empty());
        // What is left is the script of the windows merged before the
        // failure: the end of the full script.
        const std::vector<std::string> partial = vektest::VekBufLines(output);
        ASSERT_LE(partial.size(), full.size());
        EXPECT_TRUE(std::equal(partial.begin(), partial.end(),
                               full.end() - static_cast<std::ptrdiff_t>(partial.size())));
        EXPECT_EQ(partial.empty(), n == 1);
    }
    // Disarmed, the same call works again.
    g_messages.clear();
    EXPECT_EQ(vek::DiffBuffers(source, target, output), 0);
    EXPECT_EQ(vektest::VekBufLines(output), full);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(DiffAllocFailure, WholeFileDifferenceRaisesOutOfMemoryWithoutAMessage) {
    const std::vector<std::string_view> a = {"x", "a", "y"};
    const std::vector<std::string_view> b = {"x", "b", "y"};
    vek::fault::Arm(Point::kAllocation, 0);
    ASSERT_EQ(vek::DiffSequences(a.data(), a.size(), b.data(), b.size()).Lines().size(), 3u);
    const long blocks = vek::fault::Passed(Point::kAllocation);
    ASSERT_GT(blocks, 0);
    for (long n = 1; n <= blocks; ++n) {
        vek::fault::Arm(Point::kAllocation, n);
        EXPECT_THROW(vek::DiffSequences(a.data(), a.size(), b.data(), b.size()), vek::OutOfMemory)
            << n;
    }
    EXPECT_TRUE(g_messages.empty());
}
#endif

}  // namespace
