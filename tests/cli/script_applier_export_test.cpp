// vek's script applier against the library's EdBuf, through the exports:
// the file and the script are put in buffers, EdBuf applies the one to the
// other, and the applier must agree. Scripts are random lines built from
// the grammar's parts and from near misses, with no text line that begins
// with '.' (EdBuf ends text at one). Every script the applier takes, EdBuf
// takes too and gives the same lines; every script made in diff -e's form
// (descending, inside the file) the applier takes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "scripts/script_applier.h"
#include "support/test_support.h"

namespace {

using Lines = std::vector<std::string>;

struct Rebuilt {
    const Lines& file;
    std::size_t at = 0;
    Lines lines;
    void Copy(long long count) {
        const std::size_t end = count < 0 ? file.size() : at + static_cast<std::size_t>(count);
        lines.insert(lines.end(), file.begin() + static_cast<std::ptrdiff_t>(at),
                     file.begin() + static_cast<std::ptrdiff_t>(end));
        at = end;
    }
    void Skip(long long count) { at += static_cast<std::size_t>(count); }
    void Insert(std::string_view text) { lines.emplace_back(text); }
};

// The applier's result; false when it refuses the script.
bool Apply(const Lines& file, const Lines& script, Lines& result) {
    const std::vector<std::string_view> views(script.begin(), script.end());
    vekcli::EdScript applier;
    vekcli::ScriptRefusal refusal;
    if (!applier.Read(views, refusal) || !applier.FitsFile(static_cast<long>(file.size()), refusal))
        return false;
    Rebuilt rebuilt{file, 0, {}};
    vekcli::ApplyScript(applier, rebuilt);
    result = std::move(rebuilt.lines);
    return true;
}

std::string Text(std::mt19937& rng) {
    static const char* const kTexts[] = {"x", "", "text", "3d", "1,2c", "0a", "s/.//", "a", " ."};
    return kTexts[rng() % 9] + std::to_string(rng() % 3);
}

// A script in diff -e's form for a file of `size` lines: commands from the
// end down, each inside the file.
Lines Descending(std::mt19937& rng, long size) {
    Lines script;
    long top = size;  // lines still untouched below the last command
    while (top >= 0 && rng() % 4 != 0) {
        const long first = static_cast<long>(rng() % static_cast<unsigned>(top + 1));
        const long last = first + static_cast<long>(rng() % 3);
        const int kind = static_cast<int>(rng() % 3);
        if (kind == 0 || first == 0 || last > top) {
            script.push_back(std::to_string(first) + "a");
            top = first;  // then a command at N, or another insertion after N
        } else {
            script.push_back(std::to_string(first) +
                             (last != first ? "," + std::to_string(last) : "") +
                             (kind == 1 ? "c" : "d"));
            top = first - 1;
            if (kind == 2)
                continue;
        }
        for (unsigned n = rng() % 4; n > 0; --n)
            script.push_back(Text(rng));
        script.push_back(".");
    }
    return script;
}

// Lines from the grammar and near misses, in any order.
Lines Scrambled(std::mt19937& rng, long size) {
    static const char* const kCommands[] = {"a", "c", "d", "x", ""};
    Lines script;
    for (unsigned n = rng() % 8; n > 0; --n) {
        std::string line = std::to_string(rng() % static_cast<unsigned>(size + 3));
        if (rng() % 4 == 0)
            line += "," + std::to_string(rng() % static_cast<unsigned>(size + 3));
        if (rng() % 9 == 0)
            line = " " + line;
        line += kCommands[rng() % 5];
        script.push_back(rng() % 6 == 0 ? Text(rng) : line);
        if (rng() % 3 == 0) {
            script.push_back(Text(rng));
            script.push_back(".");
        }
    }
    return script;
}

TEST(ScriptApplierExport, AgreesWithEdBuf) {
    std::mt19937 rng(18);
    int taken = 0;
    for (int round = 0; round < 4000; ++round) {
        const long size = static_cast<long>(rng() % 12);
        Lines file;
        for (long i = 0; i < size; ++i)
            file.push_back("line " + std::to_string(i + 1));
        const bool wellFormed = round % 2 == 0;
        const Lines script = wellFormed ? Descending(rng, size) : Scrambled(rng, size);
        Lines applied;
        const bool accepted = Apply(file, script, applied);
        if (wellFormed) {
            EXPECT_TRUE(accepted) << "round " << round;
        }
        if (!accepted)
            continue;
        ++taken;
        vektest::FillBuffer(1, file);
        vektest::FillBuffer(2, script);
        ASSERT_EQ(EdBuf(2, 1), RC_OK) << "round " << round;
        EXPECT_EQ(vektest::BufferLines(1), applied) << "round " << round;
    }
    EXPECT_GT(taken, 2000);
}

}  // namespace
