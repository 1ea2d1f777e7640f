#include "vek_io.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "vekwin32.h"

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vekcli {

namespace {

// Bytes read per call, and the size at which a run of lines is handed to
// AddLines. Both bound what vek holds besides the buffers themselves.
constexpr std::size_t kChunkSize = 1024 * 1024;
constexpr std::size_t kRunSize = 256 * 1024;

#if defined(_WIN32)
void SetBinary(std::FILE* file) {
    _setmode(_fileno(file), _O_BINARY);
}
#else
void SetBinary(std::FILE*) {}
#endif

std::int32_t ReadInt32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    const std::uint32_t value =
        static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return static_cast<std::int32_t>(value);
}

bool ExistsButNotPlainFile(const std::string& name) {
    struct stat info {};
#if defined(_WIN32)
    if (stat(name.c_str(), &info) != 0)
        return false;
#else
    if (lstat(name.c_str(), &info) != 0)
        return false;
#endif
    return (info.st_mode & S_IFMT) != S_IFREG;
}

}  // namespace

std::string SystemError() {
    return std::strerror(errno);
}

void Fail(const std::string& message, int status) {
    throw Trouble{status, message};
}

std::string CodeText(int rc) {
    const char* meaning = "an unknown code";
    switch (rc) {
        case RC_FAILED:
            meaning = "a failure inside the library";
            break;
        case RC_BUFFER_FULL:
            meaning = "a buffer is full";
            break;
        case RC_BAD_LINE:
            meaning = "a bad line number or edit command";
            break;
        case RC_BAD_BUFFER:
            meaning = "a bad buffer number";
            break;
        case RC_READ_FAILED:
            meaning = "a file could not be opened or read";
            break;
        case RC_WRITE_FAILED:
            meaning = "a file could not be written, or a malformed binary section";
            break;
        case RC_DIFF_FAILED:
            meaning = "a failure inside the difference computation";
            break;
        case RC_TOO_MANY_FILES:
            meaning = "more than ten files";
            break;
        case RC_BAD_WIDTH:
            meaning = "a bad checksum width";
            break;
        case RC_STATS_FAILED:
            meaning = "a failure while figures were computed";
            break;
        case RC_BAD_TYPE:
            meaning = "a bad type letter";
            break;
        case RC_NO_ROOM:
            meaning = "a line longer than the room given";
            break;
        default:
            break;
    }
    return "code " + std::to_string(rc) + " (" + meaning + ")";
}

std::string DisplayName(const std::string& name) {
    return name == "-" ? std::string("standard input") : name;
}

std::string Grouped(long long value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    int count = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (count > 0 && count % 3 == 0)
            out.push_back(',');
        out.push_back(*it);
        ++count;
    }
    if (value < 0)
        out.push_back('-');
    std::reverse(out.begin(), out.end());
    return out;
}

Input::Input(const std::string& name) : m_display(DisplayName(name)) {
    if (name == "-") {
        m_stdin = true;
        m_file = stdin;
        SetBinary(stdin);
        return;
    }
    struct stat info {};
    if (stat(name.c_str(), &info) != 0)
        Fail(name + ": cannot open: " + SystemError() + "; check the name");
    if ((info.st_mode & S_IFMT) == S_IFDIR)
        Fail(name + ": is a folder; name a file");
    m_file = std::fopen(name.c_str(), "rb");
    if (m_file == nullptr)
        Fail(name + ": cannot open: " + SystemError() + "; check the name and permissions");
    m_owned = true;
}

Input::Input(std::FILE* file, const std::string& display) : m_file(file), m_display(display) {}

Input::~Input() {
    if (m_owned)
        std::fclose(m_file);
}

std::size_t Input::Read(char* dest, std::size_t size) {
    const std::size_t got = std::fread(dest, 1, size, m_file);
    if (got == 0 && std::ferror(m_file))
        Fail(m_display + ": read error: " + SystemError());
    return got;
}

Output::Output(const std::string& name) : m_name(name) {
    if (name == "-") {
        m_stdout = true;
        m_file = stdout;
        SetBinary(stdout);
        m_buffer.reset(new char[kBufferSize]);
        return;
    }
    m_buffer.reset(new char[kBufferSize]);
    if (ExistsButNotPlainFile(name)) {
        // A device, a pipe or a link is written to as it is: moving a file
        // in place would replace it.
        m_file = std::fopen(name.c_str(), "wb");
        if (m_file == nullptr)
            Fail(name + ": cannot open for writing: " + SystemError());
        return;
    }
    m_temp = name + ".vek-part";
    m_file = std::fopen(m_temp.c_str(), "wb");
    if (m_file == nullptr)
        Fail(name + ": cannot create " + m_temp + ": " + SystemError() +
             "; check that the folder exists and is writable");
}

