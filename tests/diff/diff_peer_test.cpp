// Diff against real peers: every script, applied with EdBuf and with GNU
// ed, turns the source into the target; and on single windows where no
// line is frequent, the script is as short as GNU diff --minimal's. The
// same for the whole-file difference that vek uses, on any small input; and
// the DiffWhole export gives the scripts vek diff writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "diff/whole_file.h"
#include "support/test_support.h"
#include "vekwin32.h"

namespace {

using Lines = std::vector<std::string>;
using vektest::BufferLines;
using vektest::FillBuffer;

constexpr int kSource = 1;
constexpr int kTarget = 2;
constexpr int kScript = 3;
constexpr int kWindow = 2500;
constexpr std::size_t kMostClasses = 4093;

// ---------------------------------------------------------------------------
// Random texts. No line begins with "." (it would end an insertion).

enum class Kind { Unique, Frequent, Mixed, Tiny };

class TextMaker {
  public:
    explicit TextMaker(unsigned seed) : m_random(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    std::string Line(Kind kind) {
        switch (kind) {
            case Kind::Unique:
                return "unique " + std::to_string(m_counter++) + " " + std::to_string(Below(1000));
            case Kind::Frequent: {
                static const char* const kCommon[] = {"", "}", "{", "    return 0;", "  ", "end"};
                return kCommon[Below(6)];
            }
            case Kind::Tiny:
                return std::string(1, static_cast<char>('a' + Below(3)));
            case Kind::Mixed:
                break;
        }
        const int pick = Below(10);
        if (pick < 3) {
            return Line(Kind::Frequent);
        }
        if (pick < 5) {
            return "word " + std::to_string(Below(400));
        }
        return Line(Kind::Unique);
    }

    Lines Text(int size, Kind kind) {
        Lines lines;
        for (int i = 0; i < size; ++i) {
            lines.push_back(Line(kind));
        }
        return lines;
    }

    // A copy of `lines` with `edits` random replacements, insertions,
    // deletions and moved blocks.
    Lines Mutate(Lines lines, int edits, Kind kind) {
        for (int e = 0; e < edits; ++e) {
            const int size = static_cast<int>(lines.size());
            const int at = size == 0 ? 0 : Below(size);
            const int count = 1 + Below(Below(4) == 0 ? 40 : 4);
            switch (size == 0 ? 1 : Below(4)) {
                case 0:
                    for (int i = at; i < std::min(size, at + count); ++i) {
                        lines[static_cast<std::size_t>(i)] = Line(kind);
                    }
                    break;
                case 1:
                    lines.insert(lines.begin() + at, static_cast<std::size_t>(count), Line(kind));
                    for (int i = 0; i < count; ++i) {
                        lines[static_cast<std::size_t>(at + i)] = Line(kind);
                    }
                    break;
                case 2:
                    lines.erase(lines.begin() + at, lines.begin() + std::min(size, at + count));
                    break;
                default: {
                    const int end = std::min(size, at + count);
                    Lines block(lines.begin() + at, lines.begin() + end);
                    lines.erase(lines.begin() + at, lines.begin() + end);
                    const int to = Below(static_cast<int>(lines.size()) + 1);
                    lines.insert(lines.begin() + to, block.begin(), block.end());
                }
            }
        }
        return lines;
    }

    // Renames every occurrence beyond the `most`-th of a text after the text
    // and its occurrence, so that both sides of a pair rename alike.
    static void Cap(Lines& lines, int most) {
        std::map<std::string, int> seen;
        for (std::string& line : lines) {
            const int occurrence = ++seen[line];
            if (occurrence > most) {
                line = "capped " + std::to_string(occurrence) + " " + line;
            }
        }
    }

  private:
    std::mt19937 m_random;
    int m_counter = 0;
};

// Each window pair holds at most kMostClasses distinct texts, so no window
// can fill the class table and the Diff must succeed.
bool WindowsFitTheClassTable(const Lines& a, const Lines& b) {
    const std::size_t longer = std::max(a.size(), b.size());
    for (std::size_t first = 0; first < longer; first += kWindow) {
        std::set<std::string> texts;
        for (const Lines* side : {&a, &b}) {
            for (std::size_t i = first; i < std::min(side->size(), first + kWindow); ++i) {
                texts.insert((*side)[i]);
            }
        }
        if (texts.size() > kMostClasses) {
            return false;
        }
    }
    return true;
}

std::string Joined(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

// Runs a shell command and returns what it wrote to standard output.
std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return out;
    }
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        out.append(chunk, n);
    }
    pclose(pipe);
    return out;
}

