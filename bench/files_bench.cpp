// Whole-process timings of bundle loading against the tools that do the same
// work on the command line, on the same 64 MiB inputs:
//   LoadFiles 'B'  vs  uuencode (sharutils)  - uuencoding, 45 bytes a line
//   LoadFiles 'T'  vs  sed 's/^/ /'          - a space in front of each line
// Both sides run as fresh processes: the LoadFiles side is this program
// started again with --load, loading the input (cut into three parts, since
// one buffer holds at most MAX_LINES + 1 lines) into buffers 1, 2 and 3.
// The peers write to /dev/null. Also measured in this process: WriteFiles
// throughput (1 MiB writes, each committed to storage).
// At the end the ratios are printed; the goal is at most 0.5.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "vekwin32.h"

extern char** environ;

namespace {

constexpr std::size_t kInputSize = 64u << 20;
constexpr int kParts = 3;

struct Inputs {
    std::string dir;
    std::string binary;  // the whole 64 MiB file, for the peer
    std::string text;
    std::vector<std::string> binaryParts;  // the same bytes in three files
    std::vector<std::string> textParts;    // cut at line ends
} g_inputs;

std::string g_self;

void WriteFile(const std::string& path, const char* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
}

void PrepareInputs() {
    g_inputs.dir =
        (std::filesystem::temp_directory_path() / ("vek-files-bench-" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(g_inputs.dir);
    std::mt19937_64 random(42);

    std::string bytes(kInputSize, '\0');
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        const std::uint64_t value = random();
        std::memcpy(&bytes[i], &value, 8);
    }
    g_inputs.binary = g_inputs.dir + "/input.bin";
    WriteFile(g_inputs.binary, bytes.data(), bytes.size());
    const std::size_t third = bytes.size() / kParts;
    for (int p = 0; p < kParts; ++p) {
        const std::size_t start = third * static_cast<std::size_t>(p);
        const std::size_t end = p == kParts - 1 ? bytes.size() : start + third;
        g_inputs.binaryParts.push_back(g_inputs.dir + "/bin.part" + std::to_string(p));
        WriteFile(g_inputs.binaryParts.back(), bytes.data() + start, end - start);
    }

    // Printable lines of 0 to 120 bytes, line feed ends.
    std::string text;
    text.reserve(kInputSize);
    while (text.size() < kInputSize) {
        const std::size_t length = random() % 121;
        for (std::size_t i = 0; i < length; ++i) {
            text.push_back(static_cast<char>(' ' + random() % 95));
        }
        text.push_back('\n');
    }
    g_inputs.text = g_inputs.dir + "/input.txt";
    WriteFile(g_inputs.text, text.data(), text.size());
    std::size_t start = 0;
    for (int p = 0; p < kParts; ++p) {
        std::size_t end =
            p == kParts - 1 ? text.size() : text.find('\n', start + text.size() / kParts) + 1;
        g_inputs.textParts.push_back(g_inputs.dir + "/txt.part" + std::to_string(p));
        WriteFile(g_inputs.textParts.back(), text.data() + start, end - start);
        start = end;
    }
}

// Runs a program with stdout sent to /dev/null; false when it fails.
bool RunProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void TimeProcess(benchmark::State& state, const std::vector<std::string>& args,
                 std::size_t inputBytes) {
    for (auto _ : state) {
        if (!RunProcess(args)) {
            state.SkipWithError(("failed: " + args[0] + " " + args[1]).c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * inputBytes));
}

// The LoadFiles process; with `peakFile`, it writes its peak resident size.
std::vector<std::string> LoadArgs(const char* type, const std::vector<std::string>& parts,
                                  const std::string& peakFile = "-") {
    std::vector<std::string> args = {g_self, "--load", type, peakFile};
    args.insert(args.end(), parts.begin(), parts.end());
    return args;
}

void BM_LoadFilesBinaryProcess(benchmark::State& state) {
    TimeProcess(state, LoadArgs("B", g_inputs.binaryParts), kInputSize);
}
void BM_UuencodeProcess(benchmark::State& state) {
    TimeProcess(state, {"uuencode", g_inputs.binary, "input.bin"}, kInputSize);
}
void BM_LoadFilesTextProcess(benchmark::State& state) {
    TimeProcess(state, LoadArgs("T", g_inputs.textParts), kInputSize);
}
void BM_SedProcess(benchmark::State& state) {
    TimeProcess(state, {"sed", "s/^/ /", g_inputs.text}, kInputSize);
}

// The floor under the LoadFiles side: a process that only takes as much
// fresh memory as the loading process held at its peak (above a process
// that loads nothing) and touches every page of it, which makes the kernel
// hand out and clear that many pages.
long PeakKib(const std::vector<std::string>& args) {
    if (!RunProcess(args)) {
        return 0;
    }
    std::ifstream in(args[3]);
    long kib = 0;
    in >> kib;
    return kib;
}

void TouchFloor(benchmark::State& state, const char* type, const std::vector<std::string>& parts) {
    const std::string peakFile = g_inputs.dir + "/peak";
    const long loaded = PeakKib(LoadArgs(type, parts, peakFile));
    const long empty = PeakKib(LoadArgs(type, {}, peakFile));
    const long kib = std::max(0L, loaded - empty);
    state.counters["MiB"] = static_cast<double>(kib) / 1024.0;
    TimeProcess(state, {g_self, "--touch", std::to_string(kib)}, kInputSize);
}
void BM_FloorBinary(benchmark::State& state) {
    TouchFloor(state, "B", g_inputs.binaryParts);
}
void BM_FloorText(benchmark::State& state) {
    TouchFloor(state, "T", g_inputs.textParts);
}

// WriteFiles of the three loaded parts, one file per buffer.
void WriteFilesBench(benchmark::State& state, char type, const std::vector<std::string>& parts) {
    for (int p = 0; p < kParts; ++p) {
        std::string list = parts[static_cast<std::size_t>(p)];
        char status[32];
        if (InitBuf(p + 1) != RC_OK || LoadFiles(p + 1, type, list.data(), status) != RC_OK) {
            state.SkipWithError("LoadFiles failed");
            return;
        }
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (int p = 0; p < kParts; ++p) {
            std::string out = g_inputs.dir + "/out" + std::to_string(p);
            if (WriteFiles(p + 1, type, out.data()) != RC_OK) {
                state.SkipWithError("WriteFiles failed");
                return;
            }
            bytes += std::filesystem::file_size(out);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    for (int p = 1; p <= kParts; ++p) {
        InitBuf(p);
    }
}

void BM_WriteFilesBinary(benchmark::State& state) {
    WriteFilesBench(state, 'B', g_inputs.binaryParts);
}
void BM_WriteFilesText(benchmark::State& state) {
    WriteFilesBench(state, 'T', g_inputs.textParts);
}

// Keeps every run's mean real time for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.iterations > 0 && run.run_type == Run::RT_Aggregate &&
                run.aggregate_name == "median") {
                seconds[run.run_name.function_name] =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
                bytesPerSecond[run.run_name.function_name] =
                    run.counters.count("bytes_per_second")
                        ? static_cast<double>(run.counters.at("bytes_per_second"))
                        : 0.0;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
    std::map<std::string, double> bytesPerSecond;
};

int TouchMain(const char* kibText) {
    // Taken the way the line stores take their large blocks: a mapping
    // aligned to 2 MiB and marked for large pages.
    const std::size_t align = std::size_t{2} << 20;
    const std::size_t bytes = std::strtoull(kibText, nullptr, 10) * 1024;
    void* mapped =
        mmap(nullptr, bytes + align, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        return 1;
    }
    const std::uintptr_t start =
        (reinterpret_cast<std::uintptr_t>(mapped) + align - 1) & ~(align - 1);
    volatile char* memory = reinterpret_cast<char*>(start);
    madvise(const_cast<char*>(memory), bytes, MADV_HUGEPAGE);
    for (std::size_t i = 0; i < bytes; i += 4096) {
        memory[i] = 1;
    }
    return 0;
}

int DriverMain(int argc, char** argv) {
    // --load T|B peakFile|- part...: one part per buffer.
    const int type = argv[2][0];
    for (int i = 4; i < argc && i - 3 <= 3; ++i) {
        char status[32];
        const int rc = LoadFiles(i - 3, type, argv[i], status);
        if (rc != RC_OK) {
            std::fprintf(stderr, "LoadFiles %s: %d\n", argv[i], rc);
            return 1;
        }
    }
    if (std::strcmp(argv[3], "-") != 0) {
        // The peak of this process's own memory (VmHWM), not counting what
        // the starting process held.
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmHWM:", 0) == 0) {
                std::ofstream(argv[3]) << std::strtol(line.c_str() + 6, nullptr, 10);
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--load") == 0) {
        return DriverMain(argc, argv);
    }
    if (argc == 3 && std::strcmp(argv[1], "--touch") == 0) {
        return TouchMain(argv[2]);
    }
    g_self = std::filesystem::canonical("/proc/self/exe").string();
    benchmark::Initialize(&argc, argv);
    PrepareInputs();
    // Each case is run several times, one process per repetition; the
    // ratios use the medians, which shrug off a stray slow run.
    const auto add = [](const char* name, void (*function)(benchmark::State&)) {
        benchmark::RegisterBenchmark(name, function)
            ->Iterations(1)
            ->Repetitions(7)
            ->ReportAggregatesOnly(true)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    };
    add("LoadFiles_B_process", BM_LoadFilesBinaryProcess);
    add("uuencode_process", BM_UuencodeProcess);
    add("floor_B_process", BM_FloorBinary);
    add("LoadFiles_T_process", BM_LoadFilesTextProcess);
    add("sed_process", BM_SedProcess);
    add("floor_T_process", BM_FloorText);
    add("WriteFiles_B", BM_WriteFilesBinary);
    add("WriteFiles_T", BM_WriteFilesText);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(g_inputs.dir, ignored);

    const auto ratio = [&](const char* ours, const char* peer) {
        if (reporter.seconds.count(ours) && reporter.seconds.count(peer)) {
            std::printf("%-22s %8.1f ms   %-18s %8.1f ms   ratio %.2f (goal <= 0.50)\n", ours,
                        reporter.seconds[ours] * 1e3, peer, reporter.seconds[peer] * 1e3,
                        reporter.seconds[ours] / reporter.seconds[peer]);
        }
    };
    std::printf("\n64 MiB inputs, whole processes, medians:\n");
    ratio("LoadFiles_B_process", "uuencode_process");
    ratio("LoadFiles_T_process", "sed_process");
    std::printf("floor (fresh memory the loading process holds, touched once):\n");
    ratio("floor_B_process", "uuencode_process");
    ratio("floor_T_process", "sed_process");
    for (const char* name : {"WriteFiles_B", "WriteFiles_T"}) {
        if (reporter.bytesPerSecond.count(name)) {
            std::printf("%-22s %8.1f MiB/s written (commit every 1 MiB)\n", name,
                        reporter.bytesPerSecond[name] / (1 << 20));
        }
    }
    return 0;
}
