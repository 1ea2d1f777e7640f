// Diff on two 524,288-line buffers of real text (C headers from the machine)
// with about 1% of the lines changed, against GNU diff -e on the same pair
// of files as a whole process; the whole-file difference (the engine of
// vek diff) on the same pairs; identical buffers against one comparison
// pass over their texts; and the peak memory of a process that loads both
// buffers and diffs them against GNU diff's peak, both measured with
// /usr/bin/time.
//
//   diff_bench [--benchmark_* options]
//   diff_bench --load-and-diff SOURCE TARGET   (the process that is measured)
//   diff_bench --write-files DIR               (only writes the text pair)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "buffer/vekbuf.h"
#include "diff/diff_driver.h"
#include "diff/whole_file.h"
#include "vekwin32.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kLines = MAX_LINES;  // 524,288
constexpr int kSource = 1;
constexpr int kTarget = 2;
constexpr int kScript = 3;

std::string g_dir;
std::string g_source;     // the text
std::string g_target;     // the text with ~1% of its lines changed, in hunks
std::string g_scattered;  // the text with ~1% of its lines changed, one by one
std::string g_inPlace;    // the text with ~1% of its lines replaced in place, in hunks
std::string g_identical;  // a copy of the text

// A target text written line by line from the source text: each source
// line is kept, replaced, deleted, or kept and followed by a new line.
// Insertions happen only while the target is shorter than the source, so
// that it never outgrows the buffer limit.
class TargetWriter {
  public:
    explicit TargetWriter(const std::string& path) : m_out(path, std::ios::binary) {}
    enum Edit { kKeep, kReplace, kDelete, kInsert };
    void Write(const std::string& line, int sourceLines, Edit edit) {
        if (edit == kInsert && m_lines >= sourceLines - 1) {
            edit = kReplace;
        }
        switch (edit) {
            case kKeep:
                m_out << line << '\n';
                ++m_lines;
                break;
            case kReplace:
                m_out << "/* changed */ " << line << '\n';
                ++m_lines;
                break;
            case kDelete:
                break;
            case kInsert:
                m_out << line << '\n' << "int inserted_" << sourceLines << ";\n";
                m_lines += 2;
                break;
        }
    }
    int Lines() const { return m_lines; }

  private:
    std::ofstream m_out;
    int m_lines = 0;
};

// Writes kLines lines of C headers to the source file and two targets with
// about 1% of the lines changed (half replaced, a quarter deleted, a quarter
// with a new line after them): in g_target as hunks of 1 to 23 consecutive
// lines, as revisions of files usually are, and in g_scattered every
// changed line on its own. g_inPlace has the hunks of g_target, all of them
// replacements, so that line numbers never drift between the two texts.
void MakeFiles() {
    std::vector<fs::path> headers;
    for (const auto& entry : fs::recursive_directory_iterator(
             "/usr/include", fs::directory_options::skip_permission_denied)) {
        if (entry.is_regular_file() && entry.path().extension() == ".h") {
            headers.push_back(entry.path());
        }
    }
    std::sort(headers.begin(), headers.end());
    std::ofstream source(g_source, std::ios::binary);
    std::ofstream identical(g_identical, std::ios::binary);
    TargetWriter hunks(g_target);
    TargetWriter scattered(g_scattered);
    TargetWriter inPlace(g_inPlace);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> perTenThousand(0, 9999);
    std::uniform_int_distribution<int> hunkLength(1, 23);
    auto edit = [](int roll) {  // roll in 0..99
        return roll < 50   ? TargetWriter::kReplace
               : roll < 75 ? TargetWriter::kDelete
                           : TargetWriter::kInsert;
    };
    int written = 0;
    int hunkLeft = 0;
    TargetWriter::Edit hunkEdit = TargetWriter::kKeep;
    std::string line;
    for (const fs::path& header : headers) {
        std::ifstream in(header, std::ios::binary);
        while (written < kLines && std::getline(in, line)) {
            if (line.find('\0') != std::string::npos) {
                continue;
            }
            source << line << '\n';
            identical << line << '\n';
            ++written;
            const int roll = perTenThousand(random);
            scattered.Write(line, written, roll < 100 ? edit(roll) : TargetWriter::kKeep);
            // A hunk of 12 lines on average starts at one line in 1200.
            if (hunkLeft == 0 && perTenThousand(random) < 8) {
                hunkLeft = hunkLength(random);
                hunkEdit = edit(perTenThousand(random) % 100);
            }
            if (hunkLeft > 0) {
                --hunkLeft;
                hunks.Write(line, written, hunkEdit);
                inPlace.Write(line, written, TargetWriter::kReplace);
            } else {
                hunks.Write(line, written, TargetWriter::kKeep);
                inPlace.Write(line, written, TargetWriter::kKeep);
            }
        }
        if (written == kLines) {
            break;
        }
    }
    if (written != kLines || hunks.Lines() > MAX_LINES || scattered.Lines() > MAX_LINES) {
        std::fprintf(stderr, "could not build the text pairs (%d lines)\n", written);
        std::exit(1);
    }
}

