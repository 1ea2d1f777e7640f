// WriteFiles and WriteBuf on a full disk. Two ways to run out of room: a
// 32 KiB tmpfs mounted for the test (needs the right to mount), and a file
// size limit of 32 KiB (RLIMIT_FSIZE, SIGXFSZ ignored) in a child process,
// which any user can set. Either way the write that does not fit fails:
// WriteFiles answers 100 and WriteBuf 105, the file keeps the bytes written
// before, no buffer changes and the library goes on working. Each export
// meets the failure both in the middle of its data (more bytes than its
// output block) and only when the file is closed (fewer).
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "limits/limits_support.h"
#include "support/test_support.h"

namespace {

using limitstest::Fingerprint;
using limitstest::Take;
using vektest::ReadFileBytes;
using vektest::TempDir;

constexpr std::size_t kRoom = 32 * 1024;

// `lines` lines of 99 bytes and a line feed, each beginning with its number.
std::string TextBytes(int lines, char fill) {
    std::string bytes;
    for (int i = 0; i < lines; ++i) {
        std::string line = std::to_string(i) + ":";
        line.resize(99, fill);
        bytes += line + "\n";
    }
    return bytes;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out.push_back('\r');
        }
        out.push_back(c);
    }
    return out;
}

std::string BinaryBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 99;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// Collects what went wrong as text, so that the same checks can run in a
// child process and be reported by the parent.
class Findings {
  public:
    void Check(bool ok, const std::string& what) {
        if (!ok) {
            m_problems.push_back(what);
        }
    }
    void Code(int got, int want, const std::string& what) {
        Check(got == want,
              what + " answered " + std::to_string(got) + ", not " + std::to_string(want));
    }
    // The file holds a true prefix of `expected`, at least one byte of it
    // when `someBytes` (nothing was in the way before it).
    void Prefix(const std::string& path, const std::string& expected, bool someBytes) {
        const std::string bytes = ReadFileBytes(path);
        Check(bytes.size() < expected.size() && expected.compare(0, bytes.size(), bytes) == 0,
              path + " (" + std::to_string(bytes.size()) +
                  " bytes) is not a cut-off start of the expected " +
                  std::to_string(expected.size()) + " bytes");
        if (someBytes) {
            Check(!bytes.empty(), path + " is empty: the bytes that fitted were not written");
        }
    }
    std::string Text() const {
        std::string text;
        for (const std::string& problem : m_problems) {
            text += problem + "\n";
        }
        return text;
    }
    bool Empty() const { return m_problems.empty(); }

  private:
    std::vector<std::string> m_problems;
};

// The buffers and files of the runs below.
struct Material {
    std::string small = "hello\n";
    std::string text = TextBytes(2000, 't');        // 200,000 bytes: less than one 256 KiB block
    std::string binary = BinaryBytes(300000);       // more than one 256 KiB block
    std::string plainLarge = TextBytes(2000, 'p');  // more than one 64 KiB block
    std::string plainSmall = TextBytes(500, 'q');   // 50,000 bytes: less than one
};

// Writes the material's files to `source` and loads the three buffers.
void LoadMaterial(const Material& m, const TempDir& source) {
    vektest::WriteFileBytes(source.Path("small"), m.small);
    vektest::WriteFileBytes(source.Path("text"), m.text);
    vektest::WriteFileBytes(source.Path("binary"), m.binary);
    ASSERT_EQ(InitBuf(1), RC_OK);
    ASSERT_EQ(limitstest::Load(1, 'T', source.Path("small") + "," + source.Path("text")), RC_OK);
    ASSERT_EQ(InitBuf(2), RC_OK);
    ASSERT_EQ(limitstest::Load(2, 'B', source.Path("binary")), RC_OK);
    vektest::WriteFileBytes(source.Path("plain"), WithCrLf(m.plainLarge));
    vektest::WriteFileBytes(source.Path("plain-small"), WithCrLf(m.plainSmall));
    ASSERT_EQ(InitBuf(3), RC_OK);
    ASSERT_EQ(ReadBuf(3, source.Path("plain").c_str()), RC_OK);
}

