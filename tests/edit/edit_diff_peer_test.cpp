// GNU diff as the peer: for pairs of real text files, the script that
// `diff -e OLD NEW` writes, applied with EdBuf to a buffer holding OLD, must
// give NEW line for line. Lines that begin with a full stop are left out of
// both files: diff escapes them with a command this script format lacks.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "edit/edit_test_helpers.h"

namespace fs = std::filesystem;

namespace {

using vektest::BufferLines;
using vektest::ExpectFiguresMatchLines;
using vektest::FillBuffer;
using vektest::Lines;

constexpr int kTarget = 1;
constexpr int kScript = 2;

Lines SplitLines(const std::string& bytes) {
    Lines lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string JoinLines(const Lines& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes.push_back('\n');
    }
    return bytes;
}

// Lines of a real text file, without those that begin with a full stop.
Lines UsableLines(const std::string& bytes) {
    Lines lines = SplitLines(bytes);
    lines.erase(
        std::remove_if(lines.begin(), lines.end(),
                       [](const std::string& line) { return !line.empty() && line[0] == '.'; }),
        lines.end());
    return lines;
}

bool LooksLikeText(const std::string& bytes) {
    return bytes.find('\0') == std::string::npos;
}

// A deterministic sample of real text files of moderate size.
std::vector<std::string> SampleTextFiles(std::size_t wanted) {
    std::vector<std::string> candidates;
    for (const char* root : {"/usr/include", "/usr/share/common-licenses", "/usr/share/perl5"}) {
        std::error_code error;
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied,
                                            error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            std::error_code sizeError;
            if (!it->is_regular_file(sizeError)) {
                continue;
            }
            const auto size = it->file_size(sizeError);
            if (!sizeError && size >= 2000 && size <= 120000) {
                candidates.push_back(it->path().string());
            }
        }
    }
    std::sort(candidates.begin(), candidates.end());
    std::vector<std::string> picked;
    const std::size_t step = std::max<std::size_t>(1, candidates.size() / (wanted * 2));
    for (std::size_t i = 0; i < candidates.size() && picked.size() < wanted; i += step) {
        if (LooksLikeText(vektest::ReadFileBytes(candidates[i]))) {
            picked.push_back(candidates[i]);
        }
    }
    return picked;
}

// A second version of `old`: runs of lines deleted, inserted (taken from
// `pool`) and changed, at random places, plus edits at both ends.
Lines MakeNewVersion(const Lines& old, const Lines& pool, unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&rng](std::size_t low, std::size_t high) {
        return std::uniform_int_distribution<std::size_t>(low, high)(rng);
    };
    auto poolRun = [&](std::size_t count) {
        Lines run;
        for (std::size_t i = 0; i < count; ++i) {
            run.push_back(pool.empty() ? "inserted " + std::to_string(pick(0, 99999))
                                       : pool[pick(0, pool.size() - 1)]);
        }
        return run;
    };
    Lines result;
    std::size_t i = 0;
    if (pick(0, 1) != 0) {
        Lines head = poolRun(pick(1, 3));
        result.insert(result.end(), head.begin(), head.end());
    }
    while (i < old.size()) {
        const std::size_t roll = pick(0, 99);
        const std::size_t run = pick(1, 6);
        if (roll < 3) {  // delete
            i += std::min(run, old.size() - i);
        } else if (roll < 6) {  // insert
            Lines added = poolRun(run);
            result.insert(result.end(), added.begin(), added.end());
        } else if (roll < 9) {  // change
            i += std::min(run, old.size() - i);
            Lines added = poolRun(pick(1, 6));
            result.insert(result.end(), added.begin(), added.end());
        } else {
            result.push_back(old[i++]);
        }
    }
    if (pick(0, 1) != 0) {
        Lines tail = poolRun(pick(1, 3));
        result.insert(result.end(), tail.begin(), tail.end());
    }
    return result;
}