void LoadFile(int buf, const std::string& path) {
    InitBuf(buf);
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (AddLine(buf, line.c_str()) != RC_OK) {
            std::fprintf(stderr, "AddLine failed\n");
            std::exit(1);
        }
    }
}

void LoadFile(vek::VekBuf& buffer, const std::string& path) {
    buffer.Reset();
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        buffer.AddLine(line);
    }
}

// The measured process: both buffers loaded through the exports, then one
// Diff. Prints the result code and the script's line count.
int LoadAndDiff(const char* source, const char* target) {
    LoadFile(kSource, source);
    LoadFile(kTarget, target);
    const int rc = Diff(kSource, kTarget, kScript);
    int count = 0;
    int longest = 0;
    int total = 0;
    GetBufStats(kScript, &count, &longest, &total);
    std::printf("rc %d, %d script lines\n", rc, count);
    return rc;
}

// Runs argv with standard output to `out` and returns the wall time in
// seconds and the exit status.
double RunProcess(const std::vector<std::string>& args, const std::string& out, int* status) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot run %s\n", argv[0]);
        std::exit(1);
    }
    waitpid(pid, status, 0);
    const auto stop = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    return std::chrono::duration<double>(stop - start).count();
}

// Peak resident set in KiB of a command, from /usr/bin/time.
long PeakKiB(std::vector<std::string> args) {
    const std::string report = g_dir + "/time.txt";
    args.insert(args.begin(), {"/usr/bin/time", "-f", "%M", "-o", report});
    int status = 0;
    RunProcess(args, "/dev/null", &status);
    // The figure is the last line (a non-zero exit status is reported
    // before it).
    std::ifstream in(report);
    std::string line;
    long kib = -1;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
            kib = std::atol(line.c_str());
        }
    }
    return kib;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Records the real time per iteration of every benchmark run.
class Recorder : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                const std::string name = run.benchmark_name();
                seconds[name.substr(0, name.find("/real_time"))] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

vek::VekBuf* g_same1 = nullptr;
vek::VekBuf* g_same2 = nullptr;
std::string g_loadedTarget;

// Diff of the source buffer against the target file `path`, loaded into the
// target buffer before the timed loop.
void DiffAgainst(benchmark::State& state, const std::string* path) {
    if (g_loadedTarget != *path) {
        LoadFile(kTarget, *path);
        g_loadedTarget = *path;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(Diff(kSource, kTarget, kScript));
    }
}

// A file's lines as views into its text.
struct HeldFile {
    std::string text;
    std::vector<std::string_view> lines;
    explicit HeldFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            lines.emplace_back(text.data() + start, end - start);
            start = end + 1;
        }
    }
};

// The whole-file difference of the source text and the file `path`.
void WholeFileAgainst(benchmark::State& state, const std::string* path) {
    static const HeldFile source(g_source);
    const HeldFile target(*path);
    std::size_t scriptLines = 0;
    for (auto _ : state) {
        const vek::EditScript script = vek::DiffSequences(source.lines.data(), source.lines.size(),
                                                          target.lines.data(), target.lines.size());
        scriptLines = script.Lines().size();
    }
    state.counters["script lines"] = static_cast<double>(scriptLines);
}

void BM_DiffIdentical(benchmark::State& state) {
    vek::VekBuf output;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vek::DiffBuffers(*g_same1, *g_same2, output));
    }
}

void BM_ComparisonPass(benchmark::State& state) {
    for (auto _ : state) {
        int equal = 0;
        for (int i = 0; i < g_same1->LineCount(); ++i) {
            equal += g_same1->Line(i) == g_same2->Line(i);
        }
        benchmark::DoNotOptimize(equal);
    }
}

struct PeerRun {
    double seconds = 0;  // median wall time of diff -e
    long peakKiB = 0;
    long oursKiB = 0;
    int edLines = 0;
    int scriptLines = 0;
};

