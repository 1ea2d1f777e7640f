// Trees as Windows keeps them. Symbolic links are reparse points of the
// symbolic-link tag, read and made as links and never followed; any other
// reparse point (a junction, a mount point, a cloud file) is an entry of
// another kind. Of a mode Windows keeps the read-only attribute: a file
// reads as 0644, or 0444 when read-only, a folder as 0755, and a mode given
// to a file sets or clears the attribute by its owner-write bit.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <utility>

#include "system/platform.h"
#include "system/tree_files.h"

namespace vekcli::tree {

using platform::FaultDue;
using platform::FileOp;
using platform::WideFolderName;
using platform::WideName;

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
        case ERROR_PRIVILEGE_NOT_HELD:
            return EPERM;
        default:
            return EIO;
    }
}

Kind KindOf(DWORD attributes, DWORD tag) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return tag == IO_REPARSE_TAG_SYMLINK ? Kind::kLink : Kind::kOther;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::kFolder : Kind::kFile;
}

// What the read-only attribute leaves of a mode.
unsigned ModeOf(Kind kind, DWORD attributes) {
    switch (kind) {
        case Kind::kFolder:
            return 0755;
        case Kind::kLink:
            return 0777;
        default:
            return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0644;
    }
}

// The reparse tag of the entry `path` itself; 0 when it has none or cannot
// be opened.
DWORD ReparseTag(const std::string& path) {
    HANDLE handle =
        CreateFileW(WideName(path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return 0;
    FILE_ATTRIBUTE_TAG_INFO info{};
    const bool ok =
        GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info) != 0;
    CloseHandle(handle);
    return ok ? info.ReparseTag : 0;
}

// The name of a listed entry, as vek takes names.
bool NameOf(const WIN32_FIND_DATAW& data, std::string& name) {
    return platform::NarrowText(data.cFileName, std::wcslen(data.cFileName), name);
}

// A target that names a place from the root of a drive or share ("C:\x",
// "\\server\x", "\x", "/x"), rather than from the link's folder.
bool IsAbsoluteTarget(const std::string& target) {
    if (!target.empty() && (target[0] == '/' || target[0] == '\\'))
        return true;
    return target.size() >= 2 && target[1] == ':';
}

// A symbolic link's reparse data: its two names are in `path`, at offsets
// and of lengths in bytes.
struct SymbolicLinkData {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset;
    WORD substituteLength;
    WORD printOffset;
    WORD printLength;
    ULONG flags;
    wchar_t path[1];
};

}  // namespace

bool LookUp(const std::string& path, EntryInfo& info) {
    info = EntryInfo{};
    if (FaultDue(FileOp::kStat))
        return false;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(WideName(path).c_str(), GetFileExInfoStandard, &data) == 0) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
               FailWith(ErrnoOf(error));
    }
    info.size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const DWORD attributes = data.dwFileAttributes;
    info.kind =
        KindOf(attributes, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? ReparseTag(path) : 0);
    info.mode = ModeOf(info.kind, attributes);
    return true;
}

