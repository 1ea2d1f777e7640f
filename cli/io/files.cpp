#include "io/files.h"

#include <algorithm>
#include <cerrno>
#if defined(VEK_CLI_THREADS)
#include <mutex>
#endif
#include <utility>

#include "report/trouble.h"
#include "system/platform.h"

namespace vekcli {

namespace {

bool IsNamedFile(const std::string& name) {
    return !name.empty() && name != "-";
}

// Every file opened by name for reading in this run, so that standard
// output can be compared with them.
std::vector<platform::FileInfo>& InputsOpened() {
    static std::vector<platform::FileInfo> inputs;
    return inputs;
}
#if defined(VEK_CLI_THREADS)
std::mutex g_inputsLock;  // two files may be opened at once
#endif

bool IsStream(const platform::FileInfo& info) {
    return info.exists && !info.regular && !info.directory;
}

// Notes an input just opened. A pipe, FIFO or terminal gives its bytes to
// one reader only: opened a second time it would read as cut short (or
// wait for ever), so a stream named twice is shared before anything is
// read (ShareRepeatedInputs); one met again here anyway (its name changed
// in between) is refused.
void NoteInput(const platform::FileInfo& info, const std::string& shown) {
#if defined(VEK_CLI_THREADS)
    const std::lock_guard<std::mutex> hold(g_inputsLock);
#endif
    if (IsStream(info))
        for (const platform::FileInfo& earlier : InputsOpened())
            if (earlier.Same(info))
                Fail(shown +
                     ": is a pipe or device that vek has read already under another name, so "
                     "its bytes are gone; nothing was written: name it once");
    InputsOpened().push_back(info);
}

// A writer's buffer of `size` bytes: the one the last writer of that size
// gave back (a tree's files are written one after another through one
// buffer, whose pages are touched once), else a new one. Given `done`, keeps
// it for the next writer instead, and returns nothing.
std::unique_ptr<char[]> WriterBuffer(std::size_t size, std::unique_ptr<char[]> done = nullptr) {
    static std::unique_ptr<char[]> spare;
    static std::size_t spareSize = 0;
#if defined(VEK_CLI_THREADS)
    static std::mutex lock;
    const std::lock_guard<std::mutex> hold(lock);
#endif
    if (done) {
        if (!spare) {
            spare = std::move(done);
            spareSize = size;
        }
        return nullptr;
    }
    return spare && spareSize == size ? std::move(spare) : std::unique_ptr<char[]>(new char[size]);
}

// The inputs read once into a copy that serves every one of their names.
struct SharedInput {
    std::string name;
    const Temporary* copy;
};
std::vector<SharedInput>& SharedInputs() {
    static std::vector<SharedInput> shared;
    return shared;
}
std::vector<std::unique_ptr<Temporary>>& SharedCopies() {
    static std::vector<std::unique_ptr<Temporary>> copies;
    return copies;
}

// The copy serving `name`, or null.
const Temporary* SharedCopyOf(const std::string& name) {
    for (const SharedInput& shared : SharedInputs())
        if (shared.name == name)
            return shared.copy;
    return nullptr;
}

// Standard output that is one of the files read would be overwritten while
// (or before) it is used: refused.
void RefuseStdoutOverInputs() {
    platform::FileInfo out;
    if (!platform::StatDescriptor(1, out) || !out.regular)
        return;
#if defined(VEK_CLI_THREADS)
    const std::lock_guard<std::mutex> hold(g_inputsLock);
#endif
    for (const platform::FileInfo& input : InputsOpened())
        if (input.Same(out))
            Fail(
                "standard output is one of the input files; nothing was written: send the "
                "output to another file, or use -o");
}

}  // namespace

OwnedFile OpenFile(const std::string& name, const char* mode) {
    return OwnedFile(platform::OpenStream(name, mode));
}

bool CloseFile(OwnedFile& file) {
    return std::fclose(file.release()) == 0;
}

bool CopyInto(const std::string& name, Temporary& copy) {
    const int fd = copy.TakeDescriptor();
    bool ok = true;
    if (!name.empty()) {
        Input in(name);
        Chunk chunk;
        while (ok) {
            const std::size_t got = in.Read(chunk.data(), chunk.size());
            if (got == 0)
                break;
            ok = platform::WriteAll(fd, chunk.data(), got);
        }
    }
    const int error = errno;
    const bool closed = platform::CloseDescriptor(fd);
    if (!ok)
        errno = error;
    return ok && closed;
}

void ShareRepeatedInputs(const std::vector<std::string>& names, bool everyStream) {
    // Standard input named twice is one stream whatever it is: a file on
    // it is read through one offset.
    std::vector<platform::FileInfo> info(names.size());
    std::vector<bool> shareable(names.size(), false);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty() || SharedCopyOf(names[i]) != nullptr)
            continue;
        const bool known =
            names[i] == "-" ? !platform::StreamWasClosed(0) && platform::StatDescriptor(0, info[i])
                            : platform::Stat(names[i], info[i]);
        shareable[i] = known && (IsStream(info[i]) || names[i] == "-");
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!shareable[i] || SharedCopyOf(names[i]) != nullptr)
            continue;
        std::vector<std::string> group;
        for (std::size_t j = i; j < names.size(); ++j)
            if (shareable[j] && (names[j] == names[i] || info[j].Same(info[i])))
                group.push_back(names[j]);
        if (group.size() < 2 && !(everyStream && IsStream(info[i])))
            continue;
        const std::string shown = DisplayName(names[i]);
        auto copy = std::make_unique<Temporary>(TemporaryFolder() + "x", shown);
        if (!CopyInto(names[i], *copy))
            Fail(shown + ": cannot keep a copy of it in " + copy->Name() + ": " + SystemError() +
                 "; is the disk full?");
        for (const std::string& name : group)
            SharedInputs().push_back({name, copy.get()});
        SharedCopies().push_back(std::move(copy));
    }
}

