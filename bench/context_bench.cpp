// Contexts: two roads on two threads, each on a context of its own, against
// the same two roads one after the other; the cost of the per-call locks on
// 524,288 single AddLine calls, against a library built without them; and
// what an unfilled context costs, with 1,000 of them open at once.
//
//   context_bench [OLD_LIBRARY]
//
// The road: fill buffers 1 and 2 with the 524,288-line text pair of
// diff_bench (about 1% of the lines changed, in hunks), Diff into 3, read the
// script back with GetLines. OLD_LIBRARY is a libvekwin32.so built from the
// tree before the locks (see docs/benchmarks.md); without it the lock cost
// is printed for this library alone. Every figure is a median of paired
// runs, so the ratios hold on a busy machine.
#include <dlfcn.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "vekwin32.h"

namespace {

using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Lines ReadLines(const std::string& path) {
    Lines lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// One road on the context; false if any call failed.
bool Road(VekContext* ctx, const Lines& source, const Lines& target) {
    bool ok = VekInitBuf(ctx, 1) == RC_OK && VekInitBuf(ctx, 2) == RC_OK;
    for (const std::string& line : source) {
        ok = ok && VekAddLine(ctx, 1, line.c_str()) == RC_OK;
    }
    for (const std::string& line : target) {
        ok = ok && VekAddLine(ctx, 2, line.c_str()) == RC_OK;
    }
    ok = ok && VekDiff(ctx, 1, 2, 3) == RC_OK;
    int count = 0, longest = 0, total = 0;
    ok = ok && VekGetBufStats(ctx, 3, &count, &longest, &total) == RC_OK && count > 0;
    std::vector<char> block(LINES_BLOCK_SIZE);
    for (int first = 1; ok && first <= count;) {
        int delivered = 0;
        const int want = std::min(LINES_BLOCK_MAX_LINES, count - first + 1);
        ok = VekGetLines(ctx, 3, first, want, block.data(), &delivered) == RC_OK && delivered > 0;
        first += delivered;
    }
    return ok;
}

void Scaling(const Lines& source, const Lines& target) {
    VekContext* a = VekOpen();
    VekContext* b = VekOpen();
    std::vector<double> sequential, parallel, ratios, cores, coresAlone;
    bool ok = true;
    for (int round = 0; round < 5; ++round) {
        Clock::time_point start = Clock::now();
        std::clock_t cpuStart = std::clock();
        ok = Road(a, source, target) && ok;
        ok = Road(b, source, target) && ok;
        sequential.push_back(Seconds(start));
        coresAlone.push_back(static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC /
                             sequential.back());
        start = Clock::now();
        cpuStart = std::clock();
        bool okA = false;
        std::thread other([&] { okA = Road(a, source, target); });
        ok = Road(b, source, target) && ok;
        other.join();
        parallel.push_back(Seconds(start));
        cores.push_back(static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC /
                        parallel.back());
        ok = ok && okA;
        ratios.push_back(parallel.back() / sequential.back());
    }
    std::printf("Scaling, two roads on the 1%% pair (median of 5 paired runs)%s:\n",
                ok ? "" : " -- A CALL FAILED");
    std::printf("  one after the other %8.1f ms\n", Median(sequential) * 1e3);
    std::printf("  two threads         %8.1f ms\n", Median(parallel) * 1e3);
    std::printf("  ratio               %8.2fx   (goal <= 0.60x)\n", Median(ratios));
    // CPU time over wall time: one road at a time can use at most 1, two at
    // once 2; less means other programs held the cores.
    std::printf("  cores used: one road at a time %4.2f, two at once %4.2f\n\n", Median(coresAlone),
                Median(cores));
    VekClose(a);
    VekClose(b);
}

struct AddLineApi {
    int(VEK_CALL* initBuf)(int);
    int(VEK_CALL* addLine)(int, const char*);
};

AddLineApi Load(const char* path) {
    void* const library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        std::exit(2);
    }
    return AddLineApi{reinterpret_cast<VekInitBufFn>(dlsym(library, "InitBuf")),
                      reinterpret_cast<VekAddLineFn>(dlsym(library, "AddLine"))};
}

double AddLineSeconds(const AddLineApi& api, const Lines& lines) {
    api.initBuf(1);
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < MAX_LINES; ++i) {
        api.addLine(1, lines[static_cast<std::size_t>(i) % lines.size()].c_str());
    }
    const double seconds = Seconds(start);
    api.initBuf(1);
    return seconds;
}

