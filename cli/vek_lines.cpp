#include "vek_lines.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(VEK_CLI_THREADS)
#include <exception>
#include <thread>
#endif

#if !defined(_WIN32)
#include <sys/mman.h>
#include <sys/stat.h>
#endif

namespace vekcli {

namespace {

long LineOf(const char* bytes, std::size_t at) {
    return 1 + static_cast<long>(std::count(bytes, bytes + at, '\n'));
}

}  // namespace

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapped = std::exchange(other.m_mapped, 0);
        m_owned = std::move(other.m_owned);
    }
    return *this;
}

void FileBytes::Release() noexcept {
#if !defined(_WIN32)
    if (m_mapped != 0)
        munmap(const_cast<char*>(m_data), m_mapped);
#endif
    m_owned.reset();
    m_data = nullptr;
    m_size = 0;
    m_mapped = 0;
}

FileBytes FileBytes::Read(Input& in, const std::string& name) {
    FileBytes bytes;
#if !defined(_WIN32)
    if (!in.IsStdin()) {
        // A plain file is mapped, not copied: its pages are the system's
        // own cache, read in one go.
        const int fd = fileno(in.File());
        struct stat info {};
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
            const auto size = static_cast<std::size_t>(info.st_size);
#if defined(MAP_POPULATE)
            const int flags = MAP_PRIVATE | MAP_POPULATE;
#else
            const int flags = MAP_PRIVATE;
#endif
            void* map = mmap(nullptr, size, PROT_READ, flags, fd, 0);
            if (map != MAP_FAILED) {
                bytes.m_data = static_cast<const char*>(map);
                bytes.m_size = size;
                bytes.m_mapped = size;
                return bytes;
            }
        }
    }
#endif
    long long hint = in.IsStdin() ? -1 : FileSize(name);
    std::size_t room = hint > 0 ? static_cast<std::size_t>(hint) + 1 : 64 * 1024;
    std::unique_ptr<char[]> data(new char[room]);
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

LineFile ReadLineFile(const std::string& name, bool crlf, bool anyLength) {
    LineFile file;
    file.name = name;
    LoadInfo& info = file.info;
    Input in(name);
    file.bytes = FileBytes::Read(in, name);
    const char* const bytes = file.bytes.Data();
    if (crlf) {
        // In the CR LF form the byte 0x1A ends the data.
        const auto* eof = static_cast<const char*>(std::memchr(bytes, '\x1A', file.bytes.Size()));
        if (eof != nullptr) {
            const auto at = static_cast<std::size_t>(eof - bytes);
            info.eofLine = LineOf(bytes, at);
            info.eofDropped = static_cast<long long>(file.bytes.Size() - at);
            file.bytes.Truncate(at);
        }
    }
    const std::size_t size = file.bytes.Size();
    const auto* nul = static_cast<const char*>(std::memchr(bytes, '\0', size));
    if (nul != nullptr)
        Fail(in.Name() + ":" +
             std::to_string(LineOf(bytes, static_cast<std::size_t>(nul - bytes))) +
             ": the line holds a NUL byte, which a line buffer cannot carry; for binary files use "
             "'vek bundle -b'");

    const char* p = bytes;
    const char* const end = bytes + size;
    // Room for the lines of an average length of 32 bytes; more as needed.
    file.lines.reserve(size / 32 + 16);
    while (p < end) {
        const auto* nl =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* const stop = nl != nullptr ? nl : end;
        const std::size_t length =
            NoteLine(p, static_cast<std::size_t>(stop - p), nl != nullptr, crlf, info);
        file.lines.emplace_back(p, length);
        p = stop + 1;
    }
    info.unterminated = size > 0 && bytes[size - 1] != '\n';
    if (info.lines > kBufferLines && !anyLength)
        Fail(in.Name() + ":" + std::to_string(kBufferLines + 1) +
             ": more lines than a buffer holds (at most " + Grouped(kBufferLines) +
             "); split the file into smaller parts");
    return file;
}

void AppendLines(int buf, const std::vector<std::string_view>& lines, const std::string& what) {
    LineAppender appender(buf, what);
    for (const std::string_view line : lines)
        appender.Add(line);
    appender.Flush();
}

long FirstDifferenceFrom(int buf, const std::vector<std::string_view>& lines) {
    BufferReader reader(buf);
    const long count = static_cast<long>(lines.size());
    std::string_view line;
    for (long i = 0; i < count; ++i) {
        if (!reader.Next(line) || line != lines[static_cast<std::size_t>(i)])
            return i + 1;
    }
    return reader.Count() == count ? 0 : count + 1;
}

void WriteLineViews(const std::vector<std::string_view>& lines, Output& out, bool crlf) {
    const char* const end = crlf ? "\r\n" : "\n";
    const std::size_t endSize = crlf ? 2 : 1;
    for (const std::string_view line : lines) {
        out.Write(line.data(), line.size());
        out.Write(end, endSize);
    }
}

void WarnAboutReading(const LineFile& file) {
    WarnUnterminated(DisplayName(file.name), file.info);
    WarnCrlfChanges(DisplayName(file.name), file.info);
}

void ReadLineFiles(const std::string& first, const std::string& second, bool crlf,
                   LineFile& firstFile, LineFile& secondFile) {
#if defined(VEK_CLI_THREADS)
    // The first file is read on a second thread while this one reads the
    // second; what the first raised is raised here, before anything of the
    // second, as if they had been read in turn.
    std::exception_ptr firstFailure;
    std::thread reader([&] {
        try {
            firstFile = ReadLineFile(first, crlf);
        } catch (...) {
            firstFailure = std::current_exception();
        }
    });
    std::exception_ptr secondFailure;
    try {
        secondFile = ReadLineFile(second, crlf);
    } catch (...) {
        secondFailure = std::current_exception();
    }
    reader.join();
    if (firstFailure)
        std::rethrow_exception(firstFailure);
    WarnAboutReading(firstFile);
    if (secondFailure)
        std::rethrow_exception(secondFailure);
    WarnAboutReading(secondFile);
#else
    firstFile = ReadLineFile(first, crlf);
    WarnAboutReading(firstFile);
    secondFile = ReadLineFile(second, crlf);
    WarnAboutReading(secondFile);
#endif
}

}  // namespace vekcli