Output::~Output() {
    if (m_stdout || m_done)
        return;
    if (m_file != nullptr)
        std::fclose(m_file);
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
        KeepModeOf(m_name, m_file);
    const bool bad = std::ferror(m_file) != 0;
    const bool closeFailed = std::fclose(m_file) != 0;
    m_file = nullptr;
    if (bad || closeFailed)
        Fail(m_name + ": write error: " + SystemError() + "; is the disk full?");
    if (!m_temp.empty())
        MoveIntoPlace(m_temp, m_name);
    m_done = true;
}

long BufferLineCount(int buf) {
    int count = 0, longest = 0, total = 0;
    const int rc = GetBufStats(buf, &count, &longest, &total);
    if (rc != RC_OK)
        Fail("GetBufStats on buffer " + std::to_string(buf) + " failed with " + CodeText(rc));
    return count;
}

namespace {

// The lines of [p, stop) that end in the chunk go to the buffer straight
// from the chunk: each line feed becomes the NUL that ends the line's
// string, so runs of lines are handed to AddLines without a copy; an empty
// line ends a run, and goes alone through AddLine. A line begun in an
// earlier chunk (`carry`) is finished first through `addLine`. Returns
// where the unfinished last line starts.
template <class AddOne>
char* LoadInPlace(char* p, char* stop, std::string& carry, AddOne& addLine, LineAppender& appender,
                  LoadInfo& info) {
    const int buf = appender.Buffer();
    if (!carry.empty()) {
        auto* nl = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
        if (nl == nullptr)
            return p;
        carry.append(p, static_cast<std::size_t>(nl - p));
        addLine(carry.data(), carry.size(), true);
        carry.clear();
        p = nl + 1;
    }
    appender.Flush();
    char* run = p;
    long runLines = 0;
    for (;;) {
        auto* nl = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
        if (nl == nullptr)
            break;
        NoteLine(p, static_cast<std::size_t>(nl - p), true, false, info);
        *nl = '\0';
        if (nl == p) {
            // This empty string ends the run before it.
            if (runLines > 0) {
                const int rc = AddLines(buf, run);
                if (rc != RC_OK)
                    appender.Refused(rc);
            }
            const int rc = AddLine(buf, "");
            if (rc != RC_OK)
                appender.Refused(rc);
            run = nl + 1;
            runLines = 0;
        } else {
            ++runLines;
        }
        p = nl + 1;
    }
    if (runLines > 0) {
        // The byte after the last NUL ends the run for the call; it is the
        // first byte of the unfinished line (or the spare byte) and is put back.
        const char kept = *p;
        *p = '\0';
        const int rc = AddLines(buf, run);
        *p = kept;
        if (rc != RC_OK)
            appender.Refused(rc);
    }
    return p;
}

}  // namespace

LineAppender::LineAppender(int buf, std::string what)
    : m_buf(buf), m_what(std::move(what)), m_before(BufferLineCount(buf)) {
    m_run.reserve(kRunSize + 4096);
}

void LineAppender::Add(std::string_view text) {
    if (text.empty()) {
        // An empty string would end the run, so an empty line goes alone.
        Flush();
        const int rc = AddLine(m_buf, "");
        if (rc != RC_OK)
            Refused(rc);
        return;
    }
    m_run.insert(m_run.end(), text.begin(), text.end());
    m_run.push_back('\0');
    if (m_run.size() >= kRunSize)
        Flush();
}

void LineAppender::Flush() {
    if (m_run.empty())
        return;
    m_run.push_back('\0');  // the empty string that ends the run
    const int rc = AddLines(m_buf, m_run.data());
    if (rc != RC_OK)
        Refused(rc);
    m_run.clear();
}

void LineAppender::Refused(int rc) const {
    const long stored = BufferLineCount(m_buf) - m_before;
    if (rc == RC_BUFFER_FULL)
        Fail(m_what + ":" + std::to_string(stored + 1) +
             ": more lines than a buffer holds (at most " + Grouped(MAX_LINES + 1L) +
             "); split the file into smaller parts");
    Fail(m_what + ":" + std::to_string(stored + 1) + ": the library refused the line with " +
         CodeText(rc));
}

