// POSIX files. Exclusive access is approximated with advisory whole-file
// locks (flock): an exclusive open takes LOCK_EX, a shared open LOCK_SH, both
// without waiting. Openers that play by the same rule (every open of this
// library, in this process or another) are held off the way Windows sharing
// modes hold them off; programs that take no locks are not. A file opened for
// writing is created without truncation, locked, and only then truncated, so
// a file that someone else holds is never cut short. Commit is fdatasync.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/failure.h"
#include "common/fault_injection.h"
#include "platform/file.h"

namespace vek::platform {

namespace {

[[noreturn]] void Raise(const char* what, int error) {
    throw FileFailure(std::string(what) + ": " + std::strerror(error));
}

int Descriptor(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// The system calls that can fail for reasons outside the program (storage,
// permissions, devices). Each one is a point where a test build can make the
// call fail with `error` as if the system had refused it.
bool Injected(int error) noexcept {
    if (!fault::Due(fault::Point::kFileOperation)) {
        return false;
    }
    errno = error;
    return true;
}

int SysOpen(const char* name, int flags) {
    return Injected(EACCES) ? -1 : ::open(name, flags, 0666);
}

int SysTruncate(int fd) {
    return Injected(EIO) ? -1 : ::ftruncate(fd, 0);
}

ssize_t SysRead(int fd, void* data, std::size_t count) {
    return Injected(EIO) ? -1 : ::read(fd, data, count);
}

ssize_t SysWrite(int fd, const void* data, std::size_t count) {
    return Injected(ENOSPC) ? -1 : ::write(fd, data, count);
}

int SysSync(int fd) {
    return Injected(EIO) ? -1 : ::fdatasync(fd);
}

// Like close(2), the descriptor is gone even when the close reports an error.
int SysClose(int fd) {
    const int rc = ::close(fd);
    return Injected(EIO) ? -1 : rc;
}

// The descriptor of an open in progress: closed without a word if the open
// fails before it is handed to the File.
class OpeningDescriptor {
  public:
    explicit OpeningDescriptor(int fd) noexcept : m_fd(fd) {}
    OpeningDescriptor(const OpeningDescriptor&) = delete;
    OpeningDescriptor& operator=(const OpeningDescriptor&) = delete;
    ~OpeningDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    int Get() const noexcept { return m_fd; }
    int Hand() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

  private:
    int m_fd;
};

}  // namespace

File::~File() {
    Release();
}

void File::Release() noexcept {
    if (m_handle != kNoHandle) {
        ::close(Descriptor(m_handle));
        m_handle = kNoHandle;
    }
}

bool File::IsOpen() const noexcept {
    return m_handle != kNoHandle;
}

void File::Open(const char* name, OpenMode mode) {
    if (IsOpen()) {
        throw FileFailure("file already open");
    }
    // O_NONBLOCK only for the open itself: a FIFO without a writer must not
    // make the open wait.
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    flags |= mode == OpenMode::kWriteExclusive ? (O_WRONLY | O_CREAT) : O_RDONLY;
    OpeningDescriptor opening(SysOpen(name, flags));
    const int fd = opening.Get();
    if (fd < 0) {
        Raise("open", errno);
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        Raise("stat", errno);
    }
    if (S_ISDIR(info.st_mode)) {
        Raise("open", EISDIR);
    }
    const int lock = mode == OpenMode::kReadShared ? LOCK_SH : LOCK_EX;
    int rc;
    do {
        rc = ::flock(fd, lock | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    // Only another holder refuses the open; a file system that cannot lock
    // at all leaves the file unguarded rather than unusable.
    if (rc != 0 && errno == EWOULDBLOCK) {
        Raise("lock", EWOULDBLOCK);
    }
    if (mode == OpenMode::kWriteExclusive && S_ISREG(info.st_mode) && SysTruncate(fd) != 0) {
        Raise("truncate", errno);
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
        Raise("fcntl", errno);
    }
    m_handle = opening.Hand();
}

std::size_t File::Read(void* data, std::size_t count) {
    if (!IsOpen()) {
        throw FileFailure("read: file not open");
    }
    char* out = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = SysRead(Descriptor(m_handle), out + done, count - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            Raise("read", errno);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void File::Write(const void* data, std::size_t count) {
    if (!IsOpen()) {
        throw FileFailure("write: file not open");
    }
    const char* in = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t put = SysWrite(Descriptor(m_handle), in, count);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            Raise("write", errno);
        }
        if (put == 0) {
            Raise("write", ENOSPC);
        }
        in += put;
        count -= static_cast<std::size_t>(put);
    }
}

void File::Flush() {
    Commit();
}

void File::Commit() {
    if (!IsOpen()) {
        throw FileFailure("flush: file not open");
    }
    if (SysSync(Descriptor(m_handle)) != 0 && errno != EINVAL && errno != EROFS) {
        // EINVAL/EROFS: a special file (pipe, device) that has no storage to
        // commit to.
        Raise("fdatasync", errno);
    }
}

void File::Close() {
    if (!IsOpen()) {
        return;
    }
    const int fd = Descriptor(m_handle);
    m_handle = kNoHandle;
    if (SysClose(fd) != 0 && errno != EINTR) {
        Raise("close", errno);
    }
}

}  // namespace vek::platform

namespace vek::platform {

namespace {

// A name beside `path` that no file has yet: the path with a suffix made of
// the process id and a counter shared by every thread.
std::string NameBeside(const char* path, const char* kind) {
    static std::atomic<unsigned long> counter{0};
    return std::string(path) + "." + kind + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
}

int SysRename(const char* from, const char* to) {
    return Injected(EIO) ? -1 : ::rename(from, to);
}

int SysLink(const char* from, const char* to) {
    return Injected(EIO) ? -1 : ::link(from, to);
}

}  // namespace

void File::CreateBeside(const char* path, std::string& tempName) {
    if (IsOpen()) {
        throw FileFailure("file already open");
    }
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY;
    for (;;) {
        tempName = NameBeside(path, "vek");
        OpeningDescriptor opening(SysOpen(tempName.c_str(), flags));
        if (opening.Get() < 0) {
            if (errno == EEXIST) {
                continue;
            }
            Raise("create", errno);
        }
        struct stat info;
        if (::stat(path, &info) == 0) {
            // The owner only where allowed; the mode as it was.
            (void)!::fchown(opening.Get(), info.st_uid, info.st_gid);
            if (::fchmod(opening.Get(), info.st_mode & 07777) != 0) {
                const int error = errno;
                ::unlink(tempName.c_str());
                Raise("chmod", error);
            }
        }
        ::flock(opening.Get(), LOCK_EX | LOCK_NB);
        m_handle = opening.Hand();
        return;
    }
}

TargetKind InspectTarget(const char* name, std::string& path) {
    path = name;
    struct stat info;
    if (::lstat(name, &info) == 0 && S_ISLNK(info.st_mode)) {
        char* resolved = ::realpath(name, nullptr);
        if (resolved != nullptr) {
            path = resolved;
            std::free(resolved);
        }
    }
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? TargetKind::kAbsent : TargetKind::kRefused;
    }
    if (S_ISDIR(info.st_mode)) {
        return TargetKind::kRefused;
    }
    OpeningDescriptor opening(SysOpen(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (opening.Get() < 0) {
        return TargetKind::kRefused;
    }
    int rc;
    do {
        rc = ::flock(opening.Get(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno == EWOULDBLOCK) {
        return TargetKind::kRefused;
    }
    return S_ISREG(info.st_mode) ? TargetKind::kRegular : TargetKind::kSpecial;
}

void SetAside(const char* path, std::string& backupName) {
    for (;;) {
        backupName = NameBeside(path, "vekold");
        if (SysLink(path, backupName.c_str()) == 0) {
            return;
        }
        if (errno == EEXIST) {
            continue;
        }
        // A file system without hard links: move the file instead.
        if (errno == EPERM || errno == ENOTSUP || errno == EMLINK) {
            if (SysRename(path, backupName.c_str()) == 0) {
                return;
            }
        }
        Raise("link", errno);
    }
}

void RenameOnto(const char* from, const char* to) {
    if (SysRename(from, to) != 0) {
        Raise("rename", errno);
    }
}

void RemoveName(const char* name) noexcept {
    ::unlink(name);
}

}  // namespace vek::platform
