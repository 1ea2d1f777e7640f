// Allocation failures swept over the exports that fill, read, edit and diff
// buffers: every call must answer with its code, leave its buffers
// consistent and leak nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diff/diff_driver.h"
#include "fault/fault_support.h"
#include "vekwin32.h"

namespace vekfault {
namespace {

std::vector<std::string> Numbered(int count, const std::string& stem) {
    std::vector<std::string> lines;
    for (int i = 1; i <= count; ++i) {
        lines.push_back(stem + std::to_string(i) +
                        std::string(static_cast<std::size_t>(i % 7), '.'));
    }
    return lines;
}

std::vector<std::string> WithFeeds(std::vector<std::string> lines) {
    for (std::string& line : lines) {
        line += '\n';
    }
    return lines;
}

TEST(AllocationFaults, AddLineStoresAllOrNothing) {
    const std::vector<std::string> start = Numbered(40, "line ");
    BufferState before;
    const std::string text(30000, 'x');
    Sweep(
        "AddLine", Point::kAllocation,
        [&] {
            Fill(1, start);
            before = Snapshot(1);
        },
        [&] { return AddLine(1, text.c_str()); },
        [&](int rc, long n) {
            const BufferState after = Snapshot(1);
            if (rc == RC_OK) {
                EXPECT_EQ(after.lines.size(), before.lines.size() + 1) << "fault " << n;
            } else {
                EXPECT_TRUE(rc == RC_BUFFER_FULL || rc == RC_FAILED) << rc;
                EXPECT_EQ(after, before) << "fault " << n;
            }
            ExpectConsistent(1, "AddLine, fault " + std::to_string(n));
        });
}

TEST(AllocationFaults, AddLinesKeepsTheLinesAddedBefore) {
    std::string run;
    std::vector<std::string> runLines;
    for (int i = 0; i < 60; ++i) {
        const std::string text =
            "run line " + std::to_string(i) + std::string(static_cast<std::size_t>(i * 37), 'r');
        run += text;
        run += '\0';
        runLines.push_back(text + '\n');
    }
    run += '\0';
    const std::vector<std::string> start = Numbered(10, "old ");
    Sweep(
        "AddLines", Point::kAllocation, [&] { Fill(2, start); },
        [&] { return AddLines(2, run.data()); },
        [&](int rc, long n) {
            EXPECT_TRUE(rc == RC_OK || rc == RC_BUFFER_FULL || rc == RC_FAILED) << rc;
            const BufferState after = Snapshot(2);
            std::vector<std::string> expected = WithFeeds(start);
            expected.insert(expected.end(), runLines.begin(), runLines.end());
            ASSERT_TRUE(IsPrefix(after.lines, expected)) << "fault " << n;
            EXPECT_GE(after.lines.size(), start.size());
            if (rc == RC_OK) {
                EXPECT_EQ(after.lines, expected);
            }
            ExpectConsistent(2, "AddLines, fault " + std::to_string(n));
        });
}

TEST(AllocationFaults, ReadingExportsAnswerAndChangeNothing) {
    const std::vector<std::string> start = Numbered(300, "read ");
    BufferState before;
    std::vector<char> block(65536);
    Sweep(
        "GetLines, GetLine, GetBufStats, Crc", Point::kAllocation,
        [&] {
            Fill(3, start);
            before = Snapshot(3);
        },
        [&] {
            int delivered = 0;
            int length = 0;
            int count = 0;
            int longest = 0;
            int total = 0;
            int sum = 0;
            char room[64];
            int rc = GetLines(3, 101, 100, block.data(), &delivered);
            rc |= GetLine(3, 7, 63, room, &length);
            rc |= GetBufStats(3, &count, &longest, &total);
            rc |= Crc(3, 16, &sum);
            return rc;
        },
        [&](int rc, long n) {
            EXPECT_EQ(rc, RC_OK) << "fault " << n;
            EXPECT_EQ(Snapshot(3), before);
            ExpectConsistent(3, "reads, fault " + std::to_string(n));
        });
}

TEST(AllocationFaults, InitBufAndTestBufAlwaysAnswer) {
    int probe = 7;
    Sweep(
        "InitBuf, TestBuf", Point::kAllocation,
        [&] {
            Fill(1, Numbered(500, "reset "));
            probe = 7;
        },
        [&] { return InitBuf(1) + TestBuf(&probe); },
        [&](int rc, long n) {
            EXPECT_EQ(rc, 7) << "fault " << n;
            EXPECT_EQ(probe, 100);
            EXPECT_TRUE(Snapshot(1).lines.empty());
            ExpectConsistent(1, "InitBuf, fault " + std::to_string(n));
        });
}

// One command fed in several interpreter states; a refused line must leave
// lines, current line and insert mode exactly as they were.
TEST(AllocationFaults, EdCmdRefusesWithoutChangingState) {
    struct Case {
        std::vector<std::string> prefix;  // fed first, unarmed
        std::string line;                 // fed with faults
    };
    const std::vector<Case> cases = {
        {{}, "120,160c"}, {{"30a"}, std::string(20000, 't')}, {{"0a", "head"}, "."},
        {{}, "2,250d"},   {{"400a"}, std::string(9000, 'p')}, {{"1,300d", "0a"}, "only line"},
    };
    const std::vector<std::string> start = Numbered(300, "ed ");
    for (const Case& c : cases) {
        BufferState before;
        BufferState clean;
        Sweep(
            "EdCmd " + c.line.substr(0, 12), Point::kAllocation,
            [&] {
                Fill(1, start);
                for (const std::string& line : c.prefix) {
                    ASSERT_EQ(EdCmd(1, line.c_str()), RC_OK) << line;
                }
                before = Snapshot(1);
            },
            [&] { return EdCmd(1, c.line.c_str()); },
            [&](int rc, long n) {
                const BufferState after = Snapshot(1);
                if (n == 0) {
                    ASSERT_EQ(rc, RC_OK) << c.line;
                    clean = after;
                } else if (rc == RC_OK) {
                    EXPECT_EQ(after, clean) << c.line << ", fault " << n;
                } else {
                    EXPECT_EQ(rc, RC_BAD_LINE);
                    EXPECT_EQ(after, before) << c.line << ", fault " << n;
                }
                ExpectConsistent(1, c.line + ", fault " + std::to_string(n));
            });
    }
}

// After a fault, the target must be exactly where feeding the script line by
// line would have left it after some number of lines, and the script buffer
// must be untouched.
TEST(AllocationFaults, EdBufStopsAtALineBoundary) {
    const std::vector<std::string> target = Numbered(400, "target ");
    const std::vector<std::string> script = {"390,395c",
                                             std::string(9000, '1'),
                                             std::string(12000, '2'),
                                             ".",
                                             "300d",
                                             "250a",
                                             std::string(20000, 'a'),
                                             "new b",
                                             ".",
                                             "100,199d",
                                             "0a",
                                             "top",
                                             "."};
    std::vector<BufferState> steps;
    Fill(2, target);
    steps.push_back(Snapshot(2));
    for (const std::string& line : script) {
        ASSERT_EQ(EdCmd(2, line.c_str()), RC_OK) << line;
        steps.push_back(Snapshot(2));
    }
    BufferState scriptBefore;
    Sweep(
        "EdBuf", Point::kAllocation,
        [&] {
            Fill(1, script);
            Fill(2, target);
            scriptBefore = Snapshot(1);
        },
        [] { return EdBuf(1, 2); },
        [&](int rc, long n) {
            EXPECT_TRUE(rc == RC_OK || rc == RC_BAD_LINE) << rc;
            BufferState after = Snapshot(2);
            bool matched = false;
            for (std::size_t k = 0; k < steps.size() && !matched; ++k) {
                matched = after.lines == steps[k].lines && after.curLine == steps[k].curLine &&
                          after.insertMode == steps[k].insertMode;
            }
            EXPECT_TRUE(matched) << "fault " << n << " left a state no prefix of the script gives";
            if (rc == RC_OK) {
                EXPECT_EQ(after.lines, steps.back().lines);
            }
            EXPECT_EQ(Snapshot(1), scriptBefore);
            ExpectConsistent(2, "EdBuf, fault " + std::to_string(n));
            ExpectConsistent(1, "EdBuf script, fault " + std::to_string(n));
        });
}

std::vector<std::string> g_diffMessages;
void CaptureDiffMessage(const char* text) {
    g_diffMessages.emplace_back(text);
}

// Three windows with changes in each; a fault may end the call with 107, and
// the output then holds the end of the full script (the windows merged
// before the fault), never anything else. A failed block of the diff engine
// itself also tells the user, once.
TEST(AllocationFaults, DiffKeepsOnlyWholeWindowScripts) {
    std::vector<std::string> oldLines = Numbered(6200, "text ");
    std::vector<std::string> newLines = oldLines;
    newLines.erase(newLines.begin() + 5100, newLines.begin() + 5140);
    newLines.insert(newLines.begin() + 2600, "inserted in the second window");
    newLines[10] = "changed in the first window";
    newLines.push_back("appended tail");
    std::vector<std::string> fullScript;
    vek::SetDiffMessageSink(CaptureDiffMessage);
    long told = 0;
    BufferState oldBefore;
    BufferState newBefore;
    Sweep(
        "Diff", Point::kAllocation,
        [&] {
            Fill(1, oldLines);
            Fill(2, newLines);
            Fill(3, {"stale output"});
            oldBefore = Snapshot(1);
            newBefore = Snapshot(2);
            g_diffMessages.clear();
        },
        [] { return Diff(1, 2, 3); },
        [&](int rc, long n) {
            const BufferState out = Snapshot(3);
            if (n == 0) {
                ASSERT_EQ(rc, RC_OK);
                fullScript = out.lines;
                ASSERT_FALSE(fullScript.empty());
            } else {
                EXPECT_TRUE(rc == RC_OK || rc == RC_DIFF_FAILED || rc == RC_FAILED) << rc;
                ASSERT_LE(out.lines.size(), fullScript.size()) << "fault " << n;
                const std::vector<std::string> tail(
                    fullScript.end() - static_cast<std::ptrdiff_t>(out.lines.size()),
                    fullScript.end());
                EXPECT_EQ(out.lines, tail) << "fault " << n;
                if (rc == RC_OK) {
                    EXPECT_EQ(out.lines, fullScript);
                }
            }
            ASSERT_LE(g_diffMessages.size(), 1u) << "fault " << n;
            if (!g_diffMessages.empty()) {
                EXPECT_EQ(g_diffMessages[0], vek::kDiffMemoryMessage);
                EXPECT_EQ(rc, RC_DIFF_FAILED) << "fault " << n;
                ++told;
            }
            EXPECT_EQ(Snapshot(1), oldBefore);
            EXPECT_EQ(Snapshot(2), newBefore);
            for (int buf = 1; buf <= 3; ++buf) {
                ExpectConsistent(buf, "Diff, fault " + std::to_string(n));
            }
        });
    vek::SetDiffMessageSink(nullptr);
    EXPECT_GT(told, 0) << "no fault reached a block of the diff engine";
}

// The twin of Diff tells nobody: faults in the engine's blocks end with 107
// and no message.
TEST(AllocationFaults, DiffOnAContextShowsNothing) {
    VekContext* const ctx = VekOpen();
    ASSERT_NE(ctx, nullptr);
    const std::vector<std::string> lines = Numbered(2600, "text ");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(VekAddLine(ctx, 1, lines[i].c_str()), RC_OK);
        ASSERT_EQ(VekAddLine(ctx, 2, (i % 500 == 7 ? "new " + lines[i] : lines[i]).c_str()), RC_OK);
    }
    vek::SetDiffMessageSink(CaptureDiffMessage);
    g_diffMessages.clear();
    long failed = 0;
    Sweep(
        "VekDiff", Point::kAllocation, [] {}, [&] { return VekDiff(ctx, 1, 2, 3); },
        [&](int rc, long n) {
            EXPECT_TRUE(rc == RC_OK || rc == RC_DIFF_FAILED || rc == RC_FAILED) << rc;
            EXPECT_TRUE(n > 0 || rc == RC_OK);
            failed += rc == RC_DIFF_FAILED ? 1 : 0;
        });
    vek::SetDiffMessageSink(nullptr);
    EXPECT_TRUE(g_diffMessages.empty());
    EXPECT_GT(failed, 0);
    VekClose(ctx);
}

// DiffWhole shows nothing when memory runs out: every fault ends with the
// full script or with 107 and an empty script buffer.
TEST(AllocationFaults, DiffWholeGivesTheWholeScriptOrNone) {
    std::vector<std::string> oldLines = Numbered(3000, "text ");
    std::vector<std::string> newLines = oldLines;
    newLines.erase(newLines.begin() + 2100, newLines.begin() + 2140);
    newLines.insert(newLines.begin(), "inserted at the top");
    newLines[1000] = "changed";
    std::vector<std::string> fullScript;
    vek::SetDiffMessageSink(CaptureDiffMessage);
    g_diffMessages.clear();
    Sweep(
        "DiffWhole", Point::kAllocation,
        [&] {
            Fill(1, oldLines);
            Fill(2, newLines);
            Fill(3, {"stale output"});
        },
        [] { return DiffWhole(1, 2, 3); },
        [&](int rc, long n) {
            const BufferState out = Snapshot(3);
            if (n == 0) {
                ASSERT_EQ(rc, RC_OK);
                fullScript = out.lines;
            } else if (rc == RC_OK) {
                EXPECT_EQ(out.lines, fullScript) << "fault " << n;
            } else {
                EXPECT_EQ(rc, RC_DIFF_FAILED) << "fault " << n;
                EXPECT_TRUE(out.lines.empty()) << "fault " << n;
            }
            for (int buf = 1; buf <= 3; ++buf) {
                ExpectConsistent(buf, "DiffWhole, fault " + std::to_string(n));
            }
        });
    vek::SetDiffMessageSink(nullptr);
    EXPECT_TRUE(g_diffMessages.empty());
}

}  // namespace
}  // namespace vekfault
