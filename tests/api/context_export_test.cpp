// Contexts: every twin against its export on random call sequences, and
// contexts and exports called from several threads at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <thread>
#endif

#include "support/test_support.h"
#include "vekwin32.h"

namespace {

using vektest::ReadFileBytes;
using vektest::TempDir;

// Where calls go: the exports (the process's buffers) or a context's twins.
struct Engine {
    VekContext* ctx = nullptr;  // nullptr: the exports
    const TempDir* dir = nullptr;
};

const char* const kFiles[] = {"a.txt", "b.bin", "e.txt", "o1.txt", "o2.txt", "missing.txt"};
const char* const kLists[] = {"a.txt",         "a.txt,b.bin",  "b.bin,e.txt,a.txt", "missing.txt",
                              "o1.txt,o2.txt", "o1.txt,b.bin", "a.txt,,b.bin",      "o2.txt,no/x"};

void Seed(const TempDir& dir) {
    std::string binary;
    for (int i = 0; i < 300; ++i) {
        binary.push_back(static_cast<char>(i * 7));
    }
    vektest::WriteFileBytes(dir.Path("a.txt"), "one\r\ntwo\n.three\nfour");
    vektest::WriteFileBytes(dir.Path("b.bin"), binary);
    vektest::WriteFileBytes(dir.Path("e.txt"), "");
    vektest::WriteFileBytes(dir.Path("o1.txt"), "old o1\n");
    std::remove(dir.Path("o2.txt").c_str());
    std::remove(dir.Path("missing.txt").c_str());
}

// The files of the folder, by name and contents.
std::string Files(const TempDir& dir) {
    std::string all;
    for (const char* name : kFiles) {
        if (vektest::FileExists(dir.Path(name))) {
            all += std::string(name) + "=" + ReadFileBytes(dir.Path(name)) + ";";
        }
    }
    return all;
}

std::string List(const Engine& e, unsigned pick) {
    std::string names = kLists[pick % std::size(kLists)], list;
    for (std::size_t start = 0;;) {
        const std::size_t comma = names.find(',', start);
        const std::string name = names.substr(start, comma - start);
        list += name.empty() ? "" : e.dir->Path(name);
        if (comma == std::string::npos) {
            return list;
        }
        list += ",";
        start = comma + 1;
    }
}

// One call with its arguments drawn at random; `op` is the export's ordinal - 1.
struct Call {
    int op, a, b, c;
    std::string text;
};

Call Draw(std::mt19937& rng) {
    const char* const texts[] = {"x", "", "1a", "2,3c", "1d", "0a", ".", "yy", "3a", "9d", "q"};
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const int buf = pick(10) == 0 ? pick(6) - 1 : 1 + pick(3);  // now and then not 1..3
    return Call{pick(18), buf, pick(4), pick(4) + 1,
                texts[pick(static_cast<int>(std::size(texts)))]};
}

// Runs the call; returns its result and outputs as text.
std::string Run(const Engine& e, const Call& k) {
    VekContext* const x = e.ctx;
    const int other = k.a % 3 + 1, third = other % 3 + 1;
    const int type = k.b % 2 == 0 ? 'T' : 'B';
    const std::string list = List(e, static_cast<unsigned>(k.b * 3 + k.c));
    std::vector<char> cut(list.begin(), list.end());
    cut.push_back('\0');
    char out[65536] = {0};
    int n1 = -7, n2 = -7, n3 = -7, rc = 0;
    std::string files;
    switch (k.op) {
        case 0:
            rc = x ? VekInitBuf(x, k.a) : InitBuf(k.a);
            break;
        case 1:
            rc = x ? VekAddLine(x, k.a, k.text.c_str()) : AddLine(k.a, k.text.c_str());
            break;
        case 2:
            rc = x ? VekEdCmd(x, k.a, k.text.c_str()) : EdCmd(k.a, k.text.c_str());
            break;
        case 3:
            rc = x ? VekEdBuf(x, k.a, other) : EdBuf(k.a, other);
            break;
        case 4:
            rc = x ? VekGetLine(x, k.a, k.b, k.c * 3, out, &n1)
                   : GetLine(k.a, k.b, k.c * 3, out, &n1);
            break;
        case 5:
            rc = x ? VekGetBufStats(x, k.a, &n1, &n2, &n3) : GetBufStats(k.a, &n1, &n2, &n3);
            break;
        case 6:
            rc = x ? VekCrc(x, k.a, 8 << k.b, &n1) : Crc(k.a, 8 << k.b, &n1);
            break;
        case 7:
            rc =
                x ? VekCrcFile(x, type, list.c_str(), 16, &n1) : CrcFile(type, cut.data(), 16, &n1);
            break;
        case 8:
            rc = x ? VekLoadFiles(x, k.a, type, list.c_str(), out)
                   : LoadFiles(k.a, type, cut.data(), out);
            break;
        case 9: {
            const std::string before = Files(*e.dir);
            rc = x ? VekWriteFiles(x, k.a, type, list.c_str()) : WriteFiles(k.a, type, cut.data());
            files = Files(*e.dir);
            if (rc != RC_OK) {
                // A context's WriteFiles changes nothing when it fails; the
                // export may have written some files: start both afresh.
                if (x != nullptr) {
                    EXPECT_EQ(files, before) << "a failed VekWriteFiles changed files";
                }
                Seed(*e.dir);
                files.clear();
            }
            break;
        }
        case 10:
            rc = x ? VekWriteBuf(x, k.a, e.dir->Path("o2.txt").c_str())
                   : WriteBuf(k.a, e.dir->Path("o2.txt").c_str());
            files = Files(*e.dir);
            break;
        case 11: {
            const std::string name = e.dir->Path(kFiles[k.b]);
            rc = x ? VekReadBuf(x, k.a, name.c_str()) : ReadBuf(k.a, name.c_str());
            break;
        }
        case 12:
            rc = x ? VekDiff(x, k.a, other, third) : Diff(k.a, other, third);
            break;
        case 13:
            rc = x ? VekCheckType(x, list.c_str(), out) : CheckType(cut.data(), out);
            break;
        case 14:
            rc = x ? VekGetLines(x, k.a, k.b, k.c * 2, out, &n1)
                   : GetLines(k.a, k.b, k.c * 2, out, &n1);
            for (int i = 0; rc == RC_OK && i < n1; ++i) {
                int offset;
                std::memcpy(&offset, out + 4 * i, 4);
                files += std::string(out + offset) + "|";
            }
            out[0] = '\0';
            break;
        case 15: {
            const std::string run = k.text + '\0' + "z" + '\0' + '\0';
            rc = x ? VekAddLines(x, k.a, run.c_str()) : AddLines(k.a, run.c_str());
            break;
        }
        case 16:
            n1 = k.b;
            rc = x ? VekTestBuf(x, &n1) : TestBuf(&n1);
            break;
        default:
            rc = x ? VekDiffWhole(x, k.a, other, third) : DiffWhole(k.a, other, third);
            break;
    }
    if (x != nullptr) {
        EXPECT_STREQ(List(e, static_cast<unsigned>(k.b * 3 + k.c)).c_str(), list.c_str());
    }
    return std::to_string(k.op) + ":" + std::to_string(rc) + " " + std::to_string(n1) + " " +
           std::to_string(n2) + " " + std::to_string(n3) + " [" + out + "] " + files + "\n";
}

// Every line and figure of the three buffers.
std::string Buffers(const Engine& e) {
    std::string all;
    for (int buf = 1; buf <= 3; ++buf) {
        int count = 0, longest = 0, total = 0;
        e.ctx ? VekGetBufStats(e.ctx, buf, &count, &longest, &total)
              : GetBufStats(buf, &count, &longest, &total);
        all += std::to_string(count) + "," + std::to_string(longest) + "," + std::to_string(total);
        std::vector<char> line(static_cast<std::size_t>(longest) + 1);
        for (int i = 1; i <= count; ++i) {
            int length = 0;
            e.ctx ? VekGetLine(e.ctx, buf, i, longest, line.data(), &length)
                  : GetLine(buf, i, longest, line.data(), &length);
            all += "|" + std::string(line.data());
        }
        all += "\n";
    }
    return all;
}

// The trace of `calls` random calls from `seed` on the engine, buffers
// emptied first.
std::string Road(const Engine& e, unsigned seed, int calls) {
    std::mt19937 rng(seed);
    Seed(*e.dir);
    std::string trace;
    for (int buf = 1; buf <= 3; ++buf) {
        e.ctx ? VekInitBuf(e.ctx, buf) : InitBuf(buf);
    }
    for (int i = 0; i < calls; ++i) {
        trace += Run(e, Draw(rng));
    }
    return trace + Buffers(e) + Files(*e.dir);
}

#if defined(_WIN32)
DWORD WINAPI RunJob(void* job) {
    (*static_cast<std::function<void()>*>(job))();
    return 0;
}
#endif

void RunThreads(std::vector<std::function<void()>>& jobs) {
#if defined(_WIN32)
    std::vector<HANDLE> threads;
    for (std::function<void()>& job : jobs) {
        threads.push_back(::CreateThread(nullptr, 0, RunJob, &job, 0, nullptr));
        ASSERT_NE(threads.back(), nullptr);
    }
    for (HANDLE thread : threads) {
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    }
#else
    std::vector<std::thread> threads;
    for (std::function<void()>& job : jobs) {
        threads.emplace_back(job);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
#endif
}

TEST(ContextExport, EveryTwinAgreesWithItsExport) {
    TempDir processDir, contextDir;
    VekContext* const ctx = VekOpen();
    ASSERT_NE(ctx, nullptr);
    for (unsigned seed = 1; seed <= 25; ++seed) {
        EXPECT_EQ(Road(Engine{nullptr, &processDir}, seed, 150),
                  Road(Engine{ctx, &contextDir}, seed, 150))
            << "seed " << seed;
    }
    VekClose(ctx);
}

TEST(ContextExport, ANullContextIsRefusedFirst) {
    int v = 7, n = 0;
    char text[8] = "";
    EXPECT_EQ(VekInitBuf(nullptr, 9), RC_BAD_CONTEXT);
    EXPECT_EQ(VekAddLine(nullptr, 1, nullptr), RC_BAD_CONTEXT);
    EXPECT_EQ(VekEdCmd(nullptr, 0, "1a"), RC_BAD_CONTEXT);
    EXPECT_EQ(VekEdBuf(nullptr, 1, 1), RC_BAD_CONTEXT);
    EXPECT_EQ(VekGetLine(nullptr, 1, 0, 0, text, &n), RC_BAD_CONTEXT);
    EXPECT_EQ(VekGetBufStats(nullptr, 1, &n, &n, &n), RC_BAD_CONTEXT);
    EXPECT_EQ(VekCrc(nullptr, 1, 16, &n), RC_BAD_CONTEXT);
    EXPECT_EQ(VekCrcFile(nullptr, 'X', nullptr, 8, &n), RC_BAD_CONTEXT);
    EXPECT_EQ(VekLoadFiles(nullptr, 1, 'T', "a", text), RC_BAD_CONTEXT);
    EXPECT_EQ(VekWriteFiles(nullptr, 1, 'T', "a"), RC_BAD_CONTEXT);
    EXPECT_EQ(VekWriteBuf(nullptr, 1, "a"), RC_BAD_CONTEXT);
    EXPECT_EQ(VekReadBuf(nullptr, 1, "a"), RC_BAD_CONTEXT);
    EXPECT_EQ(VekDiff(nullptr, 1, 2, 3), RC_BAD_CONTEXT);
    EXPECT_EQ(VekCheckType(nullptr, nullptr, text), RC_BAD_CONTEXT);
    EXPECT_EQ(VekGetLines(nullptr, 1, 1, 1, text, &n), RC_BAD_CONTEXT);
    EXPECT_EQ(VekAddLines(nullptr, 1, "a\0"), RC_BAD_CONTEXT);
    EXPECT_EQ(VekTestBuf(nullptr, &v), RC_BAD_CONTEXT);
    EXPECT_EQ(v, 7);
    VekClose(nullptr);
}

// The twins' two safety differences: a list is never written into (a literal
// may be passed, a list used twice loads twice), and a VekWriteFiles that
// fails has replaced nothing, where WriteFiles has already replaced the first
// file.
TEST(ContextExport, ListsStayWholeAndWriteFilesReplacesAllOrNothing) {
    TempDir dir;
    Seed(dir);
    VekContext* const ctx = VekOpen();
    char status[24];
    const std::string list = dir.Path("a.txt") + "," + dir.Path("a.txt");
    ASSERT_EQ(VekLoadFiles(ctx, 1, 'T', list.c_str(), status), RC_OK);
    ASSERT_EQ(VekLoadFiles(ctx, 1, 'T', list.c_str(), status), RC_OK);
    EXPECT_STREQ(status, "L,L");
    EXPECT_EQ(VekCheckType(ctx, "no-such-file-a,no-such-file-b", status), RC_READ_FAILED);
    const std::string targets = dir.Path("o1.txt") + "," + dir.Path("no/x");
    EXPECT_EQ(VekWriteFiles(ctx, 1, 'T', targets.c_str()), RC_WRITE_FAILED);
    EXPECT_EQ(ReadFileBytes(dir.Path("o1.txt")), "old o1\n");
    EXPECT_EQ(vektest::DirectoryEntries(dir), 4u);
    std::vector<char> cut(list.begin(), list.end() + 1);
    std::vector<char> cutTargets(targets.begin(), targets.end() + 1);
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(LoadFiles(1, 'T', cut.data(), status), RC_OK);
    EXPECT_EQ(WriteFiles(1, 'T', cutTargets.data()), RC_WRITE_FAILED);
    EXPECT_EQ(ReadFileBytes(dir.Path("o1.txt")), "one\r\ntwo\r\n.three\r\nfour\r\n");
    VekClose(ctx);
}

// Four threads, each on a context of its own, give the traces the same
// sequences give alone.
TEST(ContextThreads, FourContextsAtOnceEachAsAlone) {
    constexpr int kThreads = 4;
    TempDir dirs[kThreads], alone;
    VekContext* ctx[kThreads];
    std::string traces[kThreads];
    std::vector<std::function<void()>> jobs;
    for (int t = 0; t < kThreads; ++t) {
        ctx[t] = VekOpen();
        ASSERT_NE(ctx[t], nullptr);
        jobs.emplace_back([&, t] {
            for (unsigned seed = 0; seed < 10; ++seed) {
                traces[t] += Road(Engine{ctx[t], &dirs[t]}, 100 * t + seed, 60);
            }
        });
    }
    RunThreads(jobs);
    for (int t = 0; t < kThreads; ++t) {
        VekContext* const solo = VekOpen();
        std::string expected;
        for (unsigned seed = 0; seed < 10; ++seed) {
            expected += Road(Engine{solo, &alone}, 100 * t + seed, 60);
        }
        EXPECT_EQ(traces[t], expected) << "thread " << t;
        VekClose(solo);
        VekClose(ctx[t]);
    }
}

// A context used by two threads at once, against the rule: its lock keeps
// every call whole, so both threads' lines are all there, each in order.
TEST(ContextThreads, OneContextFromTwoThreadsKeepsEveryCallWhole) {
    VekContext* const ctx = VekOpen();
    std::vector<std::function<void()>> jobs;
    for (int t = 0; t < 2; ++t) {
        jobs.emplace_back([ctx, t] {
            for (int i = 0; i < 300; ++i) {
                VekAddLine(ctx, 1, std::to_string(t * 1000 + i).c_str());
            }
        });
    }
    RunThreads(jobs);
    int next[2] = {0, 1000}, count = 0, longest = 0, total = 0;
    ASSERT_EQ(VekGetBufStats(ctx, 1, &count, &longest, &total), RC_OK);
    ASSERT_EQ(count, 600);
    char line[16];
    for (int i = 1; i <= count; ++i) {
        int length = 0;
        ASSERT_EQ(VekGetLine(ctx, 1, i, 15, line, &length), RC_OK);
        const int number = std::atoi(line);
        EXPECT_EQ(number, next[number / 1000]++);
    }
    VekClose(ctx);
}

// Two threads calling the exports at once: each fills a buffer of its own
// and both append to buffer 3, whose lines then hold both threads' lines,
// each thread's in its order.
TEST(ContextThreads, TwoThreadsOnTheExportsAtOnce) {
    std::string results[2];
    std::vector<std::function<void()>> jobs;
    for (int t = 0; t < 2; ++t) {
        jobs.emplace_back([&results, t] {
            const int buf = t + 1;
            for (int round = 0; round < 50; ++round) {
                InitBuf(buf);
                for (int i = 0; i < 40; ++i) {
                    AddLine(buf, (std::to_string(t) + "-" + std::to_string(i)).c_str());
                }
                int count = 0, longest = 0, total = 0, value = 5;
                GetBufStats(buf, &count, &longest, &total);
                results[t] += std::to_string(count) + "," + std::to_string(TestBuf(&value)) + ";";
                AddLine(3, std::to_string(t * 1000 + round).c_str());
                GetBufStats(3, &count, &longest, &total);
            }
        });
    }
    InitBuf(3);
    RunThreads(jobs);
    std::string expected;
    for (int round = 0; round < 50; ++round) {
        expected += "40,5;";
    }
    int next[2] = {0, 1000};
    for (const std::string& line : vektest::BufferLines(3)) {
        const int number = std::stoi(line);
        EXPECT_EQ(number, next[number / 1000]++);
    }
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(results[t], expected);
        EXPECT_EQ(next[t], 1000 * t + 50);
        EXPECT_EQ(vektest::BufferLines(t + 1).back(), std::to_string(t) + "-39");
    }
}

}  // namespace