bool ListFolder(const std::string& folder, std::vector<Listed>& entries) {
    entries.clear();
    if (FaultDue(FileOp::kOpen))
        return false;
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(WideName(folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return FailWith(ErrnoOf(GetLastError()));
    std::string name;
    bool named = true;
    do {
        if (!NameOf(data, name)) {
            named = false;
            break;
        }
        if (name == "." || name == "..")
            continue;
        // A reparse point's tag is in dwReserved0.
        entries.push_back(Listed{name, KindOf(data.dwFileAttributes, data.dwReserved0)});
    } while (FindNextFileW(find, &data) != 0);
    const DWORD error = named ? GetLastError() : ERROR_NO_UNICODE_TRANSLATION;
    FindClose(find);
    std::sort(entries.begin(), entries.end());
    return error == ERROR_NO_MORE_FILES ||
           FailWith(error == ERROR_NO_UNICODE_TRANSLATION ? EILSEQ : ErrnoOf(error));
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
    const int fd = _wopen(WideName(path).c_str(), _O_RDONLY | _O_BINARY);
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

bool ReadLink(const std::string& path, std::string& target) {
    if (FaultDue(FileOp::kStat))
        return false;
    HANDLE handle =
        CreateFileW(WideName(path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return FailWith(ErrnoOf(GetLastError()));
    std::unique_ptr<char[]> buffer(new char[MAXIMUM_REPARSE_DATA_BUFFER_SIZE]);
    DWORD got = 0;
    const bool read = DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.get(),
                                      MAXIMUM_REPARSE_DATA_BUFFER_SIZE, &got, nullptr) != 0;
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!read)
        return FailWith(error == ERROR_NOT_A_REPARSE_POINT ? EINVAL : ErrnoOf(error));
    SymbolicLinkData data;
    const std::size_t head = offsetof(SymbolicLinkData, path);
    if (got < head)
        return FailWith(EINVAL);
    std::memcpy(&data, buffer.get(), head);
    if (data.tag != IO_REPARSE_TAG_SYMLINK)
        return FailWith(EINVAL);
    // The print name is the target as it was given; the substitute name
    // (an absolute one as "\\??\\C:\\x") where a link has none.
    WORD offset = data.printOffset;
    WORD length = data.printLength;
    if (length == 0) {
        offset = data.substituteOffset;
        length = data.substituteLength;
    }
    if (head + offset + length > got || length % 2 != 0)
        return FailWith(EINVAL);
    std::wstring wide(length / 2, L'\0');
    std::memcpy(&wide[0], buffer.get() + head + offset, length);
    if (data.printLength == 0 && wide.compare(0, 4, L"\\??\\") == 0)
        wide.erase(0, 4);
    if (!platform::NarrowText(wide.data(), wide.size(), target))
        return false;
    // A relative target is written with '/', as every other system reads it.
    if (!IsAbsoluteTarget(target))
        std::replace(target.begin(), target.end(), '\\', '/');
    return true;
}

bool MakeLink(const std::string& target, const std::string& path, const std::string& place) {
    if (FaultDue(FileOp::kOpen))
        return false;
    std::string given = target;
    if (!IsAbsoluteTarget(given))
        std::replace(given.begin(), given.end(), '/', '\\');
    // A link to a folder is a folder link, which Windows only follows as a
    // folder: its target is looked at from the folder of its place, where
    // the update's new folders are made before its links (".." is taken
    // by name, so the place's folder need not be there yet). A target that
    // is not there gives a file link, unless it ends in a separator.
    const std::size_t slash = place.find_last_of("/\\");
    const std::string from = IsAbsoluteTarget(given) || slash == std::string::npos
                                 ? given
                                 : place.substr(0, slash + 1) + given;
    const DWORD attributes = GetFileAttributesW(WideName(from).c_str());
    const bool folder =
        (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) ||
        (!given.empty() && given.back() == '\\');
    std::wstring wideTarget;
    if (!platform::WideText(given, wideTarget))
        return false;
    const std::wstring widePath = WideName(path);
    const DWORD flags = folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    bool made = CreateSymbolicLinkW(widePath.c_str(), wideTarget.c_str(),
                                    flags | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
    // Systems older than Windows 10 (1703) refuse the flag they do not know.
    if (!made && GetLastError() == ERROR_INVALID_PARAMETER)
        made = CreateSymbolicLinkW(widePath.c_str(), wideTarget.c_str(), flags) != 0;
    if (!made)
        return FailWith(ErrnoOf(GetLastError()));
    // Some systems (wine) report a link made and make none.
    EntryInfo info;
    if (!LookUp(path, info) || info.kind != Kind::kLink) {
        if (info.kind != Kind::kNone)
            platform::RemoveFile(path);
        return FailWith(ENOSYS);
    }
    return true;
}

bool MakeFolder(const std::string& path, unsigned) {
    if (FaultDue(FileOp::kOpen))
        return false;
    return CreateDirectoryW(WideFolderName(path).c_str(), nullptr) != 0 ||
           FailWith(ErrnoOf(GetLastError()));
}

bool RemoveFolder(const std::string& path) {
    if (FaultDue(FileOp::kRename))
        return false;
    return RemoveDirectoryW(WideName(path).c_str()) != 0 || FailWith(ErrnoOf(GetLastError()));
}

bool RemoveTree(const std::string& path) {
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(WideName(path + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    std::vector<std::pair<std::string, DWORD>> names;
    bool ok = true;
    std::string name;
    do {
        if (!NameOf(data, name))
            ok = false;  // a name that cannot be written stays, and so does the folder
        else if (name != "." && name != "..")
            names.emplace_back(name, data.dwFileAttributes);
    } while (FindNextFileW(find, &data) != 0);
    FindClose(find);
    for (const auto& entry : names) {
        const std::string inside = path + "\\" + entry.first;
        const bool folder = (entry.second & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder && (entry.second & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            ok = RemoveTree(inside) && ok;
        else
            ok = platform::RemoveFile(inside) && ok;
    }
    return RemoveDirectoryW(WideName(path).c_str()) != 0 && ok;
}

bool SetMode(const std::string& path, unsigned mode) {
    if (FaultDue(FileOp::kSync))
        return false;
    const DWORD attributes = GetFileAttributesW(WideName(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FailWith(ErrnoOf(GetLastError()));
    // A folder keeps no mode here, and a link is never followed.
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return true;
    const DWORD wanted = (mode & 0200) != 0 ? attributes & ~FILE_ATTRIBUTE_READONLY
                                            : attributes | FILE_ATTRIBUTE_READONLY;
    if (wanted == attributes)
        return true;
    return SetFileAttributesW(WideName(path).c_str(),
                              wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL) != 0 ||
           FailWith(ErrnoOf(GetLastError()));
}

unsigned KeptMode(Kind kind, unsigned mode) {
    if (kind == Kind::kFolder)
        return 0755;
    return kind == Kind::kFile ? ((mode & 0200) != 0 ? 0644 : 0444) : mode;
}

bool ReadOnlyInTheWay(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WideName(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool FinishPlaced(const std::string& path, unsigned mode) {
    return (mode & 0200) != 0 || SetMode(path, mode);
}

std::string OtherKindWords(const std::string& path) {
    const DWORD tag = ReparseTag(path);
    if (tag == IO_REPARSE_TAG_MOUNT_POINT)
        return "a junction or mount point; make it a symbolic link (mklink /D) or a folder";
    if (tag == 0)
        return "a device";
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(tag));
    return std::string("a reparse point of tag 0x") + hex +
           ", such as a cloud or deduplicated file, which only its driver reads";
}

std::string LinkAdvice(int error) {
    if (error == EPERM)
        return "Windows makes symbolic links only with Developer Mode on (Settings, "
               "For developers) or the privilege \"Create symbolic links\" (as an "
               "administrator)";
    if (error == ENOSYS)
        return "this system does not make symbolic links";
    return std::string();
}

std::string SystemPathFault(const std::string& path) {
    if (path.find('\\') != std::string::npos || path.find(':') != std::string::npos)
        return "a backslash or a colon, which Windows reads as a folder or a drive";
    return std::string();
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
    const int one = _wopen(WideName(a.Inside(name)).c_str(), _O_RDONLY | _O_BINARY);
    const int two = one < 0 ? -1 : _wopen(WideName(b.Inside(name)).c_str(), _O_RDONLY | _O_BINARY);
    const auto reader = [](int fd) {
        return [fd](char* into, std::size_t size) -> long long {
            return _read(fd, into, static_cast<unsigned>(size));
        };
    };
    const bool same = two >= 0 && SameBytes(reader(one), reader(two), first.size, room);
    if (two >= 0)
        _close(two);
    if (one >= 0)
        _close(one);
    return same;
}

}  // namespace vekcli::tree
