// Win32 files: CreateFileA with real sharing modes (none for the exclusive
// opens, read and write for the shared one), ReadFile/WriteFile in runs,
// FlushFileBuffers to commit.
#include <windows.h>

#include <algorithm>
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

}  // namespace

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
    const HANDLE handle =
        ::CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
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
