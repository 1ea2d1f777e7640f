// Allocation failures and file-operation failures (open, read, write,
// commit, close, truncate) swept over the exports that work with files.
// Every call must answer with one of its codes, keep what it reports as
// done, close what it opened and leave the buffers consistent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault/fault_support.h"
#include "support/test_support.h"
#include "vekwin32.h"

namespace vekfault {
namespace {

bool OneOf(int rc, std::initializer_list<int> codes) {
    for (int code : codes) {
        if (rc == code) {
            return true;
        }
    }
    return false;
}

std::string TextFile(int lines, int width) {
    std::string bytes;
    for (int i = 0; i < lines; ++i) {
        bytes += "text line " + std::to_string(i) +
                 std::string(static_cast<std::size_t>(i % width), 'w');
        bytes += i % 3 == 0 ? "\r\n" : "\n";
    }
    return bytes;
}

std::string BinaryFile(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    }
    return bytes;
}

const Point kPoints[] = {Point::kAllocation, Point::kFileOperation};

const char* PointName(Point point) {
    return point == Point::kAllocation ? "allocation" : "file operation";
}

// Three inputs: two text files and a binary one; the large text file needs
// several reads.
class FileFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        m_inputs = {TextFile(40, 30), TextFile(60000, 90), BinaryFile(70000)};
        for (std::size_t i = 0; i < m_inputs.size(); ++i) {
            vektest::WriteFileBytes(In(i), m_inputs[i]);
        }
    }
    std::string In(std::size_t i) const { return m_dir.Path("in" + std::to_string(i)); }
    std::string Out(std::size_t i) const { return m_dir.Path("out" + std::to_string(i)); }
    std::string List(bool out) const {
        std::string list;
        for (std::size_t i = 0; i < m_inputs.size(); ++i) {
            list += (i == 0 ? "" : ",") + (out ? Out(i) : In(i));
        }
        return list;
    }

    vektest::TempDir m_dir;
    std::vector<std::string> m_inputs;
};

// A binary file that cannot be opened is not an error: it becomes an empty
// section ("E" in the status). Any other fault either ends the call with a
// whole prefix of the bundle kept (the last line possibly cut short) or
// leaves no trace.
TEST_F(FileFaults, LoadFilesKeepsAWholePrefixOfTheBundle) {
    for (const char type : {'T', 'B'}) {
        for (const Point point : kPoints) {
            std::vector<std::string> full;
            std::string fullStatus;
            std::string list;
            char status[24];
            const std::string label = std::string("LoadFiles ") + type + ", " + PointName(point);
            Sweep(
                label, point,
                [&] {
                    Fill(1, {"kept before"});
                    list = List(false);
                    std::fill(std::begin(status), std::end(status), '\0');
                },
                [&] { return LoadFiles(1, type, list.data(), status); },
                [&](int rc, long n) {
                    const BufferState after = Snapshot(1);
                    const std::string where = label + ", fault " + std::to_string(n);
                    if (n == 0) {
                        ASSERT_EQ(rc, RC_OK);
                        full = after.lines;
                        fullStatus = status;
                        EXPECT_EQ(fullStatus, "L,L,L");
                        return;
                    }
                    ExpectConsistent(1, where);
                    ASSERT_FALSE(after.lines.empty());
                    EXPECT_EQ(after.lines[0], "kept before\n");
                    if (rc == RC_OK && status == fullStatus) {
                        ExpectReported(point, n, rc, where);
                        EXPECT_EQ(after.lines, full) << where;
                        return;
                    }
                    if (rc == RC_OK) {
                        // Only unopenable binary files may turn into "E".
                        const std::string got = status;
                        ASSERT_EQ(got.size(), fullStatus.size()) << where << ": " << got;
                        for (std::size_t i = 0; i < got.size(); ++i) {
                            const bool binary = type == 'B' || i == 2;
                            EXPECT_TRUE(got[i] == fullStatus[i] || (binary && got[i] == 'E'))
                                << where << ": status " << got;
                        }
                        return;
                    }
                    EXPECT_TRUE(OneOf(rc, {RC_FAILED, RC_BUFFER_FULL, RC_READ_FAILED}))
                        << where << ": " << rc;
                    // The failing file's lines stop short, the last one
                    // possibly cut; an empty section may stand for it.
                    std::vector<std::string> head(after.lines.begin(), after.lines.end() - 1);
                    EXPECT_TRUE(IsPrefix(head, full)) << where;
                });
        }
    }
}

