// A file's bytes held whole (FileBytes, io/files.h).
#include <cstring>
#include <utility>

#include "io/files.h"
#include "system/platform.h"

namespace vekcli {

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_owned = std::move(other.m_owned);
    }
    return *this;
}

void FileBytes::Release() noexcept {
    m_owned.reset();
    m_data = nullptr;
    m_size = 0;
}

FileBytes FileBytes::Adopt(std::unique_ptr<char[]> data, std::size_t size) {
    FileBytes bytes;
    bytes.m_owned = std::move(data);
    bytes.m_data = bytes.m_owned.get();
    bytes.m_size = size;
    return bytes;
}

FileBytes FileBytes::Read(Input& in) {
    FileBytes bytes;
    long long hint = in.IsStdin() ? -1 : FileSize(in.Name());
    std::size_t room = hint > 0 ? static_cast<std::size_t>(hint) + 1 : 64 * 1024;
    std::unique_ptr<char[]> data(new char[room]);
    platform::AdviseLargePages(data.get(), room);
    std::size_t used = 0;
    for (;;) {
        if (used == room) {
            std::unique_ptr<char[]> larger(new char[room * 2]);
            std::memcpy(larger.get(), data.get(), used);
            data = std::move(larger);
            room *= 2;
        }
        const std::size_t got = in.Read(data.get() + used, room - used);
        if (got == 0)
            break;
        used += got;
    }
    bytes.m_owned = std::move(data);
    bytes.m_data = bytes.m_owned.get();
    bytes.m_size = used;
    return bytes;
}

}  // namespace vekcli