// The writes that fail, then the same material written where there is room.
// `full` is the directory without room; `roomy` one with room; `lift` is
// called before the writes that must succeed.
Findings FullDiskRun(const Material& m, const std::string& full, const std::string& roomy,
                     const std::function<void()>& lift) {
    Findings f;
    std::vector<Fingerprint> before;
    for (int buf = 1; buf <= 3; ++buf) {
        before.push_back(Take(buf));
    }
    auto unchanged = [&](const std::string& after) {
        for (int buf = 1; buf <= 3; ++buf) {
            f.Check(Take(buf) == before[static_cast<std::size_t>(buf - 1)],
                    "buffer " + std::to_string(buf) + " changed after " + after);
        }
    };
    const std::string small = full + "/small.out";
    const std::string text = full + "/text.out";
    const std::string binary = full + "/binary.out";
    const std::string plain = full + "/plain.out";

    // Text files: the small one is written, the large one fails when it is
    // closed.
    f.Code(limitstest::Write(1, 'T', small + "," + text), RC_FAILED, "WriteFiles of text");
    f.Check(ReadFileBytes(small) == "hello\r\n", "the small file was not written whole");
    f.Prefix(text, WithCrLf(m.text), true);
    unchanged("WriteFiles of text");
    ::unlink(small.c_str());
    ::unlink(text.c_str());

    // A binary file that fails at its first full block.
    f.Code(limitstest::Write(2, 'B', binary), RC_FAILED, "WriteFiles of a binary file");
    f.Prefix(binary, m.binary, true);
    unchanged("WriteFiles of a binary file");
    ::unlink(binary.c_str());

    // WriteBuf in the middle of its data, and at the close.
    f.Code(WriteBuf(3, plain.c_str()), RC_WRITE_FAILED, "WriteBuf of 200,000 bytes");
    f.Prefix(plain, WithCrLf(m.plainLarge), true);
    unchanged("WriteBuf");
    ::unlink(plain.c_str());
    f.Code(WriteBuf(1, plain.c_str()), RC_WRITE_FAILED, "WriteBuf of a bundle of 200,000 bytes");
    ::unlink(plain.c_str());
    unchanged("WriteBuf of a bundle");

    // The library goes on working: small files still fit the full place,
    // everything fits elsewhere.
    f.Code(limitstest::Write(1, 'T', small), RC_OK, "WriteFiles of the small file alone");
    f.Check(ReadFileBytes(small) == "hello\r\n", "the small file alone was not written");
    lift();
    f.Code(limitstest::Write(1, 'T', roomy + "/small.out," + roomy + "/text.out"), RC_OK,
           "WriteFiles of text with room");
    f.Check(ReadFileBytes(roomy + "/text.out") == WithCrLf(m.text), "text written with room");
    f.Code(limitstest::Write(2, 'B', roomy + "/binary.out"), RC_OK, "WriteFiles binary with room");
    f.Check(ReadFileBytes(roomy + "/binary.out") == m.binary, "binary written with room");
    f.Code(WriteBuf(3, (roomy + "/plain.out").c_str()), RC_OK, "WriteBuf with room");
    f.Check(ReadFileBytes(roomy + "/plain.out") == WithCrLf(m.plainLarge), "plain with room");
    unchanged("the writes with room");
    return f;
}

