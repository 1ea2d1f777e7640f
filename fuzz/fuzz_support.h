// Shared pieces of the fuzz targets. Every target drives the library through
// its exports; the core is linked in as well, so a target can also check the
// buffers' inner state after each call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vekfuzz {

// Stops the run with a finding when `condition` does not hold.
void Require(bool condition, const std::string& what);

// Requires every buffer rule to hold for numbered buffer `buf`.
void RequireConsistent(int buf, const std::string& where);

// The stored lines of numbered buffer `buf`, as they are held.
std::vector<std::string> HeldLines(int buf);

// A directory of this process for the files a target reads and writes.
const std::string& ScratchDir();
std::string ScratchPath(const std::string& name);
void WriteBytes(const std::string& path, std::string_view bytes);
// The file's bytes; `exists` says whether it was there at all.
std::string ReadBytes(const std::string& path, bool* exists = nullptr);
void RemoveFile(const std::string& path);

// Reads the fuzz input from the front.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_pos >= m_size; }
    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    int Int(int range) { return range <= 0 ? 0 : (Byte() | Byte() << 8) % range; }
    // Up to `count` bytes.
    std::string_view Bytes(std::size_t count);
    std::string_view Rest() { return Bytes(m_size); }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Splits at `separator`; the last piece is kept even when empty.
std::vector<std::string> Split(std::string_view bytes, char separator);

}  // namespace vekfuzz
