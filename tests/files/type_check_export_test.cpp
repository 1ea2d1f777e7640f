// CheckType: text or binary by the first 512 bytes, and its own list walk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files_test_util.h"
#include "support/test_support.h"

namespace {

using filestest::JoinList;
using vektest::TempDir;
using vektest::WriteFileBytes;

int Check(const std::string& list, char* type) {
    std::string cut = list;
    return CheckType(cut.data(), type);
}

TEST(CheckTypeExport, ByteTable) {
    TempDir dir;
    std::string highAndSpace;
    for (int b = 0x80; b <= 0xFF; ++b) {
        highAndSpace.push_back(static_cast<char>(b));
    }
    highAndSpace += "\t\r\n\v\f ~";
    WriteFileBytes(dir.Path("empty"), "");
    WriteFileBytes(dir.Path("high"), highAndSpace);
    WriteFileBytes(dir.Path("late"), std::string(512, 'a') + '\0');
    char type = '?';
    for (const char* name : {"empty", "high", "late"}) {
        SCOPED_TRACE(name);
        type = '?';
        EXPECT_EQ(Check(dir.Path(name), &type), RC_OK);
        EXPECT_EQ(type, 'T');
    }
    // Every byte whose table entry is 0, alone among text bytes.
    for (int b = 0; b < 0x100; ++b) {
        const bool text = (b >= 0x09 && b <= 0x0D) || (b >= 0x20 && b <= 0x7E) || b >= 0x80;
        if (text) {
            continue;
        }
        SCOPED_TRACE(b);
        WriteFileBytes(dir.Path("one"), std::string(511, 'x') + static_cast<char>(b));
        type = '?';
        EXPECT_EQ(Check(dir.Path("one"), &type), RC_OK);
        EXPECT_EQ(type, 'B');
    }
}

TEST(CheckTypeExport, ListWalk) {
    TempDir dir;
    WriteFileBytes(dir.Path("one.txt"), "one\n");
    WriteFileBytes(dir.Path("two.txt"), "two\n");
    WriteFileBytes(dir.Path("bin"), std::string("\x01", 1));
    const std::string missing = dir.Path("missing");
    char type = '?';

    // One-character names are skipped unopened (a missing "x" does not fail).
    EXPECT_EQ(Check(JoinList({dir.Path("one.txt"), "x", dir.Path("bin")}), &type), RC_OK);
    EXPECT_EQ(type, 'B');
    // An empty name ends the walk.
    EXPECT_EQ(Check(JoinList({dir.Path("one.txt"), "", dir.Path("bin")}), &type), RC_OK);
    EXPECT_EQ(type, 'T');
    EXPECT_EQ(Check("", &type), RC_OK);
    EXPECT_EQ(type, 'T');
    // A binary file first: later names are not examined.
    type = '?';
    EXPECT_EQ(Check(JoinList({dir.Path("bin"), missing}), &type), RC_OK);
    EXPECT_EQ(type, 'B');
    // A missing file before any binary file.
    type = '?';
    EXPECT_EQ(Check(JoinList({dir.Path("one.txt"), missing, dir.Path("bin")}), &type),
              RC_READ_FAILED);
    EXPECT_EQ(type, 'T');
    EXPECT_EQ(Check(dir.Path(""), &type), RC_READ_FAILED);

    // More than ten names: 108 unless a binary file comes first.
    std::vector<std::string> eleven(11, dir.Path("one.txt"));
    EXPECT_EQ(Check(JoinList(eleven), &type), RC_TOO_MANY_FILES);
    EXPECT_EQ(type, 'T');
    EXPECT_EQ(Check(JoinList(std::vector<std::string>(10, dir.Path("two.txt"))) + ",", &type),
              RC_TOO_MANY_FILES);
    EXPECT_EQ(Check(JoinList(std::vector<std::string>(10, "x")) + ",y", &type), RC_TOO_MANY_FILES);
    eleven[2] = dir.Path("bin");
    EXPECT_EQ(Check(JoinList(eleven), &type), RC_OK);
    EXPECT_EQ(type, 'B');

    // The list is cut in place at the commas of the names handled.
    std::string list = JoinList({dir.Path("one.txt"), dir.Path("bin"), dir.Path("two.txt")});
    EXPECT_EQ(CheckType(list.data(), &type), RC_OK);
    EXPECT_EQ(list, dir.Path("one.txt") + '\0' + dir.Path("bin") + '\0' + dir.Path("two.txt"));
    EXPECT_EQ(CheckType(nullptr, &type), RC_FAILED);
}

TEST(CheckTypeExport, SharingWithOtherHolders) {
    TempDir dir;
    WriteFileBytes(dir.Path("file"), std::string("\x02", 1));
    char type = '?';
    {
        filestest::HeldFile shared(dir.Path("file"), false);
        ASSERT_TRUE(shared.Held());
        EXPECT_EQ(Check(dir.Path("file"), &type), RC_OK);
        EXPECT_EQ(type, 'B');
    }
    {
        filestest::HeldFile exclusive(dir.Path("file"), true);
        ASSERT_TRUE(exclusive.Held());
        EXPECT_EQ(Check(dir.Path("file"), &type), RC_READ_FAILED);
    }
}

}  // namespace
