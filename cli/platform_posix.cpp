// The system as POSIX offers it.
#include <cstdint>
#include <cstdlib>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform.h"
#include "vek_trouble.h"

namespace vekcli::platform {

void SetBinary(std::FILE*) {}

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
    if (!IsSymbolicLink(name))
        return name;
    char* resolved = realpath(name.c_str(), nullptr);
    if (resolved == nullptr)
        return name;
    std::string target = resolved;
    std::free(resolved);
    return target;
}

void KeepModeOf(const std::string& target, const std::string& copy) {
    struct stat info {};
    if (stat(target.c_str(), &info) != 0)
        return;
    // The owner first: changing it may clear the set-user-ID bits again.
    // Only a privileged process may give a file away; otherwise it stays ours.
    if (chown(copy.c_str(), info.st_uid, info.st_gid) != 0)
        (void)!chown(copy.c_str(), static_cast<uid_t>(-1), info.st_gid);
    if (chmod(copy.c_str(), info.st_mode & 07777) != 0)
        Fail(target + ": cannot give the new copy the file's mode: " + SystemError());
}

int OpenToSync(const std::string& name) {
    return open(name.c_str(), O_RDONLY);
}

bool Sync(int fd) {
    return fsync(fd) == 0;
}

void MoveIntoPlace(const std::string& temp, const std::string& name) {
    if (std::rename(temp.c_str(), name.c_str()) != 0) {
        const std::string error = SystemError();
        std::remove(temp.c_str());
        Fail(name + ": cannot replace it with " + temp + ": " + error);
    }
}

void AdviseLargePages(void* data, std::size_t size) noexcept {
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kLargePage = 2 * 1024 * 1024;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (begin + size) & ~(kLargePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

}  // namespace vekcli::platform
