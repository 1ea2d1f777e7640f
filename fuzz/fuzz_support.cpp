#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "api/slots.h"
#include "support/buffer_invariants.h"

namespace vekfuzz {

void Require(bool condition, const std::string& what) {
    if (!condition) {
        std::fprintf(stderr, "finding: %s\n", what.c_str());
        std::abort();
    }
}

void RequireConsistent(int buf, const std::string& where) {
    const std::string broken = vektest::BrokenInvariant(vek::Slot(buf));
    Require(broken.empty(), where + ", buffer " + std::to_string(buf) + ": " + broken);
}

std::vector<std::string> HeldLines(int buf) {
    const vek::VekBuf& buffer = vek::Slot(buf);
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(buffer.LineCount()));
    for (int i = 0; i < buffer.LineCount(); ++i) {
        lines.emplace_back(buffer.Line(i));
    }
    return lines;
}

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

void RemoveScratch() {
    ::nftw(ScratchDir().c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

const std::string& ScratchDir() {
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/vekfuzz-XXXXXX";
        Require(::mkdtemp(pattern.data()) != nullptr, "cannot make a scratch directory");
        return pattern;
    }();
    static const bool cleanup = [] { return std::atexit(RemoveScratch) == 0; }();
    (void)cleanup;
    return path;
}

std::string ScratchPath(const std::string& name) {
    return ScratchDir() + "/" + name;
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Require(out.good(), "cannot write " + path);
}

std::string ReadBytes(const std::string& path, bool* exists) {
    std::ifstream in(path, std::ios::binary);
    if (exists != nullptr) {
        *exists = in.is_open();
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void RemoveFile(const std::string& path) {
    ::unlink(path.c_str());
}

std::string_view Input::Bytes(std::size_t count) {
    const std::size_t take = std::min(count, m_size - std::min(m_pos, m_size));
    std::string_view bytes(reinterpret_cast<const char*>(m_data) + m_pos, take);
    m_pos += take;
    return bytes;
}

std::vector<std::string> Split(std::string_view bytes, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = bytes.find(separator, start);
        if (end == std::string_view::npos) {
            pieces.emplace_back(bytes.substr(start));
            return pieces;
        }
        pieces.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace vekfuzz
