// CBufferedFile: an output file that collects small writes in memory and
// hands them to the system in whole buffers, committing each to storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/file.h"

namespace vek {

class CBufferedFile : public platform::File {
  public:
    // Not open; a buffer of 1024 bytes.
    CBufferedFile();
    // Closes (writing what is held) if still open. A failure of that close
    // cannot be reported from here and is dropped; the handle is released.
    ~CBufferedFile() override;

    // Sets the capacity, keeping what is held. Change it only while nothing
    // is held.
    void SetBufferSize(std::uint32_t size);

    // Copies the bytes into the buffer. When they do not fit, the buffer is
    // filled, flushed through the virtual Flush, and filling goes on; so
    // every write to the file but the last is exactly one full buffer.
    void Write(const void* data, std::size_t count) override;
    // Writes what is held in one run, then commits the file to storage (also
    // when nothing was held). After a failed write the bytes stay held.
    void Flush() override;
    // Flush and release the handle; nothing if not open.
    void Close() override;

    std::uint32_t BufferSize() const { return m_bufferSize; }
    std::uint32_t BufferUsed() const { return m_bufferUsed; }

  private:
    std::unique_ptr<unsigned char[]> m_buffer;
    std::uint32_t m_bufferSize = 0;
    std::uint32_t m_bufferUsed = 0;
};

}  // namespace vek
