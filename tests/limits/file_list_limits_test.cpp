// File lists of 0 to 12 names, with empty names in every position, through
// LoadFiles, WriteFiles, CrcFile and CheckType.
//
// The rules the cases are derived from:
// - At most ten names are handled; a list with more answers 108 after the
//   first ten (LoadFiles, WriteFiles, CrcFile) or before the eleventh
//   (CheckType), without writing the status.
// - The bundle functions treat a list as full when its tenth name is not
//   empty (for a list that begins with a comma: its eleventh). In a full
//   list an empty name is handled like a missing file (a lone terminator
//   "E", status entry "E"); in any other list the first empty name ends the
//   walk with 0. CheckType always stops at an empty name.
// - With type 'T' the tenth name is a binary file; with 'B' every name is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "limits/limits_support.h"
#include "support/test_support.h"

namespace {

using limitstest::Fingerprint;
using limitstest::Load;
using limitstest::Take;
using vektest::FileExists;
using vektest::ReadFileBytes;
using vektest::TempDir;

constexpr int kMaxNames = 12;

std::string TwoDigits(int k) {
    return (k < 10 ? "0" : "") + std::to_string(k);
}

// Nine bytes: binary sections of these files have no padded group.
std::string Content(int k) {
    return "file #" + TwoDigits(k) + "\n";
}

// Names `prefix`00, `prefix`01, ... in `dir`, with name `empty` left empty
// (-1: none).
std::vector<std::string> Names(const TempDir& dir, const std::string& prefix, int count,
                               int empty) {
    std::vector<std::string> names;
    for (int k = 0; k < count; ++k) {
        names.push_back(k == empty ? "" : dir.Path(prefix + TwoDigits(k)));
    }
    return names;
}

// What the bundle functions do with a list of `count` names whose name
// `empty` is empty (-1: none), all others naming files.
struct ListWalk {
    int handled = 0;  // names 0 .. handled-1 are handled
    int rc = RC_OK;
};

ListWalk BundleWalk(int count, int empty) {
    const bool full = empty == 0 ? count >= 11 : (empty != 9 && count >= 10);
    if (empty >= 0 && !full) {
        return {empty, RC_OK};
    }
    return {std::min(count, 10), count > 10 ? RC_TOO_MANY_FILES : RC_OK};
}

class FileLists : public testing::Test {
  protected:
    void SetUp() override {
        for (int k = 0; k < kMaxNames; ++k) {
            vektest::WriteFileBytes(m_dir.Path("in" + TwoDigits(k)), Content(k));
        }
        // Each file's binary section, from a load of that file alone.
        for (int k = 0; k < kMaxNames; ++k) {
            ASSERT_EQ(InitBuf(3), RC_OK);
            ASSERT_EQ(Load(3, 'B', m_dir.Path("in" + TwoDigits(k))), RC_OK);
            m_binary.push_back(vektest::BufferLines(3));
            ASSERT_EQ(m_binary.back().size(), 5u);
        }
        ASSERT_EQ(InitBuf(3), RC_OK);
    }

    // The lines (as handed out) and the status that loading names 0 ..
    // walk.handled-1 of the list appends.
    void ExpectedLoad(char type, int empty, const ListWalk& walk, std::vector<std::string>* lines,
                      std::string* status) const {
        *status = walk.rc == RC_OK ? "" : "unwritten";
        for (int k = 0; k < walk.handled; ++k) {
            if (walk.rc == RC_OK) {
                *status += std::string(k == 0 ? "" : ",") + (k == empty ? "E" : "L");
            }
            if (k == empty) {
                lines->push_back("E");
            } else if (type == 'B' || k == 9) {
                const std::vector<std::string>& section = m_binary[static_cast<std::size_t>(k)];
                lines->insert(lines->end(), section.begin(), section.end());
            } else {
                lines->push_back(" file #" + TwoDigits(k));
                lines->push_back("E");
            }
        }
    }