// Deleted plus inserted lines of an edit script.
int ScriptEdits(const Lines& script) {
    int edits = 0;
    bool inserting = false;
    for (const std::string& line : script) {
        if (inserting) {
            if (line == ".") {
                inserting = false;
            } else {
                ++edits;
            }
            continue;
        }
        int first = 0;
        int last = 0;
        const char letter = line.empty() ? '?' : line.back();
        if (std::sscanf(line.c_str(), "%d,%d", &first, &last) != 2) {
            last = first;
        }
        if (letter == 'c' || letter == 'd') {
            edits += last - first + 1;
        }
        inserting = letter == 'a' || letter == 'c';
    }
    return edits;
}

// Deleted plus inserted lines of GNU diff's normal output.
int PeerEdits(const std::string& normalDiff) {
    int edits = 0;
    std::size_t start = 0;
    while (start < normalDiff.size()) {
        const char c = normalDiff[start];
        if (c == '<' || c == '>') {
            ++edits;
        }
        const std::size_t end = normalDiff.find('\n', start);
        start = end == std::string::npos ? normalDiff.size() : end + 1;
    }
    return edits;
}

// Diff, then check the script with EdBuf and with GNU ed.
void CheckRoundTrips(const Lines& source, const Lines& target, const vektest::TempDir& dir) {
    ASSERT_TRUE(WindowsFitTheClassTable(source, target));
    FillBuffer(kSource, source);
    FillBuffer(kTarget, target);
    ASSERT_EQ(Diff(kSource, kTarget, kScript), RC_OK);
    const Lines script = BufferLines(kScript);

    ASSERT_EQ(EdBuf(kScript, kSource), RC_OK);
    EXPECT_EQ(BufferLines(kSource), target) << "EdBuf round trip";

    const std::string file = dir.Path("text");
    const std::string commands = dir.Path("script");
    vektest::WriteFileBytes(file, Joined(source));
    vektest::WriteFileBytes(commands, Joined(script) + "w\nq\n");
    const std::string errors = Capture("ed -s " + file + " < " + commands + " 2>&1");
    EXPECT_EQ(errors, "") << "ed complained";
    EXPECT_TRUE(vektest::ReadFileBytes(file) == Joined(target)) << "ed round trip";
}

// ---------------------------------------------------------------------------

TEST(DiffPeerRoundTrip, RandomPairsAtWindowSizes) {
    vektest::TempDir dir;
    TextMaker maker(20261207);
    const int sizes[] = {0, 1, 2, 2499, 2500, 2501, 5000, 7501};
    const Kind kinds[] = {Kind::Unique, Kind::Frequent, Kind::Mixed, Kind::Tiny};
    int pairs = 0;
    for (int round = 0; round < 3; ++round) {
        for (const int size : sizes) {
            for (const Kind kind : kinds) {
                SCOPED_TRACE("round " + std::to_string(round) + " size " + std::to_string(size) +
                             " kind " + std::to_string(static_cast<int>(kind)));
                const Lines source = maker.Text(size, kind);
                // A few edits, many edits, and an unrelated text of a nearby size.
                CheckRoundTrips(source, maker.Mutate(source, 1 + maker.Below(5), kind), dir);
                CheckRoundTrips(source, maker.Mutate(source, 20 + maker.Below(80), kind), dir);
                const int otherSize = sizes[maker.Below(8)] + maker.Below(3) - 1;
                const Kind otherKind = kind == Kind::Unique ? Kind::Mixed : kind;
                // (Unrelated texts of unique lines would overfill the class
                // table, so they are drawn from a smaller stock.)
                CheckRoundTrips(kind == Kind::Unique ? maker.Text(size, otherKind)
                                                     : maker.Mutate(source, 3, otherKind),
                                maker.Text(std::max(0, otherSize), otherKind), dir);
                pairs += 3;
            }
        }
    }
    EXPECT_EQ(pairs, 288);
}

