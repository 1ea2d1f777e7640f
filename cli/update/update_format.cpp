#include "update/update_format.h"

#include <cstring>
#include <map>

#include "files/bundle_lines.h"
#include "io/files.h"
#include "lines/line_reader.h"
#include "report/trouble.h"
#include "scripts/script_applier.h"
#include "system/platform.h"

namespace vekcli::update {

namespace {

const char* const kActions[] = {"add", "delete", "change", "mode"};
const char kCrLfFault[] =
    "the update's line ends were changed to CR LF on its way (as a text transfer does), so "
    "its hash no longer matches: copy it as a binary file";
constexpr std::size_t kUpdateChunk = 64 * 1024;
const char* const kBodies[] = {"none", "ed", "ed-crlf", "ed-open", "ed-crlf-open", "uu", "link"};

// The length of the UTF-8 sequence that starts at `p` (at most `left`
// bytes), 0 when it is not one.
std::size_t Utf8Length(const unsigned char* p, std::size_t left) {
    const unsigned char c = p[0];
    std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || n > left)
        return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0) || (c == 0xF0 && p[1] < 0x90) ||
        (c == 0xF4 && p[1] >= 0x90))
        return 0;
    return n;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsHash(std::string_view text) {
    if (text.size() != 64)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool ParseMode(std::string_view text, int& mode) {
    if (text == "-") {
        mode = kNoMode;
        return true;
    }
    if (text.size() != 4)
        return false;
    mode = 0;
    for (const char c : text) {
        if (c < '0' || c > '7')
            return false;
        mode = mode * 8 + (c - '0');
    }
    return true;
}

// Whether the record's fields fit together; the fault in words when not.
std::string RecordFault(const Record& r) {
    const bool file = r.kind == tree::Kind::kFile;
    const bool link = r.kind == tree::Kind::kLink;
    const bool folder = r.kind == tree::Kind::kFolder;
    const bool oldMode = r.oldMode != kNoMode, newMode = r.newMode != kNoMode;
    const bool oldHash = !r.oldHash.empty(), newHash = !r.newHash.empty();
    const bool ed = IsScript(r.body);
    bool fits = false;
    switch (r.action) {
        case Action::kAdd:
            fits = !oldMode && !oldHash &&
                   ((file && newMode && newHash && r.body == Body::kUu) ||
                    (link && newHash && r.body == Body::kLink) ||
                    (folder && newMode && !newHash && r.body == Body::kNone));
            break;
        case Action::kDelete:
            fits = !newMode && !newHash && r.body == Body::kNone &&
                   ((file && oldMode && oldHash) || (link && oldHash) ||
                    (folder && oldMode && !oldHash));
            break;
        case Action::kChange:
            fits = oldHash && newHash && r.oldHash != r.newHash &&
                   ((file && oldMode && newMode && (ed || r.body == Body::kUu)) ||
                    (link && r.body == Body::kLink));
            break;
        case Action::kMode:
            fits =
                oldMode && newMode && r.oldMode != r.newMode && r.body == Body::kNone &&
                ((file && oldHash && r.oldHash == r.newHash) || (folder && !oldHash && !newHash));
            break;
    }
    if (!fits)
        return "its fields do not fit together (what it does, the kind, modes, hashes and body)";
    if ((r.body == Body::kNone && r.count != 0) || (r.body == Body::kLink && r.count != 1) ||
        (ed && r.count == 0))
        return "its body has the wrong number of lines";
    return std::string();
}

}  // namespace

std::string ModeText(int mode) {
    if (mode == kNoMode)
        return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode) & 07777);
    return text;
}

const char* ActionName(Action action) {
    return kActions[static_cast<int>(action)];
}

const char* KindName(tree::Kind kind) {
    switch (kind) {
        case tree::Kind::kFile:
            return "file";
        case tree::Kind::kLink:
            return "link";
        case tree::Kind::kFolder:
            return "folder";
        default:
            return "other";
    }
}