    // LoadFiles with a status output of exactly the documented room: two
    // bytes per name, for at most ten names. m_status receives the text, or
    // "unwritten" when the first byte was left alone.
    int LoadWithExactStatusRoom(int buf, char type, const std::string& list, int names) {
        const std::size_t room = 2 * static_cast<std::size_t>(std::min(names, 10));
        std::unique_ptr<char[]> out(new char[room]);
        std::memset(out.get(), 0x7F, room);
        std::string cut = list;
        const int rc = LoadFiles(buf, type, cut.data(), out.get());
        if (out[0] == 0x7F) {
            m_status = "unwritten";
        } else if (std::memchr(out.get(), '\0', room) == nullptr) {
            m_status = "not terminated within its room";
        } else {
            m_status = out.get();
        }
        return rc;
    }

    TempDir m_dir;
    std::vector<std::vector<std::string>> m_binary;
    std::string m_status;
};

TEST_F(FileLists, ShortListsWithEmptyNames) {
    const std::string a = m_dir.Path("in00");
    const std::string b = m_dir.Path("in01");
    struct Case {
        std::string list;
        std::vector<std::string> lines;
        std::string status;
    };
    const std::vector<Case> cases = {
        {"", {}, ""},
        {",", {}, ""},
        {",,", {}, ""},
        {"," + a, {}, ""},
        {a + ",", {" file #00", "E"}, "L"},
        {a + ",," + b, {" file #00", "E"}, "L"},
        {a + "," + b + ",", {" file #00", "E", " file #01", "E"}, "L,L"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("list \"" + c.list + "\"");
        vektest::FillBuffer(1, {"kept"});
        std::string status;
        EXPECT_EQ(Load(1, 'T', c.list, &status), RC_OK);
        EXPECT_EQ(status, c.status);
        std::vector<std::string> lines = {"kept"};
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(vektest::BufferLines(1), lines);
        limitstest::ExpectConsistent(1);

        int sum = -1;
        int expectedSum = -2;
        ASSERT_EQ(InitBuf(2), RC_OK);
        ASSERT_EQ(Load(2, 'T', c.list), RC_OK);
        ASSERT_EQ(Crc(2, 16, &expectedSum), RC_OK);
        EXPECT_EQ(limitstest::CrcOfFiles('T', c.list, &sum), RC_OK);
        EXPECT_EQ(sum, expectedSum);
    }

    // The commas of the handled names, and the one that ends the walk at an
    // empty name, are cut in place; the rest of the list is left alone.
    std::string list = a + ",," + b;
    char status[32];
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(LoadFiles(1, 'T', list.data(), status), RC_OK);
    EXPECT_EQ(list, a + std::string(2, '\0') + b);
}

TEST_F(FileLists, ElevenAndTwelveNamesAnswer108AfterTenSections) {
    for (const int count : {11, 12}) {
        SCOPED_TRACE(std::to_string(count) + " names");
        const std::vector<std::string> names = Names(m_dir, "in", count, -1);
        std::string list = limitstest::JoinList(names);
        char status[32] = "unwritten";
        vektest::FillBuffer(1, {"kept"});
        EXPECT_EQ(LoadFiles(1, 'T', list.data(), status), RC_TOO_MANY_FILES);
        EXPECT_STREQ(status, "unwritten");
        std::vector<std::string> lines = {"kept"};
        std::string unused;
        ExpectedLoad('T', -1, {10, RC_TOO_MANY_FILES}, &lines, &unused);
        EXPECT_EQ(vektest::BufferLines(1), lines);
        limitstest::ExpectConsistent(1);
        // Ten commas cut; the one after the eleventh name, if any, stays.
        std::string cut;
        for (int k = 0; k < count; ++k) {
            cut += names[static_cast<std::size_t>(k)];
            if (k + 1 < count) {
                cut.push_back(k < 10 ? '\0' : ',');
            }
        }
        EXPECT_EQ(list, cut);

        // The first ten files are written, then 108.
        const std::vector<std::string> out =
            Names(m_dir, "out" + std::to_string(count) + "_", count, -1);
        ASSERT_EQ(InitBuf(1), RC_OK);
        ASSERT_EQ(Load(1, 'T', limitstest::JoinList(names)), RC_TOO_MANY_FILES);
        EXPECT_EQ(limitstest::Write(1, 'T', limitstest::JoinList(out)), RC_TOO_MANY_FILES);
        for (int k = 0; k < count; ++k) {
            const std::string& name = out[static_cast<std::size_t>(k)];
            if (k < 9) {
                EXPECT_EQ(ReadFileBytes(name), "file #" + TwoDigits(k) + "\r\n") << name;
            } else if (k == 9) {
                EXPECT_EQ(ReadFileBytes(name), Content(k)) << name;
            } else {
                EXPECT_FALSE(FileExists(name)) << name;
            }
        }

        // No checksum, also not for width 32.
        int sum = -1;
        EXPECT_EQ(limitstest::CrcOfFiles('T', limitstest::JoinList(names), &sum),
                  RC_TOO_MANY_FILES);
        std::string again = limitstest::JoinList(names);
        EXPECT_EQ(CrcFile('B', again.data(), 32, &sum), RC_TOO_MANY_FILES);
        EXPECT_EQ(sum, -1);
    }
    ASSERT_EQ(InitBuf(1), RC_OK);
}

// Every count from 1 to 12 with no empty name and with the empty name in
// every position, for both type letters: what LoadFiles appends and
// answers, what CrcFile answers, and what WriteFiles writes back to a list
// of the same shape.
TEST_F(FileLists, EveryCountAndEveryEmptyPositionRoundTrips) {
    vektest::FillBuffer(2, {"bystander"});
    const Fingerprint other = Take(2);
    int round = 0;
    for (const char type : {'T', 'B'}) {
        for (int count = 1; count <= kMaxNames; ++count) {
            for (int empty = -1; empty < count; ++empty) {
                SCOPED_TRACE(std::string("type ") + type + ", " + std::to_string(count) +
                             " names, empty name " + std::to_string(empty));
                const ListWalk walk = BundleWalk(count, empty);
                const std::string list = limitstest::JoinList(Names(m_dir, "in", count, empty));
                std::vector<std::string> lines;
                std::string status;
                ExpectedLoad(type, empty, walk, &lines, &status);

                ASSERT_EQ(InitBuf(1), RC_OK);
                EXPECT_EQ(LoadWithExactStatusRoom(1, type, list, count), walk.rc);
                EXPECT_EQ(m_status, status);
                EXPECT_EQ(vektest::BufferLines(1), lines);
                limitstest::ExpectConsistent(1);

                int sum = -1;
                int bufferSum = -2;
                ASSERT_EQ(Crc(1, 16, &bufferSum), RC_OK);
                EXPECT_EQ(limitstest::CrcOfFiles(type, list, &sum), walk.rc);
                EXPECT_EQ(sum, walk.rc == RC_OK ? bufferSum : -1);

                const std::string prefix = "o" + std::to_string(++round) + "_";
                const std::vector<std::string> out = Names(m_dir, prefix, count, empty);
                const Fingerprint loaded = Take(1);
                EXPECT_EQ(limitstest::Write(1, type, limitstest::JoinList(out)), walk.rc);
                EXPECT_EQ(Take(1), loaded);
                for (int k = 0; k < count; ++k) {
                    if (k == empty) {
                        continue;
                    }
                    const std::string& name = out[static_cast<std::size_t>(k)];
                    if (k >= walk.handled) {
                        EXPECT_FALSE(FileExists(name)) << name;
                    } else if (type == 'B' || k == 9) {
                        EXPECT_EQ(ReadFileBytes(name), Content(k)) << name;
                    } else {
                        EXPECT_EQ(ReadFileBytes(name), "file #" + TwoDigits(k) + "\r\n") << name;
                    }
                }
            }
        }
    }
    EXPECT_EQ(Take(2), other);
    ASSERT_EQ(InitBuf(1), RC_OK);
}

TEST_F(FileLists, WriteFilesRefusesAnEmptyNameForASectionWithContent) {
    const std::vector<std::string> in = Names(m_dir, "in", 10, -1);
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'T', limitstest::JoinList(in)), RC_OK);
    const Fingerprint loaded = Take(1);