TEST_F(FileFaults, WriteFilesWritesPrefixesAndLeavesTheBundleAlone) {
    for (const char type : {'T', 'B'}) {
        // What a clean write gives, to compare the faulty ones with.
        std::vector<std::string> expected;
        for (const Point point : kPoints) {
            std::string list;
            BufferState before;
            const std::string label = std::string("WriteFiles ") + type + ", " + PointName(point);
            Sweep(
                label, point,
                [&] {
                    std::string in = List(false);
                    char status[24];
                    ASSERT_EQ(InitBuf(2), RC_OK);
                    ASSERT_EQ(LoadFiles(2, type, in.data(), status), RC_OK);
                    before = Snapshot(2);
                    for (std::size_t i = 0; i < m_inputs.size(); ++i) {
                        vektest::WriteFileBytes(Out(i), "old contents");
                    }
                    list = List(true);
                },
                [&] { return WriteFiles(2, type, list.data()); },
                [&](int rc, long n) {
                    EXPECT_EQ(Snapshot(2), before) << label;
                    ExpectConsistent(2, label + ", fault " + std::to_string(n));
                    if (n == 0) {
                        ASSERT_EQ(rc, RC_OK);
                        expected.clear();
                        for (std::size_t i = 0; i < m_inputs.size(); ++i) {
                            expected.push_back(vektest::ReadFileBytes(Out(i)));
                        }
                        if (type == 'B') {
                            EXPECT_EQ(expected, m_inputs);
                        }
                        return;
                    }
                    EXPECT_TRUE(OneOf(rc, {RC_OK, RC_FAILED, RC_READ_FAILED, RC_WRITE_FAILED}))
                        << label << ", fault " << n << ": " << rc;
                    ExpectReported(point, n, rc, label + ", fault " + std::to_string(n));
                    // Files before the failing one are complete, the failing
                    // one holds a prefix, the later ones are untouched.
                    bool failedOne = false;
                    for (std::size_t i = 0; i < m_inputs.size(); ++i) {
                        const std::string got = vektest::ReadFileBytes(Out(i));
                        if (got == expected[i] && !failedOne) {
                            continue;
                        }
                        if (!failedOne) {
                            failedOne = true;
                            EXPECT_TRUE(IsPrefix(got, expected[i]) || got == "old contents")
                                << label << ", fault " << n << ", file " << i;
                        } else {
                            EXPECT_EQ(got, "old contents")
                                << label << ", fault " << n << ", file " << i;
                        }
                    }
                    if (rc == RC_OK) {
                        EXPECT_FALSE(failedOne) << label << ", fault " << n;
                    }
                });
        }
    }
}

// A context's WriteFiles is all or nothing under every fault: each file is
// the new one or each is the old one, and no temporary is left beside them.
TEST_F(FileFaults, WriteFilesOnAContextReplacesAllOrNothing) {
    VekContext* const ctx = VekOpen();
    ASSERT_NE(ctx, nullptr);
    char status[24];
    ASSERT_EQ(VekLoadFiles(ctx, 2, 'B', List(false).c_str(), status), RC_OK);
    const std::string targets = List(true);
    for (const Point point : kPoints) {
        const std::string label = std::string("VekWriteFiles, ") + PointName(point);
        Sweep(
            label, point,
            [&] {
                for (std::size_t i = 0; i < m_inputs.size(); ++i) {
                    vektest::WriteFileBytes(Out(i), "old contents");
                }
            },
            [&] { return VekWriteFiles(ctx, 2, 'B', targets.c_str()); },
            [&](int rc, long n) {
                const std::string where = label + ", fault " + std::to_string(n);
                ExpectReported(point, n, rc, where);
                for (std::size_t i = 0; i < m_inputs.size(); ++i) {
                    EXPECT_EQ(vektest::ReadFileBytes(Out(i)),
                              rc == RC_OK ? m_inputs[i] : "old contents")
                        << where << ", file " << i;
                }
                EXPECT_EQ(vektest::DirectoryEntries(m_dir), 2 * m_inputs.size()) << where;
            });
    }
    VekClose(ctx);
}

// VekOpen gives a usable context or, when memory runs out, NULL.
TEST(AllocationFaults, VekOpenGivesAContextOrNull) {
    VekContext* ctx = nullptr;
    Sweep(
        "VekOpen", Point::kAllocation,
        [&] {
            VekClose(ctx);
            ctx = nullptr;
        },
        [&] {
            ctx = VekOpen();
            return ctx != nullptr ? RC_OK : RC_FAILED;
        },
        [&](int rc, long n) {
            if (n == 0) {
                ASSERT_EQ(rc, RC_OK);
            }
            if (ctx != nullptr) {
                int count = -1, longest = -1, total = -1;
                EXPECT_EQ(VekAddLine(ctx, 3, "x"), RC_OK);
                EXPECT_EQ(VekGetBufStats(ctx, 3, &count, &longest, &total), RC_OK);
                EXPECT_EQ(count, 1);
            }
        });
    VekClose(ctx);
}

