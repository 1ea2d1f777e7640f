// Failures in the middle of a file, produced with Linux devices: reading
// /proc/self/mem from its start fails after a successful open, and every
// write to /dev/full fails as a full disk would. Each export must answer with
// its code, keep what it had done, and not crash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files_model.h"
#include "files_test_util.h"
#include "support/test_support.h"

namespace {

using filestest::ExpectBufferHolds;
using filestest::JoinList;
using filestest::Load;
using vektest::BufferStats;
using vektest::TempDir;
using vektest::WriteFileBytes;

const std::string kUnreadable = "/proc/self/mem";
const std::string kFull = "/dev/full";

TEST(DeviceFailures, ReadErrorsAfterOpening) {
    TempDir dir;
    WriteFileBytes(dir.Path("a"), "a\n");
    std::string status;

    // LoadFiles: 100, status not copied, earlier sections and the failing
    // file's partial section stay.
    vektest::FillBuffer(1, {"kept"});
    EXPECT_EQ(Load(1, 'T', JoinList({dir.Path("a"), kUnreadable}), &status), RC_FAILED);
    EXPECT_EQ(status, "unwritten");
    ExpectBufferHolds(1, {"kept\n", " a\n", "E\n"});
    EXPECT_EQ(Load(1, 'B', JoinList({kUnreadable, dir.Path("a")}), &status), RC_FAILED);
    ExpectBufferHolds(1, {"kept\n", " a\n", "E\n", " begin 777 xxxx\n"});

    // CrcFile: the load's 100, no checksum.
    std::string list = kUnreadable;
    int sum = 4321;
    EXPECT_EQ(CrcFile('T', list.data(), 16, &sum), RC_FAILED);
    EXPECT_EQ(sum, 4321);

    // CheckType and ReadBuf: 104.
    list = kUnreadable;
    char type = '?';
    EXPECT_EQ(CheckType(list.data(), &type), RC_READ_FAILED);
    EXPECT_EQ(type, 'T');
    vektest::FillBuffer(2, {"kept"});
    EXPECT_EQ(ReadBuf(2, kUnreadable.c_str()), RC_READ_FAILED);
    ExpectBufferHolds(2, {"kept\n"});
}

TEST(DeviceFailures, WriteErrors) {
    TempDir dir;
    WriteFileBytes(dir.Path("t"), "text\n");
    WriteFileBytes(dir.Path("b"), std::string(300000, 'b'));
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(Load(1, 'T', JoinList({dir.Path("t"), dir.Path("t")})), RC_OK);
    // The first file is written; the second fails when its bytes go out.
    EXPECT_EQ(filestest::Write(1, 'T', JoinList({dir.Path("out"), kFull})), RC_FAILED);
    EXPECT_EQ(vektest::ReadFileBytes(dir.Path("out")), "text\r\n");

    // A binary file larger than one output buffer fails at the first full
    // buffer.
    ASSERT_EQ(InitBuf(2), RC_OK);
    ASSERT_EQ(Load(2, 'B', dir.Path("b")), RC_OK);
    const int lines = BufferStats(2).count;
    EXPECT_EQ(filestest::Write(2, 'B', kFull), RC_FAILED);
    EXPECT_EQ(BufferStats(2).count, lines);

    EXPECT_EQ(WriteBuf(1, kFull.c_str()), RC_WRITE_FAILED);
    // After all that, the files can still be written normally.
    EXPECT_EQ(filestest::Write(2, 'B', dir.Path("copy")), RC_OK);
    EXPECT_TRUE(vektest::ReadFileBytes(dir.Path("copy")) == std::string(300000, 'b'));
}

}  // namespace