std::string EscapeName(std::string_view raw) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(raw.size());
    const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
    for (std::size_t i = 0; i < raw.size();) {
        const unsigned char c = p[i];
        if (c > 0x20 && c < 0x7F && c != '\\') {
            text.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        if (c >= 0x80) {
            if (const std::size_t n = Utf8Length(p + i, raw.size() - i)) {
                text.append(raw.substr(i, n));
                i += n;
                continue;
            }
        }
        text += "\\x";
        text.push_back(kHex[c >> 4]);
        text.push_back(kHex[c & 15]);
        ++i;
    }
    return text;
}

bool UnescapeName(std::string_view text, std::string& raw) {
    raw.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            raw.push_back(text[i]);
            continue;
        }
        if (i + 3 >= text.size() + 0 || text[i + 1] != 'x')
            return false;
        const int high = HexValue(text[i + 2]), low = HexValue(text[i + 3]);
        if (high < 0 || low < 0)
            return false;
        raw.push_back(static_cast<char>(high * 16 + low));
        i += 3;
    }
    return true;
}

std::string PathFault(const std::string& raw) {
    if (raw.empty())
        return "an empty path";
    if (raw.find('\0') != std::string::npos)
        return "a NUL byte in the path";
    if (raw[0] == '/')
        return "an absolute path";
    const std::string systemFault = tree::SystemPathFault(raw);
    if (!systemFault.empty())
        return systemFault;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = raw.find('/', start);
        const std::string_view name(raw.data() + start,
                                    (slash == std::string::npos ? raw.size() : slash) - start);
        if (name.empty())
            return "an empty name in the path (two slashes, or one at the end)";
        if (name == "..")
            return "'..' in the path, which leads out of the tree";
        if (name == ".")
            return "a '.' name in the path";
        if (slash == std::string::npos)
            return std::string();
        start = slash + 1;
    }
}

UpdateWriter::UpdateWriter(Output& out) : m_out(out) {
    Line(kFirstLine);
}

void UpdateWriter::Put(const char* bytes, std::size_t size) {
    m_hash.Update(bytes, size);
    m_out.Write(bytes, size);
    m_size += static_cast<long long>(size);
}

void UpdateWriter::Line(std::string_view text) {
    Put(text.data(), text.size());
    Put("\n", 1);
}

void UpdateWriter::Add(const Record& r) {
    std::string line =
        std::string(ActionName(r.action)) + ' ' + KindName(r.kind) + ' ' + ModeText(r.oldMode) +
        ' ' + ModeText(r.newMode) + ' ' + (r.oldHash.empty() ? "-" : r.oldHash) + ' ' +
        (r.newHash.empty() ? "-" : r.newHash) + ' ' + kBodies[static_cast<int>(r.body)] + ' ' +
        std::to_string(r.count) + ' ' + EscapeName(r.path);
    Line(line);
}

long long UpdateWriter::UuLines(std::size_t size) {
    return static_cast<long long>((size + vek::bundle::kDataBlock - 1) / vek::bundle::kDataBlock);
}

void UpdateWriter::Uuencode(const char* bytes, std::size_t size) {
    char line[vek::bundle::kMaxDataLine];
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t at = 0;
    for (; at + vek::bundle::kDataBlock + 2 <= size; at += vek::bundle::kDataBlock)
        Put(line, vek::bundle::EncodeDataLine(p + at, vek::bundle::kDataBlock, line));
    // The last lines from a copy, which may be read past their bytes.
    while (at < size) {
        unsigned char block[vek::bundle::kDataBlock + 3] = {};
        const std::size_t n = std::min(size - at, vek::bundle::kDataBlock);
        std::memcpy(block, p + at, n);
        Put(line, vek::bundle::EncodeDataLine(block, n, line));
        at += n;
    }
}

void UpdateWriter::Finish() {
    const std::string hash = m_hash.HexDigest();
    m_out.Write(hash.data(), hash.size());
    m_out.Write("\n", 1);
}

// The update as read: the line reader for the one pass that checks it,
// then the file again for each body, from where the pass found it.
struct UpdateFile::Reader {
    std::unique_ptr<Input> input;
    long long start = 0;  // where the update starts in the file
    std::string body;     // the last body read
};

UpdateFile::~UpdateFile() = default;

