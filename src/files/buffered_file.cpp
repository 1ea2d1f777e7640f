#include "files/buffered_file.h"

#include <algorithm>
#include <cstring>

namespace vek {

CBufferedFile::CBufferedFile() {
    SetBufferSize(1024);
}

CBufferedFile::~CBufferedFile() {
    try {
        Close();
    } catch (...) {
        // Either another failure is already on its way out, or the caller
        // let the object go without closing it; the base releases the handle.
    }
}

void CBufferedFile::SetBufferSize(std::uint32_t size) {
    std::unique_ptr<unsigned char[]> resized(new unsigned char[size == 0 ? 1 : size]);
    if (m_buffer != nullptr) {
        std::memcpy(resized.get(), m_buffer.get(), std::min(m_bufferUsed, size));
    }
    m_buffer = std::move(resized);
    m_bufferSize = size;
}

void CBufferedFile::Write(const void* data, std::size_t count) {
    const unsigned char* in = static_cast<const unsigned char*>(data);
    if (count == 0) {
        return;
    }
    if (m_bufferSize == 0) {
        // No room at all: every write goes straight out and is committed.
        File::Write(in, count);
        File::Flush();
        return;
    }
    std::size_t room = m_bufferSize - m_bufferUsed;
    while (count > room) {
        std::memcpy(m_buffer.get() + m_bufferUsed, in, room);
        m_bufferUsed = m_bufferSize;
        in += room;
        count -= room;
        Flush();
        room = m_bufferSize;
    }
    std::memcpy(m_buffer.get() + m_bufferUsed, in, count);
    m_bufferUsed += static_cast<std::uint32_t>(count);
}

void CBufferedFile::Flush() {
    if (m_bufferUsed > 0) {
        File::Write(m_buffer.get(), m_bufferUsed);
        m_bufferUsed = 0;
    }
    File::Flush();
}

void CBufferedFile::Close() {
    if (IsOpen()) {
        Flush();
        File::Close();
    }
}

}  // namespace vek