TEST_F(FileFaults, PlainSaveAndLoadKeepWhatWasDone) {
    const std::vector<std::string> lines = {"first", std::string(5000, 'l'), "", "last"};
    const std::string expectedFile = "first\r\n" + std::string(5000, 'l') + "\r\n\r\nlast\r\n";
    const std::string saved = m_dir.Path("saved");
    const std::string input = In(1);
    for (const Point point : kPoints) {
        const std::string save = std::string("WriteBuf, ") + PointName(point);
        BufferState before;
        Sweep(
            save, point,
            [&] {
                Fill(3, lines);
                before = Snapshot(3);
                vektest::WriteFileBytes(saved, "old");
            },
            [&] { return WriteBuf(3, saved.c_str()); },
            [&](int rc, long n) {
                EXPECT_TRUE(OneOf(rc, {RC_OK, RC_WRITE_FAILED})) << save << ": " << rc;
                ExpectReported(point, n, rc, save + ", fault " + std::to_string(n));
                const std::string got = vektest::ReadFileBytes(saved);
                if (rc == RC_OK) {
                    EXPECT_EQ(got, expectedFile) << save << ", fault " << n;
                } else {
                    EXPECT_TRUE(IsPrefix(got, expectedFile) || got == "old")
                        << save << ", fault " << n;
                }
                EXPECT_EQ(Snapshot(3), before);
                ExpectConsistent(3, save + ", fault " + std::to_string(n));
            });

        const std::string load = std::string("ReadBuf, ") + PointName(point);
        std::vector<std::string> full;
        Sweep(
            load, point, [&] { Fill(3, {"kept"}); }, [&] { return ReadBuf(3, input.c_str()); },
            [&](int rc, long n) {
                const BufferState after = Snapshot(3);
                if (n == 0) {
                    ASSERT_EQ(rc, RC_OK);
                    full = after.lines;
                    return;
                }
                ExpectReported(point, n, rc, load + ", fault " + std::to_string(n));
                EXPECT_TRUE(OneOf(rc, {RC_OK, RC_BUFFER_FULL, RC_READ_FAILED}))
                    << load << ": " << rc;
                EXPECT_TRUE(IsPrefix(after.lines, full)) << load << ", fault " << n;
                if (rc == RC_OK) {
                    EXPECT_EQ(after.lines, full) << load << ", fault " << n;
                }
                ExpectConsistent(3, load + ", fault " + std::to_string(n));
            });
    }
}

TEST_F(FileFaults, CheckTypeAndCrcFileChangeNoBuffer) {
    for (const Point point : kPoints) {
        std::string list;
        char letter = '?';
        const std::string check = std::string("CheckType, ") + PointName(point);
        Sweep(
            check, point,
            [&] {
                list = List(false);
                letter = '?';
            },
            [&] { return CheckType(list.data(), &letter); },
            [&](int rc, long n) {
                ExpectReported(point, n, rc, check + ", fault " + std::to_string(n));
                if (rc == RC_OK) {
                    EXPECT_EQ(letter, 'B') << check << ", fault " << n;
                } else {
                    EXPECT_TRUE(OneOf(rc, {RC_FAILED, RC_READ_FAILED})) << check << ": " << rc;
                }
            });

        const std::string crc = std::string("CrcFile, ") + PointName(point);
        std::vector<BufferState> before;
        int sum = -1;
        int clean = -1;
        Sweep(
            crc, point,
            [&] {
                Fill(1, {"one"});
                Fill(2, {"two", "lines"});
                Fill(3, {});
                before = {Snapshot(1), Snapshot(2), Snapshot(3)};
                list = List(false);
                sum = -1;
            },
            [&] { return CrcFile('T', list.data(), 16, &sum); },
            [&](int rc, long n) {
                for (int buf = 1; buf <= 3; ++buf) {
                    EXPECT_EQ(Snapshot(buf), before[static_cast<std::size_t>(buf - 1)]) << crc;
                    ExpectConsistent(buf, crc + ", fault " + std::to_string(n));
                }
                if (n == 0) {
                    ASSERT_EQ(rc, RC_OK);
                    clean = sum;
                } else if (rc == RC_OK) {
                    ExpectReported(point, n, rc, crc + ", fault " + std::to_string(n));
                    EXPECT_EQ(sum, clean) << crc << ", fault " << n;
                } else {
                    EXPECT_TRUE(
                        OneOf(rc, {RC_FAILED, RC_BUFFER_FULL, RC_READ_FAILED, RC_STATS_FAILED}))
                        << crc << ": " << rc;
                    EXPECT_EQ(sum, -1) << crc << ", fault " << n << ": checksum written on failure";
                }
            });
    }
}

}  // namespace
}  // namespace vekfault
