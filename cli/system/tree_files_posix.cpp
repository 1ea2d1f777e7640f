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

bool LookUp(const std::string& path, EntryInfo& info) {
    info = EntryInfo{};
    if (FaultDue(FileOp::kStat))
        return false;
    struct stat data {};
    if (lstat(path.c_str(), &data) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    info.mode = data.st_mode & 07777;
    info.size = data.st_size;
    if (S_ISREG(data.st_mode))
        info.kind = Kind::kFile;
    else if (S_ISLNK(data.st_mode))
        info.kind = Kind::kLink;
    else if (S_ISDIR(data.st_mode))
        info.kind = Kind::kFolder;
    else
        info.kind = Kind::kOther;
    return true;
}

bool ListFolder(const std::string& folder, std::vector<Listed>& entries) {
    entries.clear();
    if (FaultDue(FileOp::kOpen))
        return false;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return false;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            const Kind kind = entry->d_type == DT_REG   ? Kind::kFile
                              : entry->d_type == DT_DIR ? Kind::kFolder
                              : entry->d_type == DT_LNK ? Kind::kLink
                                                        : Kind::kNone;
            entries.push_back(Listed{name, kind});
        }
        errno = 0;
    }
    const int error = errno;
    closedir(dir);
    errno = error;
    std::sort(entries.begin(), entries.end());
    return error == 0;
}

bool ReadFile(const std::string& path, std::unique_ptr<char[]>& bytes, std::size_t& size,
              unsigned& mode) {
    if (FaultDue(FileOp::kOpen))
        return false;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat data {};
    bool ok = fstat(fd, &data) == 0;
    if (ok && !S_ISREG(data.st_mode)) {
        errno = EINVAL;
        ok = false;
    }
    size = 0;
    if (ok) {
        mode = data.st_mode & 07777;
        ok = ReadWhole(
            [fd](char* into, std::size_t room) -> long long {
                ssize_t got;
                do
                    got = read(fd, into, room);
                while (got < 0 && errno == EINTR);
                return got;
            },
            static_cast<std::size_t>(data.st_size), bytes, size);
    }
    const int error = errno;
    close(fd);
    errno = error;
    return ok;
}

bool ReadLink(const std::string& path, std::string& target) {
    if (FaultDue(FileOp::kStat))
        return false;
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t got = readlink(path.c_str(), &buffer[0], buffer.size());
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

}  // namespace vekcli::tree