LoadInfo LoadLines(int buf, Input& in, bool crlf, std::FILE* copy) {
    LoadInfo info;
    LineAppender appender(buf, in.Name());
    // One byte beyond the chunk so that a run of lines in it can be ended.
    std::vector<char> chunk(kChunkSize + 1);
    std::string carry;
    // Lines are searched for NUL bytes only in chunks that hold one.
    bool checkNul = false;

    auto addLine = [&](const char* text, std::size_t size, bool terminated) {
        size = NoteLine(text, size, terminated, crlf, info);
        if (checkNul && size > 0 && std::memchr(text, '\0', size) != nullptr)
            Fail(in.Name() + ":" + std::to_string(info.lines) +
                 ": the line holds a NUL byte, which a line buffer cannot carry; for binary "
                 "files use 'vek bundle -b'");
        appender.Add(std::string_view(text, size));
    };

    bool ended = false;
    while (!ended) {
        std::size_t got = in.Read(chunk.data(), kChunkSize);
        if (got == 0)
            break;
        if (copy != nullptr && std::fwrite(chunk.data(), 1, got, copy) != got)
            Fail("cannot keep a copy of " + in.Name() + ": " + SystemError());
        if (crlf) {
            const void* eof = std::memchr(chunk.data(), 0x1A, got);
            if (eof != nullptr) {
                const std::size_t kept =
                    static_cast<std::size_t>(static_cast<const char*>(eof) - chunk.data());
                info.eofLine =
                    info.lines + 1 +
                    static_cast<long>(std::count(chunk.data(), chunk.data() + kept, '\n'));
                info.eofDropped = static_cast<long long>(got - kept);
                while (std::size_t more = in.Read(chunk.data() + kept, kChunkSize - kept))
                    info.eofDropped += static_cast<long long>(more);
                got = kept;
                ended = true;
            }
        }
        char* p = chunk.data();
        char* const stop = p + got;
        const bool chunkHasNul = std::memchr(p, '\0', got) != nullptr;
        if (!crlf && !chunkHasNul) {
            p = LoadInPlace(p, stop, carry, addLine, appender, info);
            carry.append(p, static_cast<std::size_t>(stop - p));
            continue;
        }
        while (p < stop) {
            auto* nl = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
            if (nl == nullptr) {
                carry.append(p, static_cast<std::size_t>(stop - p));
                break;
            }
            if (carry.empty()) {
                checkNul = chunkHasNul;
                addLine(p, static_cast<std::size_t>(nl - p), true);
            } else {
                // A line that began in an earlier chunk is always checked.
                carry.append(p, static_cast<std::size_t>(nl - p));
                checkNul = true;
                addLine(carry.data(), carry.size(), true);
                carry.clear();
            }
            p = nl + 1;
        }
    }
    if (!carry.empty()) {
        checkNul = true;
        info.unterminated = true;
        addLine(carry.data(), carry.size(), false);
    }
    appender.Flush();
    return info;
}

BufferReader::BufferReader(int buf) : m_buf(buf), m_block(LINES_BLOCK_SIZE) {
    m_count = BufferLineCount(buf);
}

std::string_view BufferReader::Take(int index) const {
    const char* block = m_block.data();
    const std::int32_t offset = ReadInt32(block + 4 * index);
    std::size_t length;
    if (index + 1 < m_delivered)
        length = static_cast<std::size_t>(ReadInt32(block + 4 * (index + 1)) - offset - 1);
    else
        length = std::strlen(block + offset);
    return {block + offset, length};
}

bool BufferReader::Fetch() {
    m_delivered = 0;
    m_index = 0;
    if (m_nextFirst > m_count)
        return false;
    const int want =
        static_cast<int>(std::min<long>(LINES_BLOCK_MAX_LINES, m_count - m_nextFirst + 1));
    int delivered = 0;
    int rc = GetLines(m_buf, static_cast<int>(m_nextFirst), want, m_block.data(), &delivered);
    if (rc != RC_OK)
        Fail("GetLines on buffer " + std::to_string(m_buf) + " from line " +
             std::to_string(m_nextFirst) + " failed with " + CodeText(rc));
    if (delivered > 0) {
        m_delivered = delivered;
        m_nextFirst += delivered;
        return true;
    }
    // The line does not fit into a block: ask for its length, then fetch it.
    const int number = static_cast<int>(m_nextFirst);
    char probe[1];
    int length = 0;
    rc = GetLine(m_buf, number, 0, probe, &length);
    if (rc == RC_NO_ROOM) {
        m_long.assign(static_cast<std::size_t>(length) + 1, '\0');
        rc = GetLine(m_buf, number, length, m_long.data(), &length);
        m_long.resize(static_cast<std::size_t>(length));
    } else {
        m_long.clear();
    }
    if (rc != RC_OK)
        Fail("GetLine on buffer " + std::to_string(m_buf) + " line " + std::to_string(number) +
             " failed with " + CodeText(rc));
    ++m_nextFirst;
    return true;
}

