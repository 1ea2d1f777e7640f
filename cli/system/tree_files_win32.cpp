// Trees as Windows keeps them: no permission bits (a file reads as 0644, a
// folder as 0755, and modes are not set), and no symbolic links: a reparse
// point is an entry of another kind, never followed.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "system/platform.h"
#include "system/tree_files.h"

namespace vekcli::tree {

using platform::FaultDue;
using platform::FileOp;

namespace {

bool FailWith(int error) {
    errno = error;
    return false;
}

int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return EACCES;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        default:
            return EIO;
    }
}

}  // namespace

bool LookUp(const std::string& path, EntryInfo& info) {
    info = EntryInfo{};
    if (FaultDue(FileOp::kStat))
        return false;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) == 0) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
               FailWith(ErrnoOf(error));
    }
    info.size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        info.kind = Kind::kOther;
    else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        info.kind = Kind::kFolder;
    else
        info.kind = Kind::kFile;
    info.mode = info.kind == Kind::kFolder ? 0755 : 0644;
    return true;
}

bool ListFolder(const std::string& folder, std::vector<Listed>& entries) {
    entries.clear();
    if (FaultDue(FileOp::kOpen))
        return false;
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return FailWith(ErrnoOf(GetLastError()));
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        const DWORD attributes = data.dwFileAttributes;
        const Kind kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? Kind::kOther
                          : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? Kind::kFolder
                                                                           : Kind::kFile;
        entries.push_back(Listed{name, kind});
    } while (FindNextFileA(find, &data) != 0);
    const DWORD error = GetLastError();
    FindClose(find);
    std::sort(entries.begin(), entries.end());
    return error == ERROR_NO_MORE_FILES || FailWith(ErrnoOf(error));
}

bool ReadFile(const std::string& path, std::unique_ptr<char[]>& bytes, std::size_t& size,
              unsigned& mode) {
    EntryInfo info;
    if (!LookUp(path, info))
        return false;
    if (info.kind != Kind::kFile)
        return FailWith(info.kind == Kind::kNone ? ENOENT : EINVAL);
    if (FaultDue(FileOp::kOpen))
        return false;
    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0)
        return false;
    mode = info.mode;
    const bool ok = ReadWhole(
        [fd](char* into, std::size_t room) -> long long {
            return _read(fd, into, static_cast<unsigned>(std::min<std::size_t>(room, 1u << 30)));
        },
        static_cast<std::size_t>(info.size), bytes, size);
    const int error = errno;
    _close(fd);
    errno = error;
    return ok;
}

bool ReadLink(const std::string&, std::string&) {
    return FailWith(ENOSYS);
}

bool MakeLink(const std::string&, const std::string&) {
    return FailWith(ENOSYS);
}

bool MakeFolder(const std::string& path, unsigned) {
    if (FaultDue(FileOp::kOpen))
        return false;
    return CreateDirectoryA(path.c_str(), nullptr) != 0 || FailWith(ErrnoOf(GetLastError()));
}

bool RemoveFolder(const std::string& path) {
    if (FaultDue(FileOp::kRename))
        return false;
    return RemoveDirectoryA(path.c_str()) != 0 || FailWith(ErrnoOf(GetLastError()));
}

bool RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    std::vector<std::pair<std::string, bool>> names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..")
            names.emplace_back(name,
                               (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                   (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
    } while (FindNextFileA(find, &data) != 0);
    FindClose(find);
    bool ok = true;
    for (const auto& name : names) {
        const std::string inside = path + "\\" + name.first;
        ok = (name.second ? RemoveTree(inside) : DeleteFileA(inside.c_str()) != 0) && ok;
    }
    return RemoveDirectoryA(path.c_str()) != 0 && ok;
}

bool SetMode(const std::string&, unsigned) {
    return true;
}

std::string SystemPathFault(const std::string& path) {
    if (path.find('\\') != std::string::npos || path.find(':') != std::string::npos)
        return "a backslash or a colon, which Windows reads as a folder or a drive";
    return std::string();
}

bool HasModes() {
    return false;
}

OpenFolder::~OpenFolder() = default;

bool OpenFolder::Open(const std::string& path) {
    m_path = path;
    EntryInfo info;
    if (!tree::LookUp(path, info))
        return false;
    return info.kind == Kind::kFolder || FailWith(info.kind == Kind::kNone ? ENOENT : ENOTDIR);
}

bool OpenFolder::Open(const OpenFolder& parent, const std::string& name) {
    return Open(parent.Inside(name));
}

bool OpenFolder::List(std::vector<Listed>& entries) const {
    return ListFolder(m_path, entries);
}

bool OpenFolder::LookUp(const std::string& name, EntryInfo& info) const {
    return tree::LookUp(Inside(name), info);
}

bool OpenFolder::ReadFile(const std::string& name, std::unique_ptr<char[]>& bytes,
                          std::size_t& size, unsigned& mode) const {
    return tree::ReadFile(Inside(name), bytes, size, mode);
}

bool OpenFolder::ReadLink(const std::string& name, std::string& target) const {
    return tree::ReadLink(Inside(name), target);
}

bool OpenFolder::SameFile(const OpenFolder& a, const OpenFolder& b, const std::string& name,
                          std::vector<char>& room) {
    EntryInfo first, second;
    if (!tree::LookUp(a.Inside(name), first) || !tree::LookUp(b.Inside(name), second) ||
        first.kind != Kind::kFile || second.kind != Kind::kFile || first.mode != second.mode ||
        first.size != second.size)
        return false;
    const int one = _open(a.Inside(name).c_str(), _O_RDONLY | _O_BINARY);
    const int two = one < 0 ? -1 : _open(b.Inside(name).c_str(), _O_RDONLY | _O_BINARY);
    bool same = two >= 0;
    const unsigned half = static_cast<unsigned>(std::min<std::size_t>(room.size() / 2, 1u << 30));
    char* const mine = room.data();
    char* const theirs = mine + half;
    for (long long left = first.size; same && left > 0;) {
        const int got = _read(one, mine, half);
        same = got > 0 && _read(two, theirs, static_cast<unsigned>(got)) == got &&
               std::memcmp(mine, theirs, static_cast<std::size_t>(got)) == 0;
        left -= got;
    }
    if (two >= 0)
        _close(two);
    if (one >= 0)
        _close(one);
    return same;
}

}  // namespace vekcli::tree
