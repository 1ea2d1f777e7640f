#include "vek_lines.h"

#include <algorithm>
#include <cstring>

namespace vekcli {

namespace {

// Size at which a run of lines is handed to AddLines.
constexpr std::size_t kRunSize = 256 * 1024;

void ReadWhole(Input& in, std::string& bytes, long long sizeHint) {
    std::size_t used = 0;
    bytes.resize(sizeHint > 0 ? static_cast<std::size_t>(sizeHint) + 1 : 64 * 1024);
    for (;;) {
        if (used == bytes.size())
            bytes.resize(bytes.size() * 2);
        const std::size_t got = in.Read(&bytes[used], bytes.size() - used);
        if (got == 0)
            break;
        used += got;
    }
    bytes.resize(used);
}

long LineOf(const std::string& bytes, std::size_t at) {
    return 1 + static_cast<long>(
                   std::count(bytes.begin(), bytes.begin() + static_cast<long>(at), '\n'));
}

}  // namespace

LineFile ReadLineFile(const std::string& name, bool crlf, bool anyLength) {
    LineFile file;
    file.name = name;
    LoadInfo& info = file.info;
    Input in(name);
    ReadWhole(in, file.bytes, in.IsStdin() ? -1 : FileSize(name));
    std::string& bytes = file.bytes;
    if (crlf) {
        // In the CR LF form the byte 0x1A ends the data.
        const std::size_t eof = bytes.find('\x1A');
        if (eof != std::string::npos) {
            info.eofLine = LineOf(bytes, eof);
            info.eofDropped = static_cast<long long>(bytes.size() - eof);
            bytes.resize(eof);
        }
    }
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string::npos)
        Fail(in.Name() + ":" + std::to_string(LineOf(bytes, nul)) +
             ": the line holds a NUL byte, which a line buffer cannot carry; for binary files use "
             "'vek bundle -b'");

    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    const long count = static_cast<long>(std::count(p, end, '\n')) +
                       (bytes.empty() || bytes.back() == '\n' ? 0 : 1);
    if (count > kBufferLines && !anyLength)
        Fail(in.Name() + ":" + std::to_string(kBufferLines + 1) +
             ": more lines than a buffer holds (at most " + Grouped(kBufferLines) +
             "); split the file into smaller parts");
    file.lines.reserve(static_cast<std::size_t>(count));
    while (p < end) {
        const auto* nl =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const bool terminated = nl != nullptr;
        const char* const stop = terminated ? nl : end;
        std::size_t size = static_cast<std::size_t>(stop - p);
        ++info.lines;
        if (crlf && size > 0 && p[size - 1] == '\r') {
            --size;
        } else if (crlf && terminated) {
            if (info.bareLfLines++ == 0)
                info.firstBareLf = info.lines;
        }
        if (size > 0 && p[0] == '.' && info.firstDotLine == 0)
            info.firstDotLine = info.lines;
        file.lines.emplace_back(p, size);
        if (!terminated)
            info.unterminated = true;
        p = stop + 1;
    }
    WarnUnterminated(in, info);
    WarnCrlfChanges(in, info);
    return file;
}

void AppendLines(int buf, const std::vector<std::string_view>& lines, const std::string& what) {
    const long before = BufferLineCount(buf);
    std::vector<char> run;
    run.reserve(kRunSize + 4096);
    auto refused = [&](int rc) {
        const long stored = BufferLineCount(buf) - before;
        if (rc == RC_BUFFER_FULL)
            Fail(what + ":" + std::to_string(stored + 1) +
                 ": more lines than a buffer holds (at most " + Grouped(kBufferLines) +
                 "); split the file into smaller parts");
        Fail(what + ":" + std::to_string(stored + 1) + ": the library refused the line with " +
             CodeText(rc));
    };
    auto flush = [&]() {
        if (run.empty())
            return;
        run.push_back('\0');  // the empty string that ends the run
        const int rc = AddLines(buf, run.data());
        if (rc != RC_OK)
            refused(rc);
        run.clear();
    };
    for (const std::string_view line : lines) {
        if (line.empty()) {
            // An empty string would end the run, so an empty line goes alone.
            flush();
            const int rc = AddLine(buf, "");
            if (rc != RC_OK)
                refused(rc);
            continue;
        }
        run.insert(run.end(), line.begin(), line.end());
        run.push_back('\0');
        if (run.size() >= kRunSize)
            flush();
    }
    flush();
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

}  // namespace vekcli
