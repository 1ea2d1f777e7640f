// The system as Windows offers it: no file modes, no symbolic links to
// follow, no mapping (files are read into memory).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform.h"
#include "vek_trouble.h"

namespace vekcli::platform {

void SetBinary(std::FILE* stream) {
    _setmode(_fileno(stream), _O_BINARY);
}

bool SameFile(const std::string& a, const std::string& b) {
    // stat gives no inode here: the volume serial number and file index
    // identify a file.
    auto identify = [](const std::string& name, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE handle =
            CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        const bool ok = GetFileInformationByHandle(handle, &info) != 0;
        CloseHandle(handle);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return identify(a, x) && identify(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

bool IsSymbolicLink(const std::string&) {
    return false;
}

std::string ResolveLink(const std::string& name) {
    return name;
}

void KeepModeOf(const std::string&, const std::string&) {}

int OpenToSync(const std::string& name) {
    return _open(name.c_str(), _O_RDWR | _O_BINARY);
}

bool Sync(int fd) {
    return _commit(fd) == 0;
}

void MoveIntoPlace(const std::string& temp, const std::string& name) {
    if (!MoveFileExA(temp.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        std::remove(temp.c_str());
        Fail(name + ": cannot replace it with " + temp + " (Windows error " +
             std::to_string(GetLastError()) + ")");
    }
}

void AdviseLargePages(void*, std::size_t) noexcept {}

}  // namespace vekcli::platform
