// VekBuf behaviour that the exports cannot show: prepending, deleting and
// the figures after edits.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "buffer/vekbuf.h"
#include "support/vekbuf_support.h"

namespace {

using vek::VekBuf;

struct Figures {
    int count, longest, total;
};

Figures Stats(VekBuf& buffer) {
    Figures f{};
    EXPECT_EQ(buffer.GetStats(&f.count, &f.longest, &f.total), RC_OK);
    return f;
}

TEST(VekBufFigures, LongestFollowsAddedLines) {
    VekBuf buffer;
    vektest::FillVekBuf(buffer, {"a", "bbb", "ccc"});
    EXPECT_EQ(buffer.LongestLen(), 4);
    EXPECT_EQ(buffer.TotalLen(), 10);
}

TEST(VekBufFigures, DeletionKeepsFiguresTrue) {
    VekBuf buffer;
    vektest::FillVekBuf(buffer, {"a", "bbbb", "cc", "bbbb", "d"});
    ASSERT_EQ(buffer.DeleteLines(1, 1), RC_OK);
    EXPECT_EQ(buffer.TotalLen(), 2 + 3 + 5 + 2);
    EXPECT_EQ(Stats(buffer).longest, 5);
    ASSERT_EQ(buffer.DeleteLines(2, 2), RC_OK);  // the last of the longest lines
    Figures f = Stats(buffer);
    EXPECT_EQ(f.longest, 3);
    EXPECT_EQ(f.total, 2 + 3 + 2);
    EXPECT_EQ(vektest::VekBufLines(buffer), (std::vector<std::string>{"a\n", "cc\n", "d\n"}));
    ASSERT_EQ(buffer.DeleteLines(0, 2), RC_OK);
    f = Stats(buffer);
    EXPECT_EQ(f.count, 0);
    EXPECT_EQ(f.longest, 0);
    EXPECT_EQ(f.total, 0);
}

TEST(VekBufDelete, RefusesBadRangesAndChangesNothing) {
    VekBuf buffer;
    vektest::FillVekBuf(buffer, {"1", "2", "3"});
    EXPECT_EQ(buffer.DeleteLines(2, 1), RC_BAD_LINE);
    EXPECT_EQ(buffer.DeleteLines(-1, 1), RC_BAD_LINE);
    EXPECT_EQ(buffer.DeleteLines(0, 3), RC_BAD_LINE);
    EXPECT_EQ(buffer.LineCount(), 3);
    EXPECT_EQ(buffer.TotalLen(), 6);
    EXPECT_EQ(buffer.DeleteLines(0, 2), RC_OK);
    EXPECT_EQ(buffer.LineCount(), 0);
}

TEST(VekBufPrepend, PutsCopiesInFrontAndMeasuresAgain) {
    VekBuf a;
    VekBuf b;
    vektest::FillVekBuf(a, {"a1", "a2"});
    vektest::FillVekBuf(b, {"b1", "longest b2"});
    ASSERT_EQ(a.PrependBuffer(b), RC_OK);
    EXPECT_EQ(vektest::VekBufLines(a),
              (std::vector<std::string>{"b1\n", "longest b2\n", "a1\n", "a2\n"}));
    EXPECT_EQ(vektest::VekBufLines(b), (std::vector<std::string>{"b1\n", "longest b2\n"}));
    EXPECT_EQ(a.LongestLen(), 0);  // unknown until asked
    const Figures f = Stats(a);
    EXPECT_EQ(f.longest, 11);
    EXPECT_EQ(f.total, 3 + 11 + 3 + 3);
    // The copies are independent of the source buffer.
    b.Reset();
    EXPECT_EQ(vektest::VekBufLines(a)[1], "longest b2\n");
}

TEST(VekBufPrepend, RefusesToPassTheLineLimit) {
    VekBuf big;
    VekBuf two;
    vektest::FillVekBuf(two, {"x", "y"});
    for (int i = 0; i < MAX_LINES - 2; ++i) {
        ASSERT_EQ(big.AppendLine("l\n"), RC_OK);
    }
    ASSERT_EQ(big.PrependBuffer(two), RC_OK);
    EXPECT_EQ(big.LineCount(), MAX_LINES);
    ASSERT_EQ(big.DeleteLines(0, 0), RC_OK);
    ASSERT_EQ(big.AppendLine("l\n"), RC_OK);
    ASSERT_EQ(big.AppendLine("l\n"), RC_OK);
    ASSERT_EQ(big.DeleteLines(0, 0), RC_OK);  // MAX_LINES - 1 + 2 - 1 ... back to MAX_LINES
    ASSERT_EQ(big.DeleteLines(0, 0), RC_OK);
    ASSERT_EQ(big.LineCount(), MAX_LINES - 1);
    EXPECT_EQ(big.PrependBuffer(two), RC_BUFFER_FULL);
    EXPECT_EQ(big.LineCount(), MAX_LINES - 1);
}

TEST(VekBufReset, ClearsEverything) {
    VekBuf buffer;
    vektest::FillVekBuf(buffer, {"x"});
    char dest[4];
    int length = 0;
    ASSERT_EQ(buffer.ReadLine(1, 3, dest, &length), RC_OK);
    EXPECT_EQ(buffer.Reset(), RC_OK);
    const Figures f = Stats(buffer);
    EXPECT_EQ(f.count + f.longest + f.total, 0);
}

TEST(VekBufReadLine, HandsOutStoredLinesUpToTheirFirstNul) {
    VekBuf buffer;
    ASSERT_EQ(buffer.AppendLine(std::string_view("ab\0cd\n", 6)), RC_OK);
    ASSERT_EQ(buffer.AppendLine(""), RC_OK);
    ASSERT_EQ(buffer.AppendLine("no line feed"), RC_OK);
    char dest[32];
    int length = -1;
    ASSERT_EQ(buffer.ReadLine(1, 31, dest, &length), RC_OK);
    EXPECT_EQ(length, 1);  // "ab" without its last byte
    EXPECT_STREQ(dest, "a");
    ASSERT_EQ(buffer.ReadLine(2, 0, dest, &length), RC_OK);
    EXPECT_EQ(length, 0);
    EXPECT_STREQ(dest, "");
    ASSERT_EQ(buffer.ReadLine(3, 31, dest, &length), RC_OK);
    EXPECT_STREQ(dest, "no line fee");
    // The checksum also stops at a line's first NUL.
    int sum = 0;
    ASSERT_EQ(buffer.Checksum(16, &sum), RC_OK);
    int expected = 'a' + 'b';
    for (char c : std::string_view("no line feed"))
        expected += c;
    EXPECT_EQ(sum, expected);
}

// The store against a plain vector model, under random inserts, erasures,
// replacements and prepends (this exercises gap moves, growth and the
// arena's compaction of dead text).
TEST(LineStoreModel, MatchesAVectorUnderRandomEdits) {
    std::mt19937 random(12345);
    vek::LineStore store;
    std::vector<std::string> model;
    auto text = [&random](std::size_t size) {
        std::string s(size, ' ');
        for (char& c : s)
            c = static_cast<char>('a' + random() % 26);
        return s;
    };
    for (int step = 0; step < 20000; ++step) {
        const auto op = random() % 10;
        const std::size_t size = model.size();
        if (op < 4) {
            const std::size_t at = size ? random() % (size + 1) : 0;
            const std::string t = text(random() % 2000 == 0 ? 300000 : random() % 40);
            store.Insert(at, t);
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), t);
        } else if (op < 7 && size > 0) {
            const std::size_t first = random() % size;
            const std::size_t count = 1 + random() % std::min<std::size_t>(size - first, 50);
            store.Erase(first, count);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(first),
                        model.begin() + static_cast<std::ptrdiff_t>(first + count));
        } else if (op < 8 && size > 0) {
            const std::size_t at = random() % size;
            const std::string t = text(random() % 60);
            store.Replace(at, t);
            model[at] = t;
        } else if (op < 9) {
            vek::LineStore other;
            std::vector<std::string> added;
            for (auto i = random() % 20; i > 0; --i) {
                added.push_back(text(random() % 30));
                other.Append(added.back());
            }
            store.PrependCopy(other);
            model.insert(model.begin(), added.begin(), added.end());
        } else {
            const std::string t = text(random() % 30);
            store.Append(t);
            model.push_back(t);
        }
        ASSERT_EQ(store.Size(), model.size());
        if (step % 997 == 0 || step == 19999) {
            for (std::size_t i = 0; i < model.size(); ++i) {
                ASSERT_EQ(store.At(i), model[i]) << "step " << step << " index " << i;
            }
        }
    }
}

}  // namespace