bool BufferReader::Next(std::string_view& line) {
    if (m_index >= m_delivered) {
        if (!Fetch())
            return false;
        if (m_delivered == 0) {
            line = m_long;
            ++m_number;
            return true;
        }
    }
    line = Take(m_index++);
    ++m_number;
    return true;
}

bool BufferReader::NextRun(std::string_view& run, int& count) {
    if (m_index >= m_delivered) {
        if (!Fetch())
            return false;
        if (m_delivered == 0) {
            run = std::string_view(m_long.c_str(), m_long.size() + 1);
            count = 1;
            ++m_number;
            return true;
        }
    }
    const char* start = m_block.data() + ReadInt32(m_block.data() + 4 * m_index);
    const std::string_view last = Take(m_delivered - 1);
    run = std::string_view(start, static_cast<std::size_t>(last.data() + last.size() + 1 - start));
    count = m_delivered - m_index;
    m_number += count;
    m_index = m_delivered;
    return true;
}

void WriteLines(int buf, Output& out, bool crlf) {
    BufferReader reader(buf);
    if (!crlf) {
        // The texts of a transfer block lie end to end, each followed by a
        // NUL, and a text holds no NUL: they go out in one piece.
        std::string_view run;
        int count = 0;
        while (reader.NextRun(run, count))
            out.WriteNulsAsLf(run.data(), run.size());
        return;
    }
    const char* end = crlf ? "\r\n" : "\n";
    const std::size_t endSize = crlf ? 2 : 1;
    std::string_view line;
    while (reader.Next(line)) {
        out.Write(line.data(), line.size());
        out.Write(end, endSize);
    }
}

long FirstDifference(int a, int b) {
    {
        // Equal buffers give equal transfer blocks: compare them whole.
        BufferReader left(a);
        BufferReader right(b);
        if (left.Count() != right.Count())
            return std::min(left.Count(), right.Count()) + 1;
        std::string_view x, y;
        int countX = 0, countY = 0;
        for (;;) {
            const bool hasX = left.NextRun(x, countX);
            const bool hasY = right.NextRun(y, countY);
            if (!hasX && !hasY)
                return 0;
            if (hasX != hasY || countX != countY || x != y)
                break;
        }
    }
    // They differ: find the first differing line.
    BufferReader left(a);
    BufferReader right(b);
    std::string_view x, y;
    for (;;) {
        const bool hasX = left.Next(x);
        const bool hasY = right.Next(y);
        if (!hasX && !hasY)
            return 0;
        if (hasX != hasY || x != y)
            return hasX ? left.LineNumber() : right.LineNumber();
    }
}

