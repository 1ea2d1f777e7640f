// Applying a diff -e script with EdBuf, side by side with GNU ed applying the
// same script to the same file as a whole process:
//     (cat script; echo w out; echo q) | ed -s old
// The inputs are made here, in a temporary folder: OLD is 524,288 lines of
// real text from /usr/include (lines that begin with "." left out, since
// diff -e escapes those with a command the library does not read), NEW has
// about 1% of its lines deleted, inserted or changed in short runs, and the
// script is what diff -e writes for the pair. EdBuf is also run on smaller
// prefixes of the same text to show how its time grows with the buffer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "vekwin32.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

constexpr int kFullLines = MAX_LINES;

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Lines Split(const std::string& bytes) {
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

std::string Join(const Lines& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes.push_back('\n');
    }
    return bytes;
}

// Real text lines from the header files on this machine, in a fixed order.
Lines RealText(std::size_t wanted) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it("/usr/include",
                                             fs::directory_options::skip_permission_denied, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    Lines lines;
    for (const fs::path& file : files) {
        const std::string bytes = ReadBytes(file);
        if (bytes.find('\0') != std::string::npos) {
            continue;
        }
        for (std::string& line : Split(bytes)) {
            if (!line.empty() && line[0] == '.') {
                continue;
            }
            lines.push_back(std::move(line));
            if (lines.size() == wanted) {
                return lines;
            }
        }
    }
    return lines;
}

// About 1% of the lines touched: runs of 1 to 4 lines deleted, inserted or
// changed, with inserted text taken from `pool`.
Lines ChangeOnePercent(const Lines& old, const Lines& pool, unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&rng](std::size_t low, std::size_t high) {
        return std::uniform_int_distribution<std::size_t>(low, high)(rng);
    };
    Lines result;
    result.reserve(old.size() + old.size() / 50);
    std::size_t i = 0;
    while (i < old.size()) {
        // A run starts at one line in 250 and averages 2.5 lines: ~1%.
        if (pick(0, 249) != 0) {
            result.push_back(old[i++]);
            continue;
        }
        const std::size_t run = pick(1, 4);
        const std::size_t kind = pick(0, 2);
        if (kind != 1) {  // delete or change
            i += std::min(run, old.size() - i);
        }
        if (kind != 0) {  // insert or change
            for (std::size_t k = 0; k < run; ++k) {
                result.push_back(pool[pick(0, pool.size() - 1)]);
            }
        }
    }
    return result;
}

struct Case {
    fs::path oldPath;
    fs::path scriptPath;
    Lines newLines;
    Lines oldLines;
    Lines scriptLines;
    std::size_t oldCount = 0;
    std::size_t scriptCount = 0;
    std::size_t hunks = 0;
};

fs::path g_dir;
std::map<int, Case> g_cases;

bool MakeCase(int lineCount, const Lines& text, const Lines& pool) {
    Case c;
    const Lines old(text.begin(), text.begin() + lineCount);
    c.newLines = ChangeOnePercent(old, pool, static_cast<unsigned>(lineCount));
    const std::string tag = std::to_string(lineCount);
    c.oldPath = g_dir / ("old" + tag);
    const fs::path newPath = g_dir / ("new" + tag);
    c.scriptPath = g_dir / ("script" + tag);
    WriteBytes(c.oldPath, Join(old));
    WriteBytes(newPath, Join(c.newLines));
    const std::string command = "diff -e '" + c.oldPath.string() + "' '" + newPath.string() +
                                "' > '" + c.scriptPath.string() + "'";
    if (std::system(command.c_str()) == -1) {
        return false;
    }
    const Lines script = Split(ReadBytes(c.scriptPath));
    for (const std::string& line : script) {
        const char letter = line.empty() ? 0 : line.back();
        if (!line.empty() && line[0] >= '0' && line[0] <= '9' &&
            (letter == 'a' || letter == 'c' || letter == 'd')) {
            ++c.hunks;
        }
    }
    c.oldCount = old.size();
    c.scriptCount = script.size();
    c.oldLines = old;
    c.scriptLines = script;
    g_cases[lineCount] = std::move(c);
    return true;
}

// Line by line through AddLine: a packed run for AddLines cannot carry the
// empty lines that real text has.
void Load(int buf, const Lines& lines) {
    InitBuf(buf);
    for (const std::string& line : lines) {
        AddLine(buf, line.c_str());
    }
}