TEST(DiffPeerRoundTrip, TailsAndShiftedWindows) {
    vektest::TempDir dir;
    TextMaker maker(7);
    for (int round = 0; round < 6; ++round) {
        const Lines source = maker.Text(2400 + maker.Below(5300), Kind::Mixed);
        Lines target = maker.Mutate(source, 10, Kind::Mixed);
        // Shift the alignment of all later windows, or cut or extend the end.
        const int shift = 1 + maker.Below(30);
        if (round % 3 == 0) {
            target.insert(target.begin(), static_cast<std::size_t>(shift), "shifted in");
        } else if (round % 3 == 1) {
            target.resize(target.size() / 2);
        } else {
            const Lines more = maker.Text(3000 + maker.Below(3000), Kind::Mixed);
            target.insert(target.end(), more.begin(), more.end());
        }
        CheckRoundTrips(source, target, dir);
        CheckRoundTrips(target, source, dir);
    }
}

TEST(DiffPeerMinimal, SameEditCountAsDiffMinimalOnSingleWindows) {
    vektest::TempDir dir;
    TextMaker maker(424242);
    const std::string a = dir.Path("a");
    const std::string b = dir.Path("b");
    int compared = 0;
    for (int round = 0; round < 300; ++round) {
        const int size = round % 10 == 0 ? 2000 + maker.Below(501) : maker.Below(400);
        const Kind kind = round % 3 == 0   ? Kind::Tiny
                          : round % 3 == 1 ? Kind::Mixed
                                           : Kind::Frequent;
        Lines source = maker.Text(size, kind);
        Lines target = round % 4 == 0 ? maker.Text(maker.Below(400), kind)
                                      : maker.Mutate(source, 1 + maker.Below(30), kind);
        if (target.size() > kWindow) {
            target.resize(kWindow);
        }
        maker.Cap(source, 5);
        maker.Cap(target, 5);
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(WindowsFitTheClassTable(source, target));
        FillBuffer(kSource, source);
        FillBuffer(kTarget, target);
        ASSERT_EQ(Diff(kSource, kTarget, kScript), RC_OK);
        const int ours = ScriptEdits(BufferLines(kScript));
        vektest::WriteFileBytes(a, Joined(source));
        vektest::WriteFileBytes(b, Joined(target));
        const int theirs = PeerEdits(Capture("diff --minimal " + a + " " + b));
        EXPECT_EQ(ours, theirs) << source.size() << " -> " << target.size() << " lines";
        ++compared;
    }
    EXPECT_EQ(compared, 300);
}

// ---------------------------------------------------------------------------
// The whole-file difference.

Lines WholeFileScript(const Lines& source, const Lines& target) {
    const std::vector<std::string_view> a(source.begin(), source.end());
    const std::vector<std::string_view> b(target.begin(), target.end());
    const vek::EditScript script = vek::DiffSequences(a.data(), a.size(), b.data(), b.size());
    return Lines(script.Lines().begin(), script.Lines().end());
}

// The script rebuilds the target through EdBuf and through GNU ed; on small
// inputs it is as short as diff --minimal's. Returns the script.
Lines CheckWholeFile(const Lines& source, const Lines& target, bool minimal,
                     const vektest::TempDir& dir) {
    const Lines script = WholeFileScript(source, target);
    FillBuffer(kSource, source);
    FillBuffer(kTarget, target);
    EXPECT_EQ(DiffWhole(kSource, kTarget, kScript), RC_OK);
    EXPECT_EQ(BufferLines(kScript), script) << "DiffWhole differs from vek diff";
    FillBuffer(kSource, source);
    FillBuffer(kScript, script);
    EXPECT_EQ(EdBuf(kScript, kSource), RC_OK);
    EXPECT_EQ(BufferLines(kSource), target) << "EdBuf round trip";

    const std::string a = dir.Path("a");
    const std::string b = dir.Path("b");
    const std::string commands = dir.Path("script");
    vektest::WriteFileBytes(a, Joined(source));
    vektest::WriteFileBytes(b, Joined(target));
    if (minimal) {
        EXPECT_EQ(ScriptEdits(script), PeerEdits(Capture("diff --minimal " + a + " " + b)))
            << source.size() << " -> " << target.size() << " lines";
    }
    vektest::WriteFileBytes(commands, Joined(script) + "w\nq\n");
    EXPECT_EQ(Capture("ed -s " + a + " < " + commands + " 2>&1"), "") << "ed complained";
    EXPECT_TRUE(vektest::ReadFileBytes(a) == Joined(target)) << "ed round trip";
    return script;
}

