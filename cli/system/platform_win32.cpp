// The system as Windows offers it: no file modes or owners to keep (a
// replaced file keeps its attributes, security and streams through
// ReplaceFile), no symbolic links followed for a file named (a tree's links
// are moved and removed as themselves), no mapping (files are read
// into memory), Ctrl+C and Ctrl+Break as the signals that end a run, and
// names longer than MAX_PATH through the wide calls in the "\\?\" form.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "common/failure.h"
#include "platform/file.h"
#include "report/trouble.h"
#include "system/platform.h"

namespace vekcli::platform {

namespace {

bool g_closed[3] = {false, false, false};

// errno for the last Windows error, so that SystemError() has words for it.
bool FailWithLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            errno = EACCES;
            break;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        default:
            errno = EIO;
            break;
    }
    return false;
}

// `name` made absolute; as it is when that fails.
std::wstring FullName(const std::wstring& name) {
    const DWORD room = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (room == 0)
        return name;
    std::wstring full(room, L'\0');
    const DWORD size = GetFullPathNameW(name.c_str(), room, &full[0], nullptr);
    if (size == 0 || size >= room)
        return name;
    full.resize(size);
    return full;
}

bool HasLongForm(const std::wstring& name) {
    return name.compare(0, 4, L"\\\\?\\") == 0 || name.compare(0, 4, L"\\\\.\\") == 0;
}

}  // namespace

// The code page of the file calls (UTF-8 for vek), in which names and
// link targets are taken, as the library takes them.
UINT NameCodePage() {
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

bool WideText(const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty())
        return true;
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(NameCodePage(), MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) {
        errno = EILSEQ;
        return false;
    }
    wide.resize(static_cast<std::size_t>(length));
    MultiByteToWideChar(NameCodePage(), MB_ERR_INVALID_CHARS, text.data(), size, &wide[0], length);
    return true;
}

bool NarrowText(const wchar_t* wide, std::size_t count, std::string& text) {
    text.clear();
    if (count == 0)
        return true;
    const int size = static_cast<int>(count);
    const UINT page = NameCodePage();
    const bool utf8 = (page == CP_ACP ? GetACP() : GetOEMCP()) == CP_UTF8;
    // Only UTF-8 reports a character it cannot write; other code pages
    // say that they put in a stand-in.
    const UINT used = utf8 ? CP_UTF8 : page;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL standIn = FALSE;
    BOOL* const standInSeen = utf8 ? nullptr : &standIn;
    const int length =
        WideCharToMultiByte(used, flags, wide, size, nullptr, 0, nullptr, standInSeen);
    if (length <= 0 || standIn) {
        errno = EILSEQ;
        return false;
    }
    text.resize(static_cast<std::size_t>(length));
    WideCharToMultiByte(used, flags, wide, size, &text[0], length, nullptr, standInSeen);
    return true;
}

std::wstring WideName(const std::string& name) {
    try {
        return vek::platform::SystemName(name.c_str());
    } catch (const vek::Failure&) {
        return std::wstring();  // the call then fails as for a missing file
    }
}

