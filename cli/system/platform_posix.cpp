// The system as POSIX offers it.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "report/trouble.h"
#include "system/platform.h"

namespace vekcli::platform {

namespace {

bool g_closed[3] = {false, false, false};
sigset_t g_endSignals;

FileInfo InfoOf(const struct stat& st) {
    FileInfo info;
    info.exists = true;
    info.regular = S_ISREG(st.st_mode);
    info.directory = S_ISDIR(st.st_mode);
    info.device = static_cast<unsigned long long>(st.st_dev);
    info.inode = static_cast<unsigned long long>(st.st_ino);
    info.size = static_cast<long long>(st.st_size);
    info.links = static_cast<unsigned long long>(st.st_nlink);
    return info;
}

}  // namespace

std::FILE* OpenStream(const std::string& name, const char* mode) {
    return std::fopen(name.c_str(), mode);
}

bool Seek(std::FILE* stream, long long offset) {
    return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

long long Tell(std::FILE* stream) {
    return static_cast<long long>(ftello(stream));
}

bool TextFilesEndInCrLf() {
    return false;
}

void SetBinary(std::FILE*) {}

void GuardStandardStreams() {
    for (int fd = 0; fd < 3; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        g_closed[fd] = true;
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

bool StreamWasClosed(int fd) {
    return fd >= 0 && fd < 3 && g_closed[fd];
}

bool Stat(const std::string& name, FileInfo& info) {
    info = FileInfo{};
    struct stat st {};
    if (FaultDue(FileOp::kStat) || stat(name.c_str(), &st) != 0) {
        // Anything but "no such file" may hide a file that is there.
        info.exists = errno != ENOENT && errno != ENOTDIR;
        return false;
    }
    info = InfoOf(st);
    return true;
}

bool StatDescriptor(int fd, FileInfo& info) {
    info = FileInfo{};
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return false;
    info = InfoOf(st);
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat x {
    }, y{};
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

bool IsSymbolicLink(const std::string& name) {
    struct stat link {};
    return lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
}

std::string ResolveLink(const std::string& name) {
    std::string current = name;
    // A chain longer than the system's own limit is left to the open to refuse.
    for (int hops = 0; hops < 40 && IsSymbolicLink(current); ++hops) {
        std::string target(4096, '\0');
        const ssize_t size = readlink(current.c_str(), target.data(), target.size());
        if (size <= 0 || static_cast<std::size_t>(size) >= target.size())
            break;
        target.resize(static_cast<std::size_t>(size));
        // A link of /proc to a pipe or socket ("pipe:[123]") names no file:
        // the name stays as it is, and is opened as the pipe it leads to.
        if (target.find(":[") != std::string::npos && target[0] != '/' && target[0] != '.')
            break;
        if (target[0] != '/') {
            const std::size_t slash = current.rfind('/');
            if (slash != std::string::npos)
                target = current.substr(0, slash + 1) + target;
        }
        current = target;
    }
    return current;
}

bool MayReplace(const std::string& name) {
    const uid_t me = geteuid();
    if (me == 0)
        return true;
    const std::size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    struct stat dir {
    }, file{};
    if (stat(folder.c_str(), &dir) != 0 || stat(name.c_str(), &file) != 0)
        return true;  // the rename itself will say why not
    return (dir.st_mode & S_ISVTX) == 0 || file.st_uid == me || dir.st_uid == me;
}

bool MayWrite(const std::string& name) {
    if (faccessat(AT_FDCWD, name.c_str(), W_OK, AT_EACCESS) == 0)
        return true;
    return errno != EACCES && errno != EPERM && errno != EROFS;  // others: let writing say
}

int CreateExclusive(const std::string& name) {
    if (FaultDue(FileOp::kOpen))
        return -1;
    return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

int OpenForWriting(const std::string& name) {
    if (FaultDue(FileOp::kOpen))
        return -1;
    return open(name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
}

bool WriteAll(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        if (FaultDue(FileOp::kWrite))
            return false;
        // Pieces of at most 1 GiB: some systems refuse larger ones.
        const ssize_t done = write(fd, bytes, std::min<std::size_t>(size, 1u << 30));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (done == 0) {
            errno = ENOSPC;
            return false;
        }
        bytes += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

bool ReadAttributes(const std::string& name, std::vector<Attribute>& attributes,
                    std::string& failed) {
    attributes.clear();
    failed.clear();
    // Sizes are asked first; a list or value that grows in between is asked
    // again.
    std::string names;
    for (;;) {
        const ssize_t size = listxattr(name.c_str(), nullptr, 0);
        if (size <= 0)
            return size == 0 || errno == ENOTSUP;
        names.resize(static_cast<std::size_t>(size));
        const ssize_t got = listxattr(name.c_str(), names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE)
            return errno == ENOTSUP;
    }
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const std::string key = names.c_str() + at;
        if (key.empty())
            break;
        std::string value;
        ssize_t got = -1;
        for (;;) {
            const ssize_t size = getxattr(name.c_str(), key.c_str(), nullptr, 0);
            if (size < 0)
                break;
            value.resize(static_cast<std::size_t>(size));
            got = getxattr(name.c_str(), key.c_str(), value.data(), value.size());
            if (got >= 0 || errno != ERANGE)
                break;
        }
        if (got < 0 && errno == ENODATA)
            continue;  // gone meanwhile
        if (got < 0) {
            failed = key;
            return false;
        }
        value.resize(static_cast<std::size_t>(got));
        attributes.push_back({key, std::move(value)});
    }
    return true;
}

bool CarryOver(int fd, const std::string& model, const std::vector<Attribute>& attributes,
               std::string& failed) {
    failed.clear();
    struct stat info {};
    if (FaultDue(FileOp::kStat) || stat(model.c_str(), &info) != 0)
        return false;
    // Only a privileged process may give a file away; otherwise it stays ours
    // (and takes the group where we belong to it).
    if (fchown(fd, info.st_uid, info.st_gid) != 0)
        (void)!fchown(fd, static_cast<uid_t>(-1), info.st_gid);
    const char* const accessAcl = "system.posix_acl_access";
    bool acl = false;
    for (const Attribute& attribute : attributes) {
        acl = acl || attribute.name == accessAcl;
        if (fsetxattr(fd, attribute.name.c_str(), attribute.value.data(), attribute.value.size(),
                      0) != 0) {
            failed = attribute.name;
            return false;
        }
    }
    if (!acl && fremovexattr(fd, accessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) {
        failed = accessAcl;
        return false;
    }
    // The mode's group bits are an ACL's mask: set again, they give the
    // mask back as it was.
    return fchmod(fd, info.st_mode & 07777) == 0;
}

bool SetNewFileMode(int fd) {
    const mode_t mask = umask(0);
    umask(mask);
    return fchmod(fd, 0666 & ~mask) == 0;
}

bool SetMode(int fd, unsigned mode) {
    return fchmod(fd, static_cast<mode_t>(mode & 07777)) == 0;
}

bool SyncDescriptor(int fd) {
    if (FaultDue(FileOp::kSync))
        return false;
    // A device or pipe that cannot be synced has nothing to sync.
    return fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

bool CloseDescriptor(int fd) {
    if (FaultDue(FileOp::kClose)) {
        close(fd);
        errno = EIO;
        return false;
    }
    return close(fd) == 0;
}

bool SyncFile(const std::string& name) {
    if (FaultDue(FileOp::kOpen))
        return false;
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool synced = SyncDescriptor(fd);
    const int error = errno;
    const bool closed = CloseDescriptor(fd);
    if (!synced)
        errno = error;
    return synced && closed;
}

#ifdef __linux__
namespace {
// syncfs for the file system of each name, once per file system; with
// `firstFailure` it stops at the first name it cannot sync.
bool SyncFileSystems(const std::vector<std::string>& names, bool firstFailure) {
    std::vector<dev_t> synced;
    bool ok = true;
    for (const std::string& name : names) {
        struct stat info;
        if (lstat(name.c_str(), &info) != 0) {
            ok = false;
            if (firstFailure)
                return false;
            continue;
        }
        if (std::find(synced.begin(), synced.end(), info.st_dev) != synced.end())
            continue;
        synced.push_back(info.st_dev);
        const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        bool done = fd >= 0 && syncfs(fd) == 0;
        const int error = errno;
        if (fd >= 0 && !CloseDescriptor(fd) && done)
            done = false;
        else
            errno = error;
        ok = ok && done;
        if (!ok && firstFailure)
            return false;
    }
    return ok;
}
}  // namespace
#endif

bool SyncFiles(const std::vector<std::string>& names) {
#ifdef __linux__
    return names.empty() || (!FaultDue(FileOp::kSync) && SyncFileSystems(names, true));
#else
    for (const std::string& name : names)
        if (!SyncFile(name))
            return false;
    return true;
#endif
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd >= 0) {
        (void)fsync(fd);
        close(fd);
    }
}

void StartWriteback(int fd, long long offset, long long size) {
#if defined(__linux__)
    sync_file_range(fd, offset, size, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd, (void)offset, (void)size;
#endif
}

void SyncFolders(const std::vector<std::string>& folders) {
#ifdef __linux__
    (void)SyncFileSystems(folders, false);
#else
    for (const std::string& folder : folders)
        SyncFolder(folder);
#endif
}

bool Rename(const std::string& from, const std::string& to) {
    if (FaultDue(FileOp::kRename))
        return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool Link(const std::string& from, const std::string& to) {
    return !FaultDue(FileOp::kLink) && link(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& name) {
    return unlink(name.c_str()) == 0;
}

bool RemoveEmptyFolder(const std::string& name) {
    return rmdir(name.c_str()) == 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

std::size_t LastFolderSeparator(const std::string& path) {
    // A backslash is an ordinary character of a name here.
    return path.rfind('/');
}

std::string DefaultTemporaryFolder() {
    return "/tmp/";
}

long ProcessId() {
    return static_cast<long>(getpid());
}

bool ProcessRuns(long id) {
    return kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

void OnEndSignals(void (*handler)(int)) {
    sigemptyset(&g_endSignals);
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&g_endSignals, signal);
        sigaddset(&action.sa_mask, signal);
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal the caller chose to ignore stays ignored.
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
}

void HoldEndSignals() {
    sigprocmask(SIG_BLOCK, &g_endSignals, nullptr);
}

void ReleaseEndSignals() {
    sigprocmask(SIG_UNBLOCK, &g_endSignals, nullptr);
}

bool EndSignalHeld() {
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0)
        return false;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        if (sigismember(&pending, signal) == 1)
            return true;
    return false;
}

void DieOfSignal(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    sigprocmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
    _exit(128 + signal);
}

namespace {

// `advice` for the units of `unit` bytes that lie wholly in the range.
[[maybe_unused]] void AdviseWhole(void* data, std::size_t size, std::uintptr_t unit, int advice) {
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + unit - 1) & ~(unit - 1);
    const std::uintptr_t last = (begin + size) & ~(unit - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, advice);
}

}  // namespace

void AdviseLargePages(void* data, std::size_t size) noexcept {
#if defined(MADV_HUGEPAGE)
    AdviseWhole(data, size, 2 * 1024 * 1024, MADV_HUGEPAGE);
#endif
#if defined(MADV_POPULATE_WRITE)
    AdviseWhole(data, size, 4096, MADV_POPULATE_WRITE);
#endif
    (void)data;
    (void)size;
}

}  // namespace vekcli::platform