const std::string& ReadablePath(const std::string& name) {
    const Temporary* copy = SharedCopyOf(name);
    return copy != nullptr ? copy->Name() : name;
}

Input::Input(const std::string& name) : m_display(DisplayName(name)) {
    NoteWork("reading " + m_display);
    if (const Temporary* copy = SharedCopyOf(name)) {
        m_owned = OpenFile(copy->Name(), "rb");
        if (!m_owned)
            Fail(m_display + ": cannot open the copy " + copy->Name() + ": " + SystemError());
        m_file = m_owned.get();
        return;
    }
    if (name == "-") {
        if (platform::StreamWasClosed(0))
            Fail("standard input is closed; give the input on standard input, or name a file");
        m_stdin = true;
        platform::FileInfo info;
        if (platform::StatDescriptor(0, info) && (info.regular || IsStream(info)))
            NoteInput(info, m_display);
        m_file = stdin;
        platform::SetBinary(stdin);
        return;
    }
    platform::FileInfo info;
    if (!platform::Stat(name, info))
        Fail(name + ": cannot open: " + SystemError() + "; check the name");
    if (info.directory)
        Fail(name + ": is a folder; name a file");
    if (!platform::FaultDue(platform::FileOp::kOpen))
        m_owned = OpenFile(name, "rb");
    if (!m_owned)
        Fail(name + ": cannot open: " + SystemError() + "; check the name and permissions");
    m_file = m_owned.get();
    platform::FileInfo opened;
    if (platform::StatDescriptor(fileno(m_file), opened))
        NoteInput(opened, m_display);
}

Input::Input(std::FILE* file, const std::string& display) : m_file(file), m_display(display) {}

std::size_t Input::Read(char* dest, std::size_t size) {
    const std::size_t got = std::fread(dest, 1, size, m_file);
    if (got == 0 && std::ferror(m_file))
        Fail(m_display + ": read error: " + SystemError());
    return got;
}

Output::Output(const std::string& name, std::size_t buffer)
    : m_capacity(buffer), m_buffer(WriterBuffer(m_capacity)), m_name(name) {
    NoteWork("writing " + DisplayName(name));
    if (name == "-") {
        if (platform::StreamWasClosed(1))
            Fail("standard output is closed; give the output a file with -o");
        RefuseStdoutOverInputs();
        m_stdout = true;
        std::fflush(stdout);
        platform::SetBinary(stdout);
        m_fd = 1;
        return;
    }
    m_place = platform::ResolveLink(name);
    platform::FileInfo info;
    if (!platform::Stat(m_place, info) && info.exists)
        Fail(name + ": cannot look it up: " + SystemError());
    if (info.directory)
        Fail(name + ": is a folder; name a file");
    if (info.exists && !info.regular) {
        // A device or pipe is written to as it is: there is no file to
        // replace.
        m_fd = platform::OpenForWriting(m_place);
        if (m_fd < 0)
            Fail(name + ": cannot open for writing: " + SystemError());
        return;
    }
    if (info.exists)
        m_attributes = CheckReplaceable(name, m_place);
    m_temp = Temporary(m_place, name);
    m_fd = m_temp.TakeDescriptor();
}

Output::Output(const std::string& staged, const std::string& shown, unsigned mode)
    : m_capacity(kSmallBuffer),
      m_buffer(WriterBuffer(m_capacity)),
      m_staged(true),
      m_mode(mode),
      m_name(shown) {
    NoteWork("writing " + shown);
    m_fd = platform::OpenForWriting(staged);
    if (m_fd < 0)
        WriteFailed("cannot open its temporary file");
}

Output::~Output() {
    if (m_fd >= 0 && !m_stdout)
        platform::CloseDescriptor(m_fd);
    WriterBuffer(m_capacity, std::move(m_buffer));
    // m_temp, still registered unless committed, removes the temporary.
}