// A buffer of fewer bytes than WriteBuf's 64 KiB block but more than the
// room: the failure comes when the file is closed.
Findings SmallWriteBufRun(const Material& m, const std::string& full, const TempDir& source) {
    Findings f;
    f.Code(InitBuf(3), RC_OK, "InitBuf");
    f.Code(ReadBuf(3, source.Path("plain-small").c_str()), RC_OK, "ReadBuf");
    const Fingerprint before = Take(3);
    const std::string plain = full + "/plain-small.out";
    f.Code(WriteBuf(3, plain.c_str()), RC_WRITE_FAILED, "WriteBuf of 50,000 bytes");
    f.Prefix(plain, WithCrLf(m.plainSmall), true);
    f.Check(Take(3) == before, "buffer 3 changed after WriteBuf of 50,000 bytes");
    ::unlink(plain.c_str());
    return f;
}

// Mounts a tmpfs of kRoom bytes on `dir` for the object's lifetime.
class SmallFileSystem {
  public:
    explicit SmallFileSystem(std::string dir) : m_dir(std::move(dir)) {
        const std::string options = "size=" + std::to_string(kRoom) + ",mode=0700";
        m_mounted =
            ::mount("tmpfs", m_dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
        m_error = m_mounted ? 0 : errno;
    }
    ~SmallFileSystem() {
        if (m_mounted && ::umount2(m_dir.c_str(), 0) != 0) {
            ::umount2(m_dir.c_str(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    bool Mounted() const { return m_mounted; }
    int Error() const { return m_error; }

  private:
    std::string m_dir;
    bool m_mounted = false;
    int m_error = 0;
};

TEST(FullDisk, SmallTmpfs) {
    TempDir source;
    TempDir target;
    const std::string full = target.Path("full");
    ASSERT_EQ(::mkdir(full.c_str(), 0700), 0);
    const std::string roomy = target.Path("roomy");
    ASSERT_EQ(::mkdir(roomy.c_str(), 0700), 0);
    // Declared after the directories, so it is unmounted before they go,
    // also when an assertion ends the test early.
    SmallFileSystem fs(full);
    if (!fs.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(fs.Error())
                     << "); FullDisk.FileSizeLimit covers the failure";
    }
    const Material m;
    LoadMaterial(m, source);
    ASSERT_FALSE(HasFatalFailure());
    const Findings run = FullDiskRun(m, full, roomy, [] {});
    EXPECT_TRUE(run.Empty()) << run.Text();
    const Findings small = SmallWriteBufRun(m, full, source);
    EXPECT_TRUE(small.Empty()) << small.Text();
    for (int buf = 1; buf <= 3; ++buf) {
        ASSERT_EQ(InitBuf(buf), RC_OK);
    }
}

// The same runs in a child process whose files may not grow beyond kRoom
// bytes. The child sends its findings through a pipe.
TEST(FullDisk, FileSizeLimit) {
    TempDir source;
    TempDir target;
    const Material m;
    LoadMaterial(m, source);
    ASSERT_FALSE(HasFatalFailure());
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit original = limit;
        limit.rlim_cur = kRoom;
        std::string text;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            text = "setrlimit failed\n";
        } else {
            const Findings run = FullDiskRun(m, target.Path(""), target.Path(""),
                                             [&] { ::setrlimit(RLIMIT_FSIZE, &original); });
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const Findings small = SmallWriteBufRun(m, target.Path(""), source);
            text = run.Text() + small.Text();
        }
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t put = ::write(channel[1], text.data() + done, text.size() - done);
            if (put <= 0) {
                break;
            }
            done += static_cast<std::size_t>(put);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string report;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(channel[0], chunk, sizeof chunk);
        if (got <= 0) {
            break;
        }
        report.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(channel[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status))
        << "the child ended with signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(report, "");
    // The parent's buffers are its own; the library works here as well.
    EXPECT_EQ(limitstest::Write(1, 'T', target.Path("p1") + "," + target.Path("p2")), RC_OK);
    EXPECT_TRUE(ReadFileBytes(target.Path("p2")) == WithCrLf(m.text));
    for (int buf = 1; buf <= 3; ++buf) {
        ASSERT_EQ(InitBuf(buf), RC_OK);
    }
}

}  // namespace
