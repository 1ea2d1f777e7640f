// Diff on two 524,288-line buffers of real text (C headers from the machine)
// with about 1% of the lines changed, against GNU diff -e on the same pair
// of files as a whole process; identical buffers against one comparison
// pass over their texts; and the peak memory of a process that loads both
// buffers and diffs them against GNU diff's peak, both measured with
// /usr/bin/time.
//
//   diff_bench [--benchmark_* options]
//   diff_bench --load-and-diff SOURCE TARGET   (the process that is measured)
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
#include <map>
#include <random>
#include <string>
#include <vector>

#include "buffer/vekbuf.h"
#include "diff/diff_driver.h"
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
std::string g_target;     // the text with ~1% of its lines changed
std::string g_identical;  // a copy of the text

// Writes kLines lines of C headers to `source`, and to `target` the same
// lines with about 1% replaced, deleted or followed by an inserted line.
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
    std::ofstream target(g_target, std::ios::binary);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> percent(0, 9999);
    int written = 0;
    int targetLines = 0;
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
            const int roll = percent(random);
            // Insertions only while the target is shorter, so that it never
            // outgrows the source.
            if (roll < 50 || (roll >= 75 && roll < 100 && targetLines >= written - 1)) {
                target << "/* changed */ " << line << '\n';
                ++targetLines;
            } else if (roll < 75) {   // 0.25% deleted
            } else if (roll < 100) {  // followed by a new line
                target << line << '\n' << "int inserted_" << written << ";\n";
                targetLines += 2;
            } else {
                target << line << '\n';
                ++targetLines;
            }
        }
        if (written == kLines) {
            break;
        }
    }
    if (written != kLines || targetLines > MAX_LINES + 1) {
        std::fprintf(stderr, "could not build the text pair (%d lines)\n", written);
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

void BM_DiffOnePercentChanged(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(Diff(kSource, kTarget, kScript));
    }
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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--load-and-diff") == 0) {
        return LoadAndDiff(argv[2], argv[3]) == RC_OK ? 0 : 1;
    }
    char pattern[] = "/tmp/vek-diff-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    g_dir = pattern;
    g_source = g_dir + "/source.h";
    g_target = g_dir + "/target.h";
    g_identical = g_dir + "/identical.h";
    MakeFiles();
    const std::string self = fs::canonical("/proc/self/exe").string();

    // Peak memory first, while this process is still small.
    const long oursKiB = PeakKiB({self, "--load-and-diff", g_source, g_target});
    const long diffKiB = PeakKiB({"diff", "-e", g_source, g_target});
    const long oursSameKiB = PeakKiB({self, "--load-and-diff", g_source, g_identical});
    const long diffSameKiB = PeakKiB({"diff", "-e", g_source, g_identical});

    // GNU diff -e as a whole process.
    std::vector<double> diffTimes;
    std::vector<double> diffSameTimes;
    int status = 0;
    for (int run = 0; run < 5; ++run) {
        diffTimes.push_back(RunProcess({"diff", "-e", g_source, g_target}, "/dev/null", &status));
        diffSameTimes.push_back(
            RunProcess({"diff", "-e", g_source, g_identical}, "/dev/null", &status));
    }
    const double diffSeconds = Median(diffTimes);
    const double diffSameSeconds = Median(diffSameTimes);

    LoadFile(kSource, g_source);
    LoadFile(kTarget, g_target);
    vek::VekBuf same1;
    vek::VekBuf same2;
    LoadFile(same1, g_source);
    LoadFile(same2, g_identical);
    g_same1 = &same1;
    g_same2 = &same2;
    int scriptLines = 0;
    int longest = 0;
    int total = 0;
    const int rc = Diff(kSource, kTarget, kScript);
    GetBufStats(kScript, &scriptLines, &longest, &total);
    const std::string ed = g_dir + "/ed.txt";
    RunProcess({"diff", "-e", g_source, g_target}, ed, &status);
    int edLines = 0;
    {
        std::ifstream in(ed);
        std::string line;
        while (std::getline(in, line)) {
            ++edLines;
        }
    }

    benchmark::RegisterBenchmark("Diff/524288 lines, 1% changed", BM_DiffOnePercentChanged)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Diff/524288 identical lines", BM_DiffIdentical)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Comparison pass/524288 identical lines", BM_ComparisonPass)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();

    const double ours = recorder.seconds["Diff/524288 lines, 1% changed"];
    const double oursSame = recorder.seconds["Diff/524288 identical lines"];
    const double pass = recorder.seconds["Comparison pass/524288 identical lines"];
    std::printf("\nText: %d lines of C headers (%.1f MB); target %.1f MB\n", kLines,
                static_cast<double>(fs::file_size(g_source)) / 1e6,
                static_cast<double>(fs::file_size(g_target)) / 1e6);
    std::printf("Diff rc %d, %d script lines (diff -e: %d lines)\n", rc, scriptLines, edLines);
    std::printf(
        "1%% changed:  Diff call %8.2f ms   diff -e process %8.2f ms   ratio %.3f (goal <= "
        "0.200)\n",
        ours * 1e3, diffSeconds * 1e3, ours / diffSeconds);
    std::printf(
        "identical:   Diff call %8.2f ms   comparison pass %8.2f ms   ratio %.2f;"
        "  diff -e process %.2f ms\n",
        oursSame * 1e3, pass * 1e3, oursSame / pass, diffSameSeconds * 1e3);
    std::printf(
        "peak memory, 1%% changed: load+Diff process %ld KiB   diff -e %ld KiB   ratio %.2f (goal "
        "<= 1)\n",
        oursKiB, diffKiB, static_cast<double>(oursKiB) / static_cast<double>(diffKiB));
    std::printf(
        "peak memory, identical:  load+Diff process %ld KiB   diff -e %ld KiB   ratio %.2f\n",
        oursSameKiB, diffSameKiB,
        static_cast<double>(oursSameKiB) / static_cast<double>(diffSameKiB));
    std::error_code ignored;
    fs::remove_all(g_dir, ignored);
    return 0;
}