void Output::WriteFailed(const char* what) {
    // The disk is blamed only where the error says it is full; a refused
    // rename (an immutable file) is not.
    bool full = errno == ENOSPC || errno == EFBIG;
#ifdef EDQUOT
    full = full || errno == EDQUOT;
#endif
    const std::string error = SystemError();
    Fail((m_stdout ? std::string("standard output") : m_name) + ": " + what + ": " + error +
         (m_temp.Active() || m_staged ? (full ? "; is the disk full? the file was not changed"
                                              : "; the file was not changed")
                                      : ""));
}

void Output::WriteOut(const char* bytes, std::size_t size) {
    if (size == 0)
        return;
    if (!platform::WriteAll(m_fd, bytes, size))
        WriteFailed("write error");
    // A file that is synced before it is put in place is on its way to
    // the disk as it is written.
    if (m_staged || m_temp.Active())
        platform::StartWriteback(m_fd, m_written, static_cast<long long>(size));
    m_written += static_cast<long long>(size);
}

void Output::Flush(const char* bytes, std::size_t size) {
    WriteOut(m_buffer.get(), m_used);
    m_used = 0;
    if (size >= m_capacity) {
        WriteOut(bytes, size);
    } else if (size > 0) {
        std::memcpy(m_buffer.get(), bytes, size);
        m_used = size;
    }
}

void Output::WriteNulsAsLf(const char* bytes, std::size_t size) {
    while (size > 0) {
        if (m_used == m_capacity)
            Flush(nullptr, 0);
        const std::size_t part = std::min(size, m_capacity - m_used);
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
    if (m_stdout)
        RefuseStdoutOverInputs();
    Flush(nullptr, 0);
    if (m_staged) {
        if (!platform::SetMode(m_fd, m_mode))
            WriteFailed("cannot give the new copy its mode");
        if (!platform::CloseDescriptor(std::exchange(m_fd, -1)))
            WriteFailed("write error");
        m_done = true;
        return;
    }
    if (m_stdout || !m_temp.Active()) {
        m_done = true;
        return;
    }
    platform::FileInfo old;
    if (!platform::Stat(m_place, old) && old.exists)
        WriteFailed("cannot look it up");
    const bool replaces = old.exists;
    std::string failed;
    if (replaces && !platform::CarryOver(m_fd, m_place, m_attributes, failed))
        FailToCarryOver(m_name, failed, "the file was not changed");
    if (!replaces && !platform::SetNewFileMode(m_fd))
        WriteFailed("cannot give the new copy the file's mode");
    if (!platform::SyncDescriptor(m_fd))
        WriteFailed("cannot write it to the disk");
    const int fd = m_fd;
    m_fd = -1;
    if (!platform::CloseDescriptor(fd))
        WriteFailed("write error");
    if (!platform::Rename(m_temp.Name(), m_place))
        WriteFailed("cannot put the new copy in place");
    m_temp.Keep();
    platform::SyncFolder(FolderOf(m_place).empty() ? "." : FolderOf(m_place));
    m_done = true;
    if (replaces)
        WarnAboutOtherNames(m_name, old.links);
}

bool IsRegularFile(const std::string& name) {
    platform::FileInfo info;
    return platform::Stat(name, info) && info.regular;
}

long long FileSize(const std::string& name) {
    platform::FileInfo info;
    return platform::Stat(name, info) ? info.size : -1;
}

void ConvertCrLfToLf(const std::string& name) {
    Chunk chunk;
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

std::string RoomProbe(const std::string& name, long long bytes) {
    OwnedFile file = OpenFile(name, "ab");
    if (!file)
        return SystemError();
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    static const char zeros[65536] = {};
    for (long long left = bytes; left > 0;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<long long>(left, sizeof zeros));
        errno = 0;
        const std::size_t put = std::fwrite(zeros, 1, piece, file.get());
        if (put != piece)
            return SystemError();
        left -= static_cast<long long>(put);
    }
    return std::string();
}

void RefuseOutputOverInput(const std::string& command, const std::string& output,
                           const std::vector<std::string>& inputs) {
    if (output == "-") {
        platform::FileInfo out;
        if (!platform::StatDescriptor(1, out) || !out.regular)
            return;
        for (const std::string& input : inputs) {
            platform::FileInfo in;
            if (IsNamedFile(input) && platform::Stat(input, in) && in.Same(out))
                Fail(command + ": standard output is the input " + input +
                     "; nothing was written: send the output to another file");
        }
        return;
    }
    if (!IsNamedFile(output))
        return;
    for (const std::string& input : inputs)
        if (output == input || (IsNamedFile(input) && platform::SameFile(output, input)))
            Fail(command + ": the output " + output + " is the input " + input +
                 " (the same file); nothing was written: name another output file");
}

}  // namespace vekcli