std::wstring WideFolderName(const std::string& name) {
    const std::wstring wide = WideName(name);
    if (wide.empty() || HasLongForm(wide))
        return wide;
    // A folder is made only where its full name leaves room for a short
    // (8.3) name inside it: MAX_PATH less 12.
    const std::wstring full = FullName(wide);
    if (full.size() < MAX_PATH - 12 || HasLongForm(full))
        return wide;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

namespace {

bool InfoOfHandle(HANDLE handle, FileInfo& info) {
    BY_HANDLE_FILE_INFORMATION data{};
    const DWORD type = GetFileType(handle);
    info.exists = true;
    info.regular = type == FILE_TYPE_DISK;
    if (type != FILE_TYPE_DISK || GetFileInformationByHandle(handle, &data) == 0)
        return true;
    info.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.regular = !info.directory;
    info.device = data.dwVolumeSerialNumber;
    info.inode = (static_cast<unsigned long long>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
    info.size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.links = data.nNumberOfLinks;
    return true;
}

}  // namespace

std::FILE* OpenStream(const std::string& name, const char* mode) {
    wchar_t wideMode[8] = {};
    for (std::size_t i = 0; i + 1 < sizeof wideMode / sizeof wideMode[0] && mode[i] != '\0'; ++i)
        wideMode[i] = static_cast<wchar_t>(mode[i]);
    return _wfopen(WideName(name).c_str(), wideMode);
}

bool Seek(std::FILE* stream, long long offset) {
    return _fseeki64(stream, offset, SEEK_SET) == 0;
}

long long Tell(std::FILE* stream) {
    return _ftelli64(stream);
}

bool TextFilesEndInCrLf() {
    return true;
}

void SetBinary(std::FILE* stream) {
    _setmode(_fileno(stream), _O_BINARY);
}

void GuardStandardStreams() {
    for (int fd = 0; fd < 3; ++fd) {
        if (_get_osfhandle(fd) != -1)
            continue;
        g_closed[fd] = true;
        const int null = _open("NUL", _O_RDWR | _O_BINARY);
        if (null >= 0 && null != fd) {
            _dup2(null, fd);
            _close(null);
        }
    }
}

bool StreamWasClosed(int fd) {
    return fd >= 0 && fd < 3 && g_closed[fd];
}

bool Stat(const std::string& name, FileInfo& info) {
    info = FileInfo{};
    if (FaultDue(FileOp::kStat)) {
        info.exists = true;
        return false;
    }
    HANDLE handle = CreateFileW(WideName(name).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        info.exists = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
        return FailWithLastError();
    }
    InfoOfHandle(handle, info);
    CloseHandle(handle);
    return true;
}

bool StatDescriptor(int fd, FileInfo& info) {
    info = FileInfo{};
    const intptr_t handle = _get_osfhandle(fd);
    return handle != -1 && InfoOfHandle(reinterpret_cast<HANDLE>(handle), info);
}

bool SameFile(const std::string& a, const std::string& b) {
    FileInfo x, y;
    return Stat(a, x) && Stat(b, y) && x.Same(y);
}

bool IsSymbolicLink(const std::string&) {
    return false;
}

std::string ResolveLink(const std::string& name) {
    return name;
}

bool MayReplace(const std::string&) {
    return true;
}

bool MayWrite(const std::string&) {
    return true;  // a read-only file refuses the replacing rename, which says so
}

int CreateExclusive(const std::string& name) {
    if (FaultDue(FileOp::kOpen))
        return -1;
    return _wopen(WideName(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}

int OpenForWriting(const std::string& name) {
    if (FaultDue(FileOp::kOpen))
        return -1;
    return _wopen(WideName(name).c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
}

bool WriteAll(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        if (FaultDue(FileOp::kWrite))
            return false;
        const unsigned piece = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
        const int done = _write(fd, bytes, piece);
        if (done < 0)
            return false;
        if (done == 0) {
            errno = ENOSPC;
            return false;
        }
        bytes += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

bool ReadAttributes(const std::string&, std::vector<Attribute>& attributes, std::string& failed) {
    attributes.clear();
    failed.clear();
    return true;
}

bool CarryOver(int, const std::string&, const std::vector<Attribute>&, std::string& failed) {
    failed.clear();
    return true;
}

bool SetNewFileMode(int) {
    return true;
}

bool SetMode(int, unsigned) {
    return true;
}

bool SyncDescriptor(int fd) {
    if (FaultDue(FileOp::kSync))
        return false;
    // A device or pipe that cannot be synced has nothing to sync.
    return _commit(fd) == 0 || errno == EBADF || errno == EINVAL;
}

bool CloseDescriptor(int fd) {
    if (FaultDue(FileOp::kClose)) {
        _close(fd);
        errno = EIO;
        return false;
    }
    return _close(fd) == 0;
}

bool SyncFile(const std::string& name) {
    if (FaultDue(FileOp::kOpen))
        return false;
    const int fd = _wopen(WideName(name).c_str(), _O_RDWR | _O_BINARY);
    if (fd < 0)
        return false;
    const bool synced = SyncDescriptor(fd);
    return CloseDescriptor(fd) && synced;
}

bool SyncFiles(const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (!SyncFile(name))
            return false;
    return true;
}

void SyncFolder(const std::string&) {}

void SyncFolders(const std::vector<std::string>&) {}

void StartWriteback(int, long long, long long) {}

bool Rename(const std::string& from, const std::string& to) {
    if (FaultDue(FileOp::kRename))
        return false;
    const std::wstring source = WideName(from);
    const std::wstring target = WideName(to);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const DWORD moved = GetFileAttributesW(source.c_str());
    // A symbolic link, put in place or replaced, is moved as itself:
    // ReplaceFile would open what it leads to, and a folder link is only
    // replaced once it is gone.
    const bool link =
        (attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) ||
        (moved != INVALID_FILE_ATTRIBUTES && (moved & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    if (link) {
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            RemoveDirectoryW(target.c_str()) == 0)
            return FailWithLastError();
        return MoveFileExW(source.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
               FailWithLastError();
    }
    // An existing file is replaced by ReplaceFile, which gives the new file
    // the old one's security and alternate data streams (given full names:
    // not every implementation takes relative ones); its hidden, system,
    // archive and indexing flags are given to the new file first, as not
    // every implementation carries them.
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        const DWORD kept =
            attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (SetFileAttributesW(source.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL) == 0)
            return FailWithLastError();
        return ReplaceFileW(FullName(target).c_str(), FullName(source).c_str(), nullptr, 0, nullptr,
                            nullptr) != 0 ||
               FailWithLastError();
    }
    return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0 ||
           FailWithLastError();
}

bool Link(const std::string& from, const std::string& to) {
    if (FaultDue(FileOp::kLink))
        return false;
    // A hard link to a symbolic link would be one to what it leads to: the
    // caller sets a link aside by renaming it.
    const DWORD attributes = GetFileAttributesW(WideName(from).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        errno = EXDEV;
        return false;
    }
    return CreateHardLinkW(WideName(to).c_str(), WideName(from).c_str(), nullptr) != 0 ||
           FailWithLastError();
}

bool RemoveFile(const std::string& name) {
    const std::wstring wide = WideName(name);
    if (DeleteFileW(wide.c_str()) != 0)
        return true;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    // A folder link goes as a folder.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
               RemoveDirectoryW(wide.c_str()) != 0;
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return false;
    // A read-only file goes as it is where the system can do that (Windows
    // 10, 1809 on); elsewhere once it is not read-only, if this is its only
    // name (its other names keep the attribute).
    HANDLE handle = CreateFileW(wide.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FILE_DISPOSITION_INFO_EX disposition{};
    disposition.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                        FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE;
    BY_HANDLE_FILE_INFORMATION data{};
    // FileDispositionInfoEx, which MinGW's headers leave out.
    const auto dispositionEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    const bool gone =
        SetFileInformationByHandle(handle, dispositionEx, &disposition, sizeof disposition) != 0;
    const bool alone =
        !gone && GetFileInformationByHandle(handle, &data) != 0 && data.nNumberOfLinks == 1;
    CloseHandle(handle);
    if (gone)
        return true;
    if (!alone || SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) == 0)
        return false;
    if (DeleteFileW(wide.c_str()) != 0)
        return true;
    SetFileAttributesW(wide.c_str(), attributes);
    return false;
}

bool RemoveEmptyFolder(const std::string& name) {
    return RemoveDirectoryW(WideName(name).c_str()) != 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data{};
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '/' && pattern.back() != '\\')
        pattern.push_back('\\');
    pattern.push_back('*');
    HANDLE find = FindFirstFileW(WideName(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    std::string name;
    do {
        if (NarrowText(data.cFileName, std::wcslen(data.cFileName), name) && name != "." &&
            name != "..")
            names.push_back(name);
    } while (FindNextFileW(find, &data) != 0);
    FindClose(find);
    return names;
}

std::size_t LastFolderSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

std::string DefaultTemporaryFolder() {
    return std::string();
}

long ProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

bool ProcessRuns(long id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

void OnEndSignals(void (*handler)(int)) {
    std::signal(SIGINT, handler);
    std::signal(SIGTERM, handler);
    std::signal(SIGBREAK, handler);
}

// The renames of a set are few and quick; Windows offers no way to hold a
// console signal back, so these do nothing.
void HoldEndSignals() {}
void ReleaseEndSignals() {}
bool EndSignalHeld() {
    return false;
}

void DieOfSignal(int signal) {
    std::_Exit(128 + signal);
}

void AdviseLargePages(void*, std::size_t) noexcept {}

}  // namespace vekcli::platform