TEST(WholeFilePeer, RandomPairsShiftsAndMovesAsShortAsDiffMinimal) {
    vektest::TempDir dir;
    TextMaker maker(31337);
    const Kind kinds[] = {Kind::Tiny, Kind::Frequent, Kind::Mixed, Kind::Unique};
    for (int round = 0; round < 240; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const Kind kind = kinds[round % 4];
        const int size = round % 20 == 0 ? 2000 + maker.Below(1000) : maker.Below(300);
        Lines source = maker.Text(size, kind);
        Lines target;
        switch (round % 6) {
            case 0:  // unrelated
                target = maker.Text(maker.Below(300), kind);
                break;
            case 1:  // lines in front shift everything after them
                target = maker.Text(1 + maker.Below(40), kind);
                target.insert(target.end(), source.begin(), source.end());
                break;
            case 2:  // lines gone from the front
                target.assign(source.begin() + std::min<int>(size, 1 + maker.Below(40)),
                              source.end());
                break;
            default:  // replacements, insertions, deletions and moved blocks
                target = maker.Mutate(source, 1 + maker.Below(30), kind);
        }
        // Every script rebuilds the target; where no line is frequent enough
        // to be set aside, it is as short as can be.
        const bool minimal = round % 2 == 0;
        if (minimal) {
            maker.Cap(source, 5);
            maker.Cap(target, 5);
        }
        CheckWholeFile(source, target, minimal, dir);
    }
}

TEST(WholeFilePeer, LargeShiftedPairsRebuildWithFewEdits) {
    vektest::TempDir dir;
    TextMaker maker(97);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const Lines source = maker.Text(30000 + maker.Below(20000), Kind::Mixed);
        Lines target = maker.Mutate(source, 40, Kind::Mixed);
        target.insert(target.begin(), static_cast<std::size_t>(1 + round * 700), "shifted in");
        const Lines script = CheckWholeFile(source, target, false, dir);
        // 40 edits of at most 40 lines each, and the lines shifted in.
        EXPECT_LE(ScriptEdits(script), 2 * 40 * 40 + 1 + round * 700);
    }
}

// The benchmark's shifted cases of a 100,000-line text: DiffWhole's script
// has as many bytes as the one vek diff writes (its lines, each with a line
// feed), and is as short as the case allows.
TEST(WholeFilePeer, DiffWholeWritesVekDiffsBytesOnShiftedCases) {
    TextMaker maker(4242);
    const Lines base = maker.Text(100000, Kind::Mixed);
    auto cut = [&base](int from, int to) { return Lines(base.begin() + from, base.begin() + to); };
    auto joined = [](Lines a, const Lines& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    Lines every97th;
    for (std::size_t i = 0; i < base.size(); ++i) {
        if (i % 97 != 96) {
            every97th.push_back(base[i]);
        }
    }
    const struct {
        const char* name;
        Lines target;
        int mostEdits;
    } cases[] = {
        {"one line inserted at the top", joined({"a line at the top"}, base), 1},
        {"one line deleted at the top", cut(1, 100000), 1},
        {"2,000 lines inserted at the top", joined(cut(50000, 52000), base), 2000},
        {"a 3,000-line block moved 30,000 lines down",
         joined(joined(cut(0, 30000), cut(33000, 63000)),
                joined(cut(30000, 33000), cut(63000, 100000))),
         6000},
        {"every 97th line deleted", every97th, 1030},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Lines vekDiff = WholeFileScript(base, c.target);
        FillBuffer(kSource, base);
        FillBuffer(kTarget, c.target);
        ASSERT_EQ(DiffWhole(kSource, kTarget, kScript), RC_OK);
        EXPECT_EQ(static_cast<std::size_t>(vektest::BufferStats(kScript).total),
                  Joined(vekDiff).size());
        EXPECT_LE(ScriptEdits(BufferLines(kScript)), c.mostEdits);
        ASSERT_EQ(EdBuf(kScript, kSource), RC_OK);
        EXPECT_TRUE(BufferLines(kSource) == c.target);
    }
}

}  // namespace
