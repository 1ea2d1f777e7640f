// Win32 files: CreateFileW on the name SystemName gives, with real sharing
// modes (none for the exclusive opens, read and write for the shared one),
// ReadFile/WriteFile in runs, FlushFileBuffers to commit.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <string>

#include "common/failure.h"
#include "platform/file.h"

namespace vek::platform {

namespace {

[[noreturn]] void Raise(const char* what) {
    throw FileFailure(std::string(what) + " failed, error " + std::to_string(GetLastError()));
}

HANDLE Handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Largest run handed to one ReadFile/WriteFile call.
constexpr std::size_t kMaxRun = 1u << 30;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

}  // namespace

std::wstring SystemName(const char* name) {
    // The code page the narrow calls (CreateFileA) would have used.
    const UINT codePage = ::AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    const int length = ::MultiByteToWideChar(codePage, 0, name, -1, nullptr, 0);
    if (length <= 0) {
        Raise("MultiByteToWideChar");
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, name, -1, &wide[0], length);
    wide.resize(static_cast<std::size_t>(length) - 1);
    if (StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\\\.\\")) {
        return wide;
    }
    // The limit counts the full name, so a short relative name in a deep
    // folder needs the long form too.
    const DWORD room = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (room == 0) {
        return wide;  // the open says why
    }
    std::wstring full(room, L'\0');
    const DWORD size = ::GetFullPathNameW(wide.c_str(), room, &full[0], nullptr);
    if (size == 0 || size >= room) {
        return wide;
    }
    full.resize(size);
    if (full.size() < MAX_PATH || StartsWith(full, L"\\\\.\\")) {
        return wide;
    }
    if (StartsWith(full, L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
    }
    return L"\\\\?\\" + full;
}

File::~File() {
    Release();
}

void File::Release() noexcept {
    if (m_handle != kNoHandle) {
        ::CloseHandle(Handle(m_handle));
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
    DWORD access = GENERIC_READ;
    DWORD share = 0;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
        case OpenMode::kReadExclusive:
            break;
        case OpenMode::kReadShared:
            share = FILE_SHARE_READ | FILE_SHARE_WRITE;
            break;
        case OpenMode::kWriteExclusive:
            access = GENERIC_WRITE;
            disposition = CREATE_ALWAYS;
            break;
    }
    const HANDLE handle = ::CreateFileW(SystemName(name).c_str(), access, share, nullptr,
                                        disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Raise("CreateFile");
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
}

std::size_t File::Read(void* data, std::size_t count) {
    if (!IsOpen()) {
        throw FileFailure("read: file not open");
    }
    char* out = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const DWORD ask = static_cast<DWORD>(std::min(count - done, kMaxRun));
        DWORD got = 0;
        if (!::ReadFile(Handle(m_handle), out + done, ask, &got, nullptr)) {
            Raise("ReadFile");
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void File::Write(const void* data, std::size_t count) {
    if (!IsOpen()) {
        throw FileFailure("write: file not open");
    }
    const char* in = static_cast<const char*>(data);
    while (count > 0) {
        const DWORD ask = static_cast<DWORD>(std::min(count, kMaxRun));
        DWORD put = 0;
        if (!::WriteFile(Handle(m_handle), in, ask, &put, nullptr)) {
            Raise("WriteFile");
        }
        if (put == 0) {
            SetLastError(ERROR_DISK_FULL);
            Raise("WriteFile");
        }
        in += put;
        count -= put;
    }
}

void File::Flush() {
    Commit();
}

void File::Commit() {
    if (!IsOpen()) {
        throw FileFailure("flush: file not open");
    }
    // Devices without storage answer ERROR_INVALID_FUNCTION: nothing to commit.
    if (!::FlushFileBuffers(Handle(m_handle)) && GetLastError() != ERROR_INVALID_FUNCTION) {
        Raise("FlushFileBuffers");
    }
}

void File::Close() {
    if (!IsOpen()) {
        return;
    }
    const HANDLE handle = Handle(m_handle);
    m_handle = kNoHandle;
    if (!::CloseHandle(handle)) {
        Raise("CloseHandle");
    }
}

}  // namespace vek::platform

namespace vek::platform {

namespace {

// A name beside `path` that no file has yet: the path with a suffix made of
// the process id and a counter shared by every thread.
std::string NameBeside(const char* path, const char* kind) {
    static std::atomic<unsigned long> counter{0};
    return std::string(path) + "." + kind + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
}

}  // namespace

void File::CreateBeside(const char* path, std::string& tempName) {
    if (IsOpen()) {
        throw FileFailure("file already open");
    }
    for (;;) {
        tempName = NameBeside(path, "vek");
        const HANDLE handle = ::CreateFileA(tempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            Raise("CreateFile");
        }
        m_handle = reinterpret_cast<std::intptr_t>(handle);
        return;
    }
}

TargetKind InspectTarget(const char* name, std::string& path) {
    path = name;
    const DWORD attributes = ::GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return TargetKind::kAbsent;
        }
        // A device name such as NUL has no attributes: the open below decides.
        if (error != ERROR_INVALID_PARAMETER && error != ERROR_INVALID_FUNCTION) {
            return TargetKind::kRefused;
        }
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return TargetKind::kRefused;
    }
    const HANDLE handle = ::CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? TargetKind::kAbsent
                                                        : TargetKind::kRefused;
    }
    const DWORD type = ::GetFileType(handle);
    ::CloseHandle(handle);
    return type == FILE_TYPE_DISK ? TargetKind::kRegular : TargetKind::kSpecial;
}

void SetAside(const char* path, std::string& backupName) {
    for (;;) {
        backupName = NameBeside(path, "vekold");
        if (::MoveFileExA(path, backupName.c_str(), MOVEFILE_WRITE_THROUGH)) {
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS && ::GetLastError() != ERROR_FILE_EXISTS) {
            Raise("MoveFileEx");
        }
    }
}

void RenameOnto(const char* from, const char* to) {
    if (!::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Raise("MoveFileEx");
    }
}

void RemoveName(const char* name) noexcept {
    ::DeleteFileA(name);
}

}  // namespace vek::platform