// True when buffer `buf` holds exactly `lines`.
bool Holds(int buf, const Lines& lines) {
    int count = 0;
    int longest = 0;
    int total = 0;
    GetBufStats(buf, &count, &longest, &total);
    if (count != static_cast<int>(lines.size())) {
        return false;
    }
    std::string room(static_cast<std::size_t>(longest) + 1, '\0');
    for (int i = 0; i < count; ++i) {
        int length = 0;
        if (GetLine(buf, i + 1, longest, room.data(), &length) != RC_OK ||
            lines[static_cast<std::size_t>(i)].compare(0, std::string::npos, room.data(),
                                                       static_cast<std::size_t>(length)) != 0) {
            return false;
        }
    }
    return true;
}

// EdBuf alone: script and target are loaded outside the timed region.
void BM_EdBuf(benchmark::State& state) {
    const Case& c = g_cases.at(static_cast<int>(state.range(0)));
    int rc = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Load(1, c.oldLines);
        Load(2, c.scriptLines);
        state.ResumeTiming();
        rc = EdBuf(2, 1);
    }
    if (rc != RC_OK || !Holds(1, c.newLines)) {
        state.SkipWithError("EdBuf did not rebuild the new version");
    }
    state.counters["lines"] = static_cast<double>(c.oldCount);
    state.counters["hunks"] = static_cast<double>(c.hunks);
    state.counters["ns_per_line"] = benchmark::Counter(
        static_cast<double>(c.oldCount + c.scriptCount),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EdBuf)
    ->Arg(kFullLines / 8)
    ->Arg(kFullLines / 4)
    ->Arg(kFullLines / 2)
    ->Arg(kFullLines)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Loading OLD and the script through AddLine, then EdBuf: the library's
// side of the job from lines in memory to the new version.
void BM_LoadAndEdBuf(benchmark::State& state) {
    const Case& c = g_cases.at(kFullLines);
    for (auto _ : state) {
        Load(1, c.oldLines);
        Load(2, c.scriptLines);
        benchmark::DoNotOptimize(EdBuf(2, 1));
    }
}
BENCHMARK(BM_LoadAndEdBuf)->Unit(benchmark::kMillisecond)->UseRealTime();

// GNU ed as a whole process: read the file, run the script, write it out.
void BM_GnuEd(benchmark::State& state) {
    const Case& c = g_cases.at(kFullLines);
    const fs::path out = g_dir / "ed-out";
    const std::string command = "cd '" + g_dir.string() + "' && (cat '" + c.scriptPath.string() +
                                "'; echo w ed-out; echo q) | ed -s '" + c.oldPath.string() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ed failed");
            break;
        }
    }
    if (Split(ReadBytes(out)) != c.newLines) {
        state.SkipWithError("ed did not rebuild the new version");
    }
}
BENCHMARK(BM_GnuEd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps every run's mean real time so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.iterations > 0) {
                m_ms[run.benchmark_name()] =
                    run.real_accumulated_time * 1e3 / static_cast<double>(run.iterations);
            }
        }
    }
    double Ms(const std::string& name) const {
        const auto it = m_ms.find(name);
        return it == m_ms.end() ? -1.0 : it->second;
    }

  private:
    std::map<std::string, double> m_ms;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    char pattern[] = "/tmp/vek-edit-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    g_dir = pattern;
    const Lines text = RealText(kFullLines + 20000);
    if (text.size() < static_cast<std::size_t>(kFullLines) + 20000) {
        std::fprintf(stderr, "only %zu lines of text found under /usr/include\n", text.size());
        return 1;
    }
    const Lines pool(text.begin() + kFullLines, text.end());
    for (const int count : {kFullLines / 8, kFullLines / 4, kFullLines / 2, kFullLines}) {
        if (!MakeCase(count, text, pool)) {
            std::fprintf(stderr, "diff -e could not be run\n");
            return 1;
        }
    }
    const Case& full = g_cases.at(kFullLines);
    std::printf("inputs: %zu old lines, %zu new lines, script of %zu lines with %zu hunks\n",
                full.oldCount, full.newLines.size(), full.scriptCount, full.hunks);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double edbuf = reporter.Ms("BM_EdBuf/" + std::to_string(kFullLines) + "/real_time");
    const double loaded = reporter.Ms("BM_LoadAndEdBuf/real_time");
    const double ed = reporter.Ms("BM_GnuEd/iterations:3/real_time");
    if (edbuf <= 0 || loaded <= 0 || ed <= 0) {
        std::printf("some runs failed or were filtered out: no ratio\n");
    } else {
        std::printf("EdBuf %.2f ms, GNU ed %.2f ms: EdBuf:ed = 1:%.1f (%.4f)\n", edbuf, ed,
                    ed / edbuf, edbuf / ed);
        std::printf("AddLine + EdBuf %.2f ms, GNU ed %.2f ms: (AddLine + EdBuf):ed = 1:%.1f\n",
                    loaded, ed, ed / loaded);
    }
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(g_dir, ignored);
    return 0;
}