int CountLines(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
    }
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--load-and-diff") == 0) {
        return LoadAndDiff(argv[2], argv[3]) == RC_OK ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "--write-files") == 0) {
        const std::string dir = argv[2];
        g_source = dir + "/source.h";
        g_target = dir + "/target.h";
        g_scattered = dir + "/scattered.h";
        g_inPlace = dir + "/in_place.h";
        g_identical = dir + "/identical.h";
        MakeFiles();
        return 0;
    }
    char pattern[] = "/tmp/vek-diff-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    g_dir = pattern;
    g_source = g_dir + "/source.h";
    g_target = g_dir + "/target.h";
    g_scattered = g_dir + "/scattered.h";
    g_inPlace = g_dir + "/in_place.h";
    g_identical = g_dir + "/identical.h";
    MakeFiles();
    const std::string self = fs::canonical("/proc/self/exe").string();
    constexpr int kPairs = 4;
    const std::string* targets[kPairs] = {&g_target, &g_scattered, &g_inPlace, &g_identical};
    PeerRun peer[kPairs];

    // Peak memory first, while this process is still small; then diff -e
    // as a whole process, five times each.
    for (int t = 0; t < kPairs; ++t) {
        peer[t].oursKiB = PeakKiB({self, "--load-and-diff", g_source, *targets[t]});
        peer[t].peakKiB = PeakKiB({"diff", "-e", g_source, *targets[t]});
        std::vector<double> times;
        int status = 0;
        for (int run = 0; run < 5; ++run) {
            times.push_back(
                RunProcess({"diff", "-e", g_source, *targets[t]}, "/dev/null", &status));
        }
        peer[t].seconds = Median(times);
        const std::string ed = g_dir + "/ed.txt";
        RunProcess({"diff", "-e", g_source, *targets[t]}, ed, &status);
        peer[t].edLines = CountLines(ed);
    }

    LoadFile(kSource, g_source);
    for (int t = 0; t < kPairs; ++t) {
        LoadFile(kTarget, *targets[t]);
        if (Diff(kSource, kTarget, kScript) != RC_OK) {
            std::fprintf(stderr, "Diff failed\n");
            return 1;
        }
        int longest = 0;
        int total = 0;
        GetBufStats(kScript, &peer[t].scriptLines, &longest, &total);
    }
    vek::VekBuf same1;
    vek::VekBuf same2;
    LoadFile(same1, g_source);
    LoadFile(same2, g_identical);
    g_same1 = &same1;
    g_same2 = &same2;

    benchmark::RegisterBenchmark("Diff/1% changed in hunks", DiffAgainst, &g_target)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Diff/1% changed scattered", DiffAgainst, &g_scattered)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Diff/1% replaced in place", DiffAgainst, &g_inPlace)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Whole file/1% changed in hunks", WholeFileAgainst, &g_target)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Whole file/1% changed scattered", WholeFileAgainst, &g_scattered)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Diff/identical", BM_DiffIdentical)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Comparison pass/identical", BM_ComparisonPass)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();

    const char* names[kPairs] = {"Diff/1% changed in hunks", "Diff/1% changed scattered",
                                 "Diff/1% replaced in place", "Diff/identical"};
    const char* labels[kPairs] = {"1% changed in hunks", "1% changed, scattered",
                                  "1% replaced in place", "identical"};
    std::printf("\nSource: %d lines of C headers, %.1f MB\n", kLines,
                static_cast<double>(fs::file_size(g_source)) / 1e6);
    std::printf("%-22s %12s %14s %7s %12s %12s %7s %9s %9s\n", "target", "Diff call", "diff -e run",
                "ratio", "peak load+Diff", "diff -e peak", "ratio", "script", "diff -e");
    for (int t = 0; t < kPairs; ++t) {
        const double ours = recorder.seconds[names[t]];
        std::printf("%-22s %9.2f ms %11.2f ms %7.3f %10ld KiB %8ld KiB %7.2f %9d %9d\n", labels[t],
                    ours * 1e3, peer[t].seconds * 1e3, ours / peer[t].seconds, peer[t].oursKiB,
                    peer[t].peakKiB,
                    static_cast<double>(peer[t].oursKiB) / static_cast<double>(peer[t].peakKiB),
                    peer[t].scriptLines, peer[t].edLines);
    }
    std::printf(
        "whole-file difference (vek diff's engine): %.2f ms (hunks), %.2f ms (scattered), "
        "%.3f and %.3f of a diff -e run\n",
        recorder.seconds["Whole file/1% changed in hunks"] * 1e3,
        recorder.seconds["Whole file/1% changed scattered"] * 1e3,
        recorder.seconds["Whole file/1% changed in hunks"] / peer[0].seconds,
        recorder.seconds["Whole file/1% changed scattered"] / peer[1].seconds);
    const double pass = recorder.seconds["Comparison pass/identical"];
    std::printf(
        "identical buffers: Diff %.2f ms, one comparison pass over the texts %.2f ms, "
        "ratio %.2f\n",
        recorder.seconds["Diff/identical"] * 1e3, pass * 1e3,
        recorder.seconds["Diff/identical"] / pass);
    std::printf("goals: Diff call / diff -e run <= 0.200; peak load+Diff / diff -e peak <= 1\n");
    std::error_code ignored;
    fs::remove_all(g_dir, ignored);
    return 0;
}
