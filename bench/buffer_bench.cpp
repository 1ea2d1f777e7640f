// Line store figures for 524,288 lines of 35 text bytes: bytes held per
// stored line, and AddLines / GetLines throughput through the exports.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "buffer/vekbuf.h"
#include "vekwin32.h"

namespace {

constexpr int kLines = 524288;
constexpr int kTextBytes = 35;

std::string LineText(int i) {
    std::string text = "line " + std::to_string(i) + " ";
    text.resize(kTextBytes, static_cast<char>('a' + i % 26));
    return text;
}

// Packed runs of 1,000 lines each, as a host would hand them over.
const std::vector<std::string>& PackedRuns() {
    static const std::vector<std::string> runs = [] {
        std::vector<std::string> result;
        std::string run;
        for (int i = 0; i < kLines; ++i) {
            run += LineText(i);
            run.push_back('\0');
            if (i % 1000 == 999 || i == kLines - 1) {
                run.push_back('\0');
                result.push_back(std::move(run));
                run.clear();
            }
        }
        return result;
    }();
    return runs;
}

void FillThroughExports(int buf) {
    InitBuf(buf);
    for (const std::string& run : PackedRuns()) {
        AddLines(buf, run.data());
    }
}

void BM_AddLines(benchmark::State& state) {
    for (auto _ : state) {
        FillThroughExports(1);
    }
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(state.iterations() * kLines * (kTextBytes + 1));
}
BENCHMARK(BM_AddLines)->Unit(benchmark::kMillisecond);

void BM_GetLines(benchmark::State& state) {
    FillThroughExports(1);
    static char block[LINES_BLOCK_SIZE];
    for (auto _ : state) {
        int first = 1;
        while (first <= kLines) {
            int delivered = 0;
            GetLines(1, first, 100, block, &delivered);
            benchmark::DoNotOptimize(block[401]);
            first += delivered;
        }
    }
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(state.iterations() * kLines * (kTextBytes + 1));
}
BENCHMARK(BM_GetLines)->Unit(benchmark::kMillisecond);

// Edits from the end towards the start, as an edit script applies them.
void BM_DescendingEdits(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        vek::VekBuf buffer;
        for (int i = 0; i < kLines; ++i) {
            buffer.AppendLine(LineText(i) + "\n");
        }
        state.ResumeTiming();
        for (int at = kLines - 100; at > 0; at -= 100) {
            buffer.DeleteLines(at, at);
            buffer.InsertLine(at, "replacement line\n");
        }
        benchmark::DoNotOptimize(buffer.LineCount());
    }
    state.SetItemsProcessed(state.iterations() * (kLines / 100));
}
BENCHMARK(BM_DescendingEdits)->Unit(benchmark::kMillisecond);

void BM_PrependWindows(benchmark::State& state) {
    for (auto _ : state) {
        vek::VekBuf output;
        for (int window = 0; window < kLines / 2500; ++window) {
            vek::VekBuf script;
            for (int i = 0; i < 25; ++i) {
                script.AppendLine(LineText(i) + "\n");
            }
            output.PrependBuffer(script);
        }
        benchmark::DoNotOptimize(output.LineCount());
    }
}
BENCHMARK(BM_PrependWindows)->Unit(benchmark::kMillisecond);

void ReportBytesPerLine() {
    vek::VekBuf buffer;
    for (int i = 0; i < kLines; ++i) {
        buffer.AddLine(LineText(i));
    }
    const double perLine = static_cast<double>(buffer.FootprintBytes()) / kLines;
    std::printf(
        "store: %d lines of %d text bytes (+ line feed): %.2f bytes held per line, "
        "%.2f beyond the stored text\n",
        kLines, kTextBytes, perLine, perLine - (kTextBytes + 1));
}

}  // namespace

int main(int argc, char** argv) {
    ReportBytesPerLine();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