// Writes both versions, asks diff for the ed script, applies it with EdBuf
// and compares the result with NEW.
void ExpectScriptRebuildsNew(const Lines& oldLines, const Lines& newLines,
                             const std::string& label) {
    SCOPED_TRACE(label);
    vektest::TempDir dir;
    const std::string oldPath = dir.Path("old");
    const std::string newPath = dir.Path("new");
    const std::string scriptPath = dir.Path("script");
    vektest::WriteFileBytes(oldPath, JoinLines(oldLines));
    vektest::WriteFileBytes(newPath, JoinLines(newLines));
    const std::string command =
        "diff -e '" + oldPath + "' '" + newPath + "' > '" + scriptPath + "'";
    const int status = std::system(command.c_str());
    ASSERT_NE(status, -1);
    ASSERT_TRUE(vektest::FileExists(scriptPath));
    const Lines script = SplitLines(vektest::ReadFileBytes(scriptPath));
    ASSERT_EQ(script.empty(), oldLines == newLines) << "diff wrote no script";

    FillBuffer(kScript, script);
    FillBuffer(kTarget, oldLines);
    ASSERT_EQ(EdBuf(kScript, kTarget), RC_OK);
    const Lines rebuilt = BufferLines(kTarget);
    ASSERT_EQ(rebuilt.size(), newLines.size());
    EXPECT_TRUE(rebuilt == newLines);
    ExpectFiguresMatchLines(kTarget, newLines);
    // A complete script leaves the target in command mode.
    EXPECT_TRUE(vektest::InCommandMode(kTarget));
}

TEST(EdBufDiffPeer, DiffScriptsOfRealFilesRebuildTheNewVersion) {
    ASSERT_EQ(std::system("diff --version > /dev/null 2>&1"), 0) << "GNU diff is needed";
    const std::vector<std::string> files = SampleTextFiles(30);
    ASSERT_GE(files.size(), 10u) << "too few text files on this machine";
    for (std::size_t n = 0; n < files.size(); ++n) {
        const Lines old = UsableLines(vektest::ReadFileBytes(files[n]));
        const Lines pool = UsableLines(vektest::ReadFileBytes(files[(n + 1) % files.size()]));
        const Lines changed = MakeNewVersion(old, pool, static_cast<unsigned>(n + 1));
        ExpectScriptRebuildsNew(old, changed, files[n]);
        // The other way round turns insertions into deletions.
        ExpectScriptRebuildsNew(changed, old, files[n] + " (reversed)");
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST(EdBufDiffPeer, DiffScriptsOfEdgeShapes) {
    const Lines some = UsableLines(vektest::ReadFileBytes(SampleTextFiles(1).at(0)));
    ASSERT_GE(some.size(), 20u);
    const Lines head(some.begin(), some.begin() + 10);
    const Lines tail(some.begin() + 10, some.end());
    Lines reversed(some.rbegin(), some.rend());
    Lines everyOther;
    for (std::size_t i = 0; i < some.size(); i += 2) {
        everyOther.push_back(some[i]);
    }
    Lines withCarriageReturns;
    for (const std::string& line : head) {
        withCarriageReturns.push_back(line + "\r");
    }
    ExpectScriptRebuildsNew({}, some, "from empty");
    ExpectScriptRebuildsNew(some, {}, "to empty");
    ExpectScriptRebuildsNew(some, some, "identical");
    ExpectScriptRebuildsNew(some, tail, "first lines gone");
    ExpectScriptRebuildsNew(tail, some, "first lines added");
    ExpectScriptRebuildsNew(some, head, "last lines gone");
    ExpectScriptRebuildsNew(some, reversed, "reversed");
    ExpectScriptRebuildsNew(some, everyOther, "every other line");
    ExpectScriptRebuildsNew(everyOther, some, "every other line back");
    ExpectScriptRebuildsNew(head, withCarriageReturns, "carriage returns");
    ExpectScriptRebuildsNew({"only"}, {"single"}, "one line changed");
    ExpectScriptRebuildsNew({"", "", "x", ""}, {"", "x", "", "", ""}, "empty lines");
}

}  // namespace