UpdateFile::UpdateFile(const std::string& name) : m_name(DisplayName(name)), m_reader(new Reader) {
    NoteWork("reading the update " + m_name);
    Reader& reader = *m_reader;
    // Standard input or a pipe is copied as it is read: its bodies are
    // read again.
    ShareRepeatedInputs({name}, true);
    reader.input = std::make_unique<Input>(name);
    reader.start = platform::Tell(reader.input->File());
    if (reader.start < 0)
        Fail(m_name + ": cannot read it twice (it is a pipe or device)");
    // Read in small chunks: an update can be far larger than any file in it.
    LineReader lines(*reader.input, false, kUpdateChunk);
    long number = 0;           // of the last line read
    long long heldOffset = 0;  // the bytes of the lines taken, where the next starts
    auto fault = [&](long line, const std::string& what) {
        Fail(m_name + ":" + std::to_string(line) + ": " + what +
                 "; nothing was written: the update is damaged or not one",
             2);
    };
    Sha256 hash;
    std::string held;
    std::string_view line;
    long long bodyLeft = 0;
    std::vector<std::string> body;
    std::map<std::string, int> seen;  // paths: 1 deleted, 2 other, 3 deleted and added
    // A uu line checked as it comes: each decodes to a full block but the
    // last, and is exactly how the writer encodes its bytes.
    auto uuLine = [&](std::string_view text, long lineNumber, bool last) {
        unsigned char decoded[vek::bundle::kMaxDecodedBytes];
        char again[vek::bundle::kMaxDataLine];
        bool cutShort = false;
        const std::size_t n = vek::bundle::DecodeDataLine(text, decoded, cutShort);
        unsigned char block[vek::bundle::kDataBlock + 3] = {};
        std::memcpy(block, decoded, std::min(n, vek::bundle::kDataBlock));
        const bool full = n == vek::bundle::kDataBlock || last;
        if (cutShort || n == 0 || n > vek::bundle::kDataBlock || !full ||
            std::string_view(again, vek::bundle::EncodeDataLine(block, n, again) - 1) != text)
            fault(lineNumber, "not a uuencoded line of the update");
    };
    // Checks the body just read in full.
    auto bodyDone = [&](long lastLine) {
        const Record& r = m_records.back();
        const long first = lastLine - static_cast<long>(body.size()) + 1;
        if (IsScript(r.body)) {
            std::vector<std::string_view> views(body.begin(), body.end());
            EdScript script;
            ScriptRefusal refusal;
            if (!script.Read(views, refusal))
                fault(first + refusal.line - 1, "the edit script is refused: " + refusal.reason);
        } else if (r.body == Body::kLink) {
            std::string& target = m_records.back().linkTarget;
            if (!UnescapeName(body[0], target) || target.empty() ||
                target.find('\0') != std::string::npos)
                fault(first, "not a link's target");
        }
        body.clear();
    };
    auto take = [&](std::string_view text, long lineNumber) {
        if (lineNumber == 1) {
            if (text == std::string(kFirstLine) + "\r")
                fault(1, kCrLfFault);
            if (text != kFirstLine) {
                if (StartsWith(text, "vek-update "))
                    fault(1, "the update is of format version " + std::string(text.substr(11)) +
                                 ", which this vek does not read (it reads " +
                                 std::string(kFirstLine.substr(11)) + ")");
                fault(1,
                      "not a vek update (its first line is not '" + std::string(kFirstLine) + "')");
            }
            return;
        }
        if (bodyLeft > 0) {
            Record& r = m_records.back();
            r.bodySize += static_cast<long long>(text.size()) + 1;
            --bodyLeft;
            if (r.body == Body::kUu)
                uuLine(text, lineNumber, bodyLeft == 0);
            else
                body.emplace_back(text);
            if (bodyLeft == 0)
                bodyDone(lineNumber);
            return;
        }
        std::string_view fields[9];
        std::size_t count = 0, start = 0;
        for (; count < 9; ++count) {
            const std::size_t space = count < 8 ? text.find(' ', start) : text.size();
            if (space == std::string::npos)
                break;
            fields[count] = std::string_view(text).substr(start, space - start);
            start = space + 1;
        }
        if (count != 9)
            fault(lineNumber, "not a record line (it needs nine fields)");
        Record r;
        int action = -1, form = -1;
        for (int i = 0; i < 4; ++i)
            if (fields[0] == kActions[i])
                action = i;
        for (int i = 0; i < 7; ++i)
            if (fields[6] == kBodies[i])
                form = i;
        r.kind = fields[1] == "file"     ? tree::Kind::kFile
                 : fields[1] == "link"   ? tree::Kind::kLink
                 : fields[1] == "folder" ? tree::Kind::kFolder
                                         : tree::Kind::kNone;
        if (action < 0 || form < 0 || r.kind == tree::Kind::kNone)
            fault(lineNumber, "not a record line (an unknown action, kind or body)");
        r.action = static_cast<Action>(action);
        r.body = static_cast<Body>(form);
        if (!ParseMode(fields[2], r.oldMode) || !ParseMode(fields[3], r.newMode))
            fault(lineNumber, "a mode is not four octal digits or '-'");
        for (int i = 4; i < 6; ++i)
            if (fields[i] != "-" && !IsHash(fields[i]))
                fault(lineNumber, "a hash is not 64 hex digits or '-'");
        r.oldHash = fields[4] == "-" ? std::string() : std::string(fields[4]);
        r.newHash = fields[5] == "-" ? std::string() : std::string(fields[5]);
        if (fields[7].empty() || fields[7].size() > 15 ||
            fields[7].find_first_not_of("0123456789") != std::string_view::npos)
            fault(lineNumber, "the count of body lines is not a number");
        r.count = std::stoll(std::string(fields[7]));
        if (!UnescapeName(fields[8], r.path))
            fault(lineNumber, "the path holds a backslash that is not \\xHH");
        const std::string pathFault = PathFault(r.path);
        if (!pathFault.empty())
            fault(lineNumber, Escaped(r.path) + ": refused: " + pathFault);
        const std::string recordFault = RecordFault(r);
        if (!recordFault.empty())
            fault(lineNumber, recordFault);
        // A path comes once, or twice when its kind changes: deleted, then added.
        int& state = seen[r.path];
        const int now = r.action == Action::kDelete ? 1 : 2;
        if (state == 0)
            state = now;
        else if (state == 1 && r.action == Action::kAdd)
            state = 3;
        else
            fault(lineNumber, Escaped(r.path) + ": the path has a record already");
        r.bodyOffset = heldOffset + static_cast<long long>(text.size()) + 1;
        bodyLeft = r.count;
        m_records.push_back(std::move(r));
    };
    // A line is taken once the next one is read, as only the last line
    // is the hash; but a body's line is taken at once, without a copy (the
    // update cannot end in one).
    bool holding = false;
    auto takeLine = [&](std::string_view text, long lineNumber) {
        hash.Update(text);
        hash.Update("\n", 1);
        take(text, lineNumber);
        heldOffset += static_cast<long long>(text.size()) + 1;
    };
    while (lines.Next(line)) {
        ++number;
        if (holding)
            takeLine(held, number - 1);
        holding = bodyLeft == 0;
        if (holding)
            held.assign(line.data(), line.size());
        else
            takeLine(line, number);
    }
    const bool heldTerminated = !lines.Info().unterminated;
    if (std::ferror(reader.input->File()))
        Fail(m_name + ": cannot read: " + SystemError());
    if (holding && held.size() == 65 && held.back() == '\r' && IsHash(held.substr(0, 64)))
        fault(number, kCrLfFault);
    if (number < 2 || !holding || !heldTerminated || !IsHash(held) || bodyLeft > 0)
        fault(number, "the update ends early: its last line is not its hash (it was cut short)");
    if (hash.HexDigest() != held)
        fault(number,
              "the hash of the update does not match its contents (a byte was changed or lost)");
}

std::string_view UpdateFile::BodyBytes(const Record& record) {
    Reader& reader = *m_reader;
    std::string& body = reader.body;
    body.resize(static_cast<std::size_t>(record.bodySize));
    std::FILE* file = reader.input->File();
    if (!platform::Seek(file, reader.start + record.bodyOffset) ||
        reader.input->Read(body.data(), body.size()) != body.size())
        Fail(m_name + ": the update changed while it was applied; nothing was written");
    return body;
}

}  // namespace vekcli::update