void LockCost(const Lines& lines, const char* oldLibrary) {
    const AddLineApi now{InitBuf, AddLine};
    std::vector<double> times, oldTimes, ratios;
    const AddLineApi old = oldLibrary != nullptr ? Load(oldLibrary) : now;
    for (int round = 0; round < 21; ++round) {
        // Each round runs both, in turns first, so neither gains from going
        // second.
        const bool oldFirst = oldLibrary != nullptr && round % 2 == 1;
        if (oldFirst) {
            oldTimes.push_back(AddLineSeconds(old, lines));
        }
        times.push_back(AddLineSeconds(now, lines));
        if (oldLibrary != nullptr && !oldFirst) {
            oldTimes.push_back(AddLineSeconds(old, lines));
        }
        if (oldLibrary != nullptr) {
            ratios.push_back(times.back() / oldTimes.back());
        }
    }
    const double best = *std::min_element(times.begin(), times.end());
    std::printf("Lock cost, 524,288 single AddLine calls (21 paired runs):\n");
    std::printf("  this library        %8.1f ms  (fastest; %.1f ns a call)\n", best * 1e3,
                best * 1e9 / MAX_LINES);
    if (oldLibrary != nullptr) {
        const double oldBest = *std::min_element(oldTimes.begin(), oldTimes.end());
        std::printf("  without the locks   %8.1f ms  (fastest; %s)\n", oldBest * 1e3, oldLibrary);
        std::printf("  ratio of the fastest %7.3fx   (goal <= 1.02x)\n", best / oldBest);
        std::printf("  median paired ratio %8.3fx\n", Median(ratios));
    }
    std::printf("\n");
}

void OpenCost() {
    constexpr int kContexts = 1000;
    std::vector<VekContext*> contexts;
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < kContexts; ++i) {
        contexts.push_back(VekOpen());
    }
    const std::size_t after = mallinfo2().uordblks;
    int working = 0;
    for (VekContext* ctx : contexts) {
        working += ctx != nullptr && VekAddLine(ctx, 1, "old") == RC_OK &&
                   VekAddLine(ctx, 2, "new") == RC_OK && VekDiff(ctx, 1, 2, 3) == RC_OK;
    }
    for (VekContext* ctx : contexts) {
        VekClose(ctx);
    }
    std::printf("Open cost:\n");
    std::printf("  an unfilled context %8zu bytes   (goal <= 65,536)\n",
                (after - before) / kContexts);
    std::printf("  open at once        %8d contexts, %d of them diffed a pair\n", kContexts,
                working);
}

}  // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/vek-context-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const std::string dir = pattern;
    const std::string self = argv[0];
    const std::string writer = self.substr(0, self.rfind('/') + 1) + "diff_bench";
    if (std::system((writer + " --write-files " + dir).c_str()) != 0) {
        std::fprintf(stderr, "%s --write-files failed\n", writer.c_str());
        return 1;
    }
    const Lines source = ReadLines(dir + "/source.h");
    const Lines target = ReadLines(dir + "/target.h");
    std::system(("rm -rf " + dir).c_str());
    std::printf("The 1%% pair: %zu and %zu lines, %u cores\n\n", source.size(), target.size(),
                std::thread::hardware_concurrency());
    Scaling(source, target);
    LockCost(source, argc > 1 ? argv[1] : nullptr);
    OpenCost();
    return 0;
}