    // A full list with an empty third name: two files, then 105.
    const std::vector<std::string> third = Names(m_dir, "third", 10, 2);
    EXPECT_EQ(limitstest::Write(1, 'T', limitstest::JoinList(third)), RC_WRITE_FAILED);
    EXPECT_EQ(ReadFileBytes(third[0]), "file #00\r\n");
    EXPECT_EQ(ReadFileBytes(third[1]), "file #01\r\n");
    for (int k = 3; k < 10; ++k) {
        EXPECT_FALSE(FileExists(third[static_cast<std::size_t>(k)]));
    }

    // Eleven names, the first empty: full, and the first section has
    // content, so nothing is written.
    const std::vector<std::string> first = Names(m_dir, "first", 11, 0);
    EXPECT_EQ(limitstest::Write(1, 'T', limitstest::JoinList(first)), RC_WRITE_FAILED);
    for (const std::string& name : first) {
        if (!name.empty()) {
            EXPECT_FALSE(FileExists(name)) << name;
        }
    }
    EXPECT_EQ(Take(1), loaded);
    ASSERT_EQ(InitBuf(1), RC_OK);
}

TEST_F(FileLists, CheckTypeStopsAtTheFirstEmptyNameAndAfterTenNames) {
    const std::string binary = m_dir.Path("binary");
    vektest::WriteFileBytes(binary, std::string("bin\0ary", 7));
    // Short lists.
    struct Case {
        std::string list;
        int rc;
        char type;
    };
    const std::string a = m_dir.Path("in00");
    const std::vector<Case> cases = {
        {"", RC_OK, 'T'},
        {",", RC_OK, 'T'},
        {"," + binary, RC_OK, 'T'},
        {a + ",," + binary, RC_OK, 'T'},
        {a + ",", RC_OK, 'T'},
        {binary + ",", RC_OK, 'B'},
        {a + ",," + m_dir.Path("missing"), RC_OK, 'T'},
        {a + "," + m_dir.Path("missing"), RC_READ_FAILED, 'T'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("list \"" + c.list + "\"");
        std::string list = c.list;
        char type = '?';
        EXPECT_EQ(CheckType(list.data(), &type), c.rc);
        EXPECT_EQ(type, c.type);
    }

    // Every count and empty position, with the binary file right after the
    // empty name: it is never examined.
    for (int count = 1; count <= kMaxNames; ++count) {
        for (int empty = -1; empty < count; ++empty) {
            SCOPED_TRACE(std::to_string(count) + " names, empty name " + std::to_string(empty));
            std::vector<std::string> names = Names(m_dir, "in", count, empty);
            if (empty >= 0 && empty + 1 < count) {
                names[static_cast<std::size_t>(empty + 1)] = binary;
            }
            const bool stopsAtEmpty = empty >= 0 && empty < 10;
            const int rc = !stopsAtEmpty && count > 10 ? RC_TOO_MANY_FILES : RC_OK;
            std::string list = limitstest::JoinList(names);
            std::unique_ptr<char[]> type(new char[1]);
            type[0] = '?';
            EXPECT_EQ(CheckType(list.data(), type.get()), rc);
            EXPECT_EQ(type[0], 'T');
        }
    }

    // Twelve names with the binary file in each place: found among the
    // first ten, never looked at after them.
    for (int at = 0; at < kMaxNames; ++at) {
        SCOPED_TRACE("binary file at " + std::to_string(at));
        std::vector<std::string> names = Names(m_dir, "in", kMaxNames, -1);
        names[static_cast<std::size_t>(at)] = binary;
        std::string list = limitstest::JoinList(names);
        char type = '?';
        EXPECT_EQ(CheckType(list.data(), &type), at < 10 ? RC_OK : RC_TOO_MANY_FILES);
        EXPECT_EQ(type, at < 10 ? 'B' : 'T');
    }
}

}  // namespace