bool IsRegularFile(const std::string& name) {
    struct stat info {};
    return stat(name.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-" || a.empty() || b.empty())
        return false;
#if defined(_WIN32)
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
#else
    struct stat x {
    }, y{};
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
#endif
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

void CreateEmptyFile(const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr || std::fclose(file) != 0)
        Fail(name + ": cannot create: " + SystemError());
}

void MoveIntoPlace(const std::string& temp, const std::string& name) {
#if defined(_WIN32)
    if (!MoveFileExA(temp.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        std::remove(temp.c_str());
        Fail(name + ": cannot replace it with " + temp + " (Windows error " +
             std::to_string(GetLastError()) + ")");
    }
#else
    if (std::rename(temp.c_str(), name.c_str()) != 0) {
        const std::string error = SystemError();
        std::remove(temp.c_str());
        Fail(name + ": cannot replace it with " + temp + ": " + error);
    }
#endif
}

void KeepModeOf(const std::string& target, std::FILE* file) {
#if defined(_WIN32)
    (void)target;
    (void)file;
#else
    struct stat info {};
    if (stat(target.c_str(), &info) != 0)
        return;
    const int fd = fileno(file);
    // The owner first: changing it may clear the set-user-ID bits again.
    // Only a privileged process may give a file away; otherwise it stays ours.
    if (fchown(fd, info.st_uid, info.st_gid) != 0)
        (void)!fchown(fd, static_cast<uid_t>(-1), info.st_gid);
    if (fchmod(fd, info.st_mode & 07777) != 0)
        Fail(target + ": cannot give the new copy the file's mode: " + SystemError());
#endif
}

void KeepModeOf(const std::string& target, const std::string& copy) {
#if defined(_WIN32)
    (void)target;
    (void)copy;
#else
    struct stat info {};
    if (stat(target.c_str(), &info) != 0)
        return;
    if (chown(copy.c_str(), info.st_uid, info.st_gid) != 0)
        (void)!chown(copy.c_str(), static_cast<uid_t>(-1), info.st_gid);
    if (chmod(copy.c_str(), info.st_mode & 07777) != 0)
        Fail(target + ": cannot give the new copy the file's mode: " + SystemError());
#endif
}

void SyncToDisk(const std::string& name) {
#if defined(_WIN32)
    const int fd = _open(name.c_str(), _O_RDWR | _O_BINARY);
    const bool ok = fd >= 0 && _commit(fd) == 0;
#else
    const int fd = open(name.c_str(), O_RDONLY);
    const bool ok = fd >= 0 && fsync(fd) == 0;
#endif
    const std::string error = SystemError();
    if (fd >= 0)
        close(fd);
    if (!ok)
        Fail(name + ": cannot write it to the disk: " + error + "; is the disk full?");
}

long long FileSize(const std::string& name) {
    struct stat info {};
    if (stat(name.c_str(), &info) != 0)
        return -1;
    return static_cast<long long>(info.st_size);
}

std::string WriteProbe(const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "ab");
    if (file == nullptr)
        return SystemError();
    // Unbuffered, so that the write itself reports the failure.
    std::setvbuf(file, nullptr, _IONBF, 0);
    errno = 0;
    const bool written = std::fputc('\n', file) != EOF;
    std::string error = written ? std::string() : SystemError();
    std::fclose(file);
    return error;
}

// The library holds three buffers; every command starts from empty ones.
void ResetBuffers() {
    for (int buf = 1; buf <= 3; ++buf) {
        const int rc = InitBuf(buf);
        if (rc != RC_OK)
            Fail("InitBuf(" + std::to_string(buf) + ") failed with " + CodeText(rc));
    }
}

void WarnUnterminated(const std::string& display, const LoadInfo& info) {
    if (info.unterminated)
        std::fprintf(stderr,
                     "vek: %s:%ld: the last line has no line feed; it is taken as if it had one\n",
                     display.c_str(), info.lines);
}

// What reading in the CR LF form dropped or changed: the data from a 0x1A
// byte on, and line feeds without a CR (written back as CR LF).
void WarnCrlfChanges(const std::string& display, const LoadInfo& info) {
    if (info.firstBareLf != 0)
        std::fprintf(stderr,
                     "vek: %s:%ld: the line ends in a line feed without a CR (%ld such line%s): "
                     "in the CR LF form it is read as a line and written back with CR LF; leave "
                     "out --crlf if the file has LF line ends\n",
                     display.c_str(), info.firstBareLf, info.bareLfLines,
                     info.bareLfLines == 1 ? "" : "s");
    if (info.eofLine != 0)
        std::fprintf(stderr,
                     "vek: %s:%ld: a 0x1A byte ends the data in the CR LF form: it and the %lld "
                     "byte%s after it are not read; leave out --crlf to read the whole file\n",
                     display.c_str(), info.eofLine, info.eofDropped - 1,
                     info.eofDropped == 2 ? "" : "s");
}

void LoadFile(int buf, const std::string& name, bool crlf, LoadInfo* infoOut, std::FILE* copy) {
    Input in(name);
    const LoadInfo info = LoadLines(buf, in, crlf, copy);
    WarnUnterminated(in.Name(), info);
    WarnCrlfChanges(in.Name(), info);
    if (infoOut != nullptr)
        *infoOut = info;
}

void WriteBuffer(int buf, const std::string& name, bool crlf) {
    Output out(name);
    WriteLines(buf, out, crlf);
    out.Commit();
}

// An output that is one of the inputs would be destroyed before (or while)
// it is read: refused before anything is written.
void RefuseOutputOverInput(const std::string& command, const std::string& output,
                           const std::vector<std::string>& inputs) {
    if (output.empty() || output == "-")
        return;
    for (const std::string& input : inputs)
        if (output == input || SameFile(output, input))
            Fail(command + ": the output " + output + " is the input " + input +
                 " (the same file); nothing was written: name another output file");
}

}  // namespace vekcli
