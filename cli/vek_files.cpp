#include "vek_files.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <utility>

#include "platform.h"
#include "vek_trouble.h"

namespace vekcli {

namespace {

// A device, a pipe, a folder or a symbolic link: not a file that a copy
// could be moved in place of.
bool ExistsButNotPlainFile(const std::string& name) {
    if (platform::IsSymbolicLink(name))
        return true;
    struct stat info {};
    return stat(name.c_str(), &info) == 0 && (info.st_mode & S_IFMT) != S_IFREG;
}

bool IsNamedFile(const std::string& name) {
    return !name.empty() && name != "-";
}

}  // namespace

OwnedFile OpenFile(const std::string& name, const char* mode) {
    return OwnedFile(std::fopen(name.c_str(), mode));
}

bool CloseFile(OwnedFile& file) {
    return std::fclose(file.release()) == 0;
}

Input::Input(const std::string& name) : m_display(DisplayName(name)) {
    if (name == "-") {
        m_stdin = true;
        m_file = stdin;
        platform::SetBinary(stdin);
        return;
    }
    struct stat info {};
    if (stat(name.c_str(), &info) != 0)
        Fail(name + ": cannot open: " + SystemError() + "; check the name");
    if ((info.st_mode & S_IFMT) == S_IFDIR)
        Fail(name + ": is a folder; name a file");
    m_owned = OpenFile(name, "rb");
    if (!m_owned)
        Fail(name + ": cannot open: " + SystemError() + "; check the name and permissions");
    m_file = m_owned.get();
}

Input::Input(std::FILE* file, const std::string& display) : m_file(file), m_display(display) {}

std::size_t Input::Read(char* dest, std::size_t size) {
    const std::size_t got = std::fread(dest, 1, size, m_file);
    if (got == 0 && std::ferror(m_file))
        Fail(m_display + ": read error: " + SystemError());
    return got;
}

Output::Output(const std::string& name) : m_buffer(new char[kBufferSize]), m_name(name) {
    if (name == "-") {
        m_stdout = true;
        m_file = stdout;
        platform::SetBinary(stdout);
        return;
    }
    if (ExistsButNotPlainFile(name)) {
        // A device, a pipe or a link is written to as it is: moving a file
        // in place would replace it.
        m_owned = OpenFile(name, "wb");
        if (!m_owned)
            Fail(name + ": cannot open for writing: " + SystemError());
    } else {
        m_temp = name + ".vek-part";
        m_owned = OpenFile(m_temp, "wb");
        if (!m_owned)
            Fail(name + ": cannot create " + m_temp + ": " + SystemError() +
                 "; check that the folder exists and is writable");
    }
    m_file = m_owned.get();
}

Output::~Output() {
    if (m_done)
        return;
    m_owned.reset();  // closed before the temporary copy is removed
    if (!m_temp.empty())
        std::remove(m_temp.c_str());
}

void Output::WriteOut(const char* bytes, std::size_t size) {
    if (size != 0 && std::fwrite(bytes, 1, size, m_file) != size)
        Fail((m_stdout ? std::string("standard output") : m_name) +
             ": write error: " + SystemError());
}

void Output::Flush(const char* bytes, std::size_t size) {
    WriteOut(m_buffer.get(), m_used);
    m_used = 0;
    if (size >= kBufferSize) {
        WriteOut(bytes, size);
    } else if (size > 0) {
        std::memcpy(m_buffer.get(), bytes, size);
        m_used = size;
    }
}

void Output::WriteNulsAsLf(const char* bytes, std::size_t size) {
    while (size > 0) {
        if (m_used == kBufferSize)
            Flush(nullptr, 0);
        const std::size_t part = std::min(size, kBufferSize - m_used);
        char* out = m_buffer.get() + m_used;
        for (std::size_t i = 0; i < part; ++i) {
            const char c = bytes[i];
            out[i] = c == '\0' ? '\n' : c;
        }
        m_used += part;
        bytes += part;
        size -= part;
    }
}

void Output::Commit() {
    Flush(nullptr, 0);
    if (m_stdout) {
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            Fail("standard output: write error: " + SystemError());
        m_done = true;
        return;
    }
    if (!m_temp.empty())
        platform::KeepModeOf(m_name, m_temp);
    const bool bad = std::ferror(m_file) != 0;
    m_file = nullptr;
    if (!CloseFile(m_owned) || bad)
        Fail(m_name + ": write error: " + SystemError() + "; is the disk full?");
    if (!m_temp.empty())
        platform::MoveIntoPlace(m_temp, m_name);
    m_done = true;
}

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

bool IsRegularFile(const std::string& name) {
    struct stat info {};
    return stat(name.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG;
}

long long FileSize(const std::string& name) {
    struct stat info {};
    if (stat(name.c_str(), &info) != 0)
        return -1;
    return static_cast<long long>(info.st_size);
}

TextScan ScanTextFile(const std::string& name) {
    Input in(name);
    std::vector<char> chunk(kChunkSize);
    TextScan scan;
    long feeds = 0;
    char last = '\n';
    for (;;) {
        const std::size_t got = in.Read(chunk.data(), chunk.size());
        if (got == 0)
            break;
        const char* p = chunk.data();
        if (scan.nulLine == 0) {
            const auto* nul = static_cast<const char*>(std::memchr(p, '\0', got));
            if (nul != nullptr)
                scan.nulLine = feeds + 1 + static_cast<long>(std::count(p, nul, '\n'));
        }
        feeds += static_cast<long>(std::count(p, p + got, '\n'));
        last = p[got - 1];
    }
    scan.unterminated = last != '\n';
    scan.lines = feeds + (scan.unterminated ? 1 : 0);
    return scan;
}

void ConvertCrLfToLf(const std::string& name) {
    std::vector<char> chunk(kChunkSize);
    std::string converted;
    Output out(name);
    {
        // The input is closed before the converted copy takes its place.
        Input in(name);
        bool pendingCr = false;
        for (;;) {
            const std::size_t got = in.Read(chunk.data(), chunk.size());
            if (got == 0)
                break;
            converted.clear();
            for (std::size_t i = 0; i < got; ++i) {
                const char c = chunk[i];
                if (pendingCr && c != '\n')
                    converted.push_back('\r');
                pendingCr = c == '\r';
                if (!pendingCr)
                    converted.push_back(c);
            }
            out.Write(converted.data(), converted.size());
        }
        if (pendingCr)
            out.Write("\r", 1);
    }
    out.Commit();
}

void SyncToDisk(const std::string& name) {
    const int fd = platform::OpenToSync(name);
    const bool ok = fd >= 0 && platform::Sync(fd);
    const std::string error = SystemError();
    if (fd >= 0)
        close(fd);
    if (!ok)
        Fail(name + ": cannot write it to the disk: " + error + "; is the disk full?");
}

bool CreateEmptyFile(const std::string& name) {
    OwnedFile file = OpenFile(name, "wb");
    return file && CloseFile(file);
}

std::string WriteProbe(const std::string& name) {
    OwnedFile file = OpenFile(name, "ab");
    if (!file)
        return SystemError();
    // Unbuffered, so that the write itself reports the failure.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    errno = 0;
    const bool written = std::fputc('\n', file.get()) != EOF;
    return written ? std::string() : SystemError();
}

void RefuseOutputOverInput(const std::string& command, const std::string& output,
                           const std::vector<std::string>& inputs) {
    if (!IsNamedFile(output))
        return;
    for (const std::string& input : inputs)
        if (output == input || (IsNamedFile(input) && platform::SameFile(output, input)))
            Fail(command + ": the output " + output + " is the input " + input +
                 " (the same file); nothing was written: name another output file");
}

}  // namespace vekcli
