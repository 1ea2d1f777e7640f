#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "system/platform.h"
#include "system/tree_files.h"

namespace vekcli::tree {

using platform::FaultDue;
using platform::FileOp;

namespace {

constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;

void Describe(const struct stat& data, EntryInfo& info) {
    info.mode = data.st_mode & 07777;
    info.size = data.st_size;
    info.links = static_cast<unsigned long long>(data.st_nlink);
    if (S_ISREG(data.st_mode))
        info.kind = Kind::kFile;
    else if (S_ISLNK(data.st_mode))
        info.kind = Kind::kLink;
    else if (S_ISDIR(data.st_mode))
        info.kind = Kind::kFolder;
    else
        info.kind = Kind::kOther;
}

bool LookUpAt(int folder, const char* name, EntryInfo& info) {
    info = EntryInfo{};
    if (FaultDue(FileOp::kStat))
        return false;
    struct stat data {};
    if (fstatat(folder, name, &data, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    Describe(data, info);
    return true;
}

void AddListed(const char* name, unsigned char type, std::vector<Listed>& entries) {
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return;
    const Kind kind = type == DT_REG   ? Kind::kFile
                      : type == DT_DIR ? Kind::kFolder
                      : type == DT_LNK ? Kind::kLink
                                       : Kind::kNone;
    entries.push_back(Listed{name, kind});
}

// The entries of a folder opened for listing (none: false); closes it.
bool ListAndClose(DIR* dir, std::vector<Listed>& entries) {
    if (dir == nullptr)
        return false;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        AddListed(entry->d_name, entry->d_type, entries);
        errno = 0;
    }
    const int error = errno;
    closedir(dir);
    std::sort(entries.begin(), entries.end());
    errno = error;
    return error == 0;
}

long long ReadSome(int fd, char* into, std::size_t room) {
    ssize_t got;
    do
        got = read(fd, into, room);
    while (got < 0 && errno == EINTR);
    return got;
}

// A file opened for reading, read whole; closes it.
bool ReadOpened(int fd, std::unique_ptr<char[]>& bytes, std::size_t& size, unsigned& mode) {
    size = 0;
    if (fd < 0)
        return false;
    struct stat data {};
    bool ok = fstat(fd, &data) == 0;
    if (ok && !S_ISREG(data.st_mode)) {
        errno = EINVAL;
        ok = false;
    }
    if (ok) {
        mode = data.st_mode & 07777;
        ok = ReadWhole([fd](char* into, std::size_t room) { return ReadSome(fd, into, room); },
                       static_cast<std::size_t>(data.st_size), bytes, size);
    }
    const int error = errno;
    close(fd);
    errno = error;
    return ok;
}

bool ReadLinkAt(int folder, const char* name, std::string& target) {
    if (FaultDue(FileOp::kStat))
        return false;
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t got = readlinkat(folder, name, &buffer[0], buffer.size());
        if (got < 0)
            return false;
        if (static_cast<std::size_t>(got) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(got));
            target = buffer;
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

bool LookUp(const std::string& path, EntryInfo& info) {
    return LookUpAt(AT_FDCWD, path.c_str(), info);
}

bool ListFolder(const std::string& folder, std::vector<Listed>& entries) {
    entries.clear();
    if (FaultDue(FileOp::kOpen))
        return false;
    return ListAndClose(opendir(folder.c_str()), entries);
}

bool ReadFile(const std::string& path, std::unique_ptr<char[]>& bytes, std::size_t& size,
              unsigned& mode) {
    size = 0;
    return !FaultDue(FileOp::kOpen) &&
           ReadOpened(open(path.c_str(), kReadFlags), bytes, size, mode);
}

bool ReadLink(const std::string& path, std::string& target) {
    return ReadLinkAt(AT_FDCWD, path.c_str(), target);
}

bool MakeLink(const std::string& target, const std::string& path, const std::string&) {
    return !FaultDue(FileOp::kOpen) && symlink(target.c_str(), path.c_str()) == 0;
}

bool MakeFolder(const std::string& path, unsigned mode) {
    if (FaultDue(FileOp::kOpen) || mkdir(path.c_str(), 0700) != 0)
        return false;
    // The mode asked for, whatever the umask says.
    return chmod(path.c_str(), mode) == 0 || (rmdir(path.c_str()), false);
}

bool RemoveFolder(const std::string& path) {
    return !FaultDue(FileOp::kRename) && rmdir(path.c_str()) == 0;
}

bool RemoveTree(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr)
        return false;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    bool ok = true;
    for (const std::string& name : names) {
        const std::string inside = path + "/" + name;
        struct stat data {};
        if (lstat(inside.c_str(), &data) == 0 && S_ISDIR(data.st_mode))
            ok = RemoveTree(inside) && ok;
        else
            ok = unlink(inside.c_str()) == 0 && ok;
    }
    return rmdir(path.c_str()) == 0 && ok;
}

bool SetMode(const std::string& path, unsigned mode) {
    return !FaultDue(FileOp::kSync) && chmod(path.c_str(), mode) == 0;
}

std::string SystemPathFault(const std::string&) {
    return std::string();
}

unsigned KeptMode(Kind, unsigned mode) {
    return mode;
}

bool ReadOnlyInTheWay(const std::string&) {
    return false;
}

bool FinishPlaced(const std::string&, unsigned) {
    return true;
}

std::string OtherKindWords(const std::string&) {
    return "a device, pipe or socket";
}

std::string LinkAdvice(int) {
    return std::string();
}

OpenFolder::~OpenFolder() {
    if (m_handle >= 0)
        close(m_handle);
}

bool OpenFolder::Open(const std::string& path) {
    m_path = path;
    if (FaultDue(FileOp::kOpen))
        return false;
    m_handle = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return m_handle >= 0;
}

bool OpenFolder::Open(const OpenFolder& parent, const std::string& name) {
    m_path = parent.Inside(name);
    if (FaultDue(FileOp::kOpen))
        return false;
    m_handle =
        openat(parent.m_handle, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return m_handle >= 0;
}

// Listed from the handle itself, through a buffer on the stack: a listing
// stream would hold a buffer of tens of KiB for as long as the folder is
// open, and a walk holds many folders open.
bool OpenFolder::List(std::vector<Listed>& entries) const {
    entries.clear();
    if (FaultDue(FileOp::kOpen))
        return false;
    if (lseek(m_handle, 0, SEEK_SET) != 0)
        return false;
#if defined(__linux__)
    alignas(dirent64) char buffer[16 * 1024];
    for (;;) {
        const ssize_t got = getdents64(m_handle, buffer, sizeof buffer);
        if (got <= 0) {
            std::sort(entries.begin(), entries.end());
            return got == 0;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            AddListed(entry->d_name, entry->d_type, entries);
            at += entry->d_reclen;
        }
    }
#else
    const int fd = dup(m_handle);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr && fd >= 0)
        close(fd);
    return ListAndClose(dir, entries);
#endif
}

bool OpenFolder::LookUp(const std::string& name, EntryInfo& info) const {
    return LookUpAt(m_handle, name.c_str(), info);
}

bool OpenFolder::ReadFile(const std::string& name, std::unique_ptr<char[]>& bytes,
                          std::size_t& size, unsigned& mode) const {
    size = 0;
    return !FaultDue(FileOp::kOpen) &&
           ReadOpened(openat(m_handle, name.c_str(), kReadFlags), bytes, size, mode);
}

bool OpenFolder::ReadLink(const std::string& name, std::string& target) const {
    return ReadLinkAt(m_handle, name.c_str(), target);
}

bool OpenFolder::SameFile(const OpenFolder& a, const OpenFolder& b, const std::string& name,
                          std::vector<char>& room) {
    const int one = openat(a.m_handle, name.c_str(), kReadFlags);
    const int two = one < 0 ? -1 : openat(b.m_handle, name.c_str(), kReadFlags);
    struct stat first {
    }, second{};
    bool same = two >= 0 && fstat(one, &first) == 0 && fstat(two, &second) == 0 &&
                S_ISREG(first.st_mode) && S_ISREG(second.st_mode) &&
                first.st_mode == second.st_mode && first.st_size == second.st_size;
    // One file under two names (trees made with hard links) is read no further.
    const bool linked = same && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    same = same &&
           (linked ||
            SameBytes([one](char* into, std::size_t size) { return ReadSome(one, into, size); },
                      [two](char* into, std::size_t size) { return ReadSome(two, into, size); },
                      first.st_size, room));
    if (two >= 0)
        close(two);
    if (one >= 0)
        close(one);
    return same;
}

}  // namespace vekcli::tree
