// vek diff and vek patch: edit scripts made, checked before they go out,
// and applied.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "diff/whole_file.h"
#include "vek_buffers.h"
#include "vek_commands.h"
#include "vek_files.h"
#include "vek_lines.h"
#include "vek_script_applier.h"
#include "vek_trouble.h"
#include "vekwin32.h"

namespace vekcli {

namespace {

// Two files that hold the same lines but differ in the line feed at the
// end are not the same; an edit script cannot carry that difference.
int FinalLineFeedStatus(const std::string& oldName, const LoadInfo& oldInfo,
                        const std::string& newName, const LoadInfo& newInfo, long scriptLines) {
    if (scriptLines != 0)
        return 1;
    if (oldInfo.unterminated == newInfo.unterminated)
        return 0;
    const std::string& open = newInfo.unterminated ? newName : oldName;
    const std::string& closed = newInfo.unterminated ? oldName : newName;
    std::fprintf(stderr,
                 "vek: %s and %s hold the same lines but differ at the end: the last line of %s "
                 "has a line feed, that of %s has none; an edit script cannot carry that, so "
                 "the script is empty; add the missing line feed, or compare the files with "
                 "cmp\n",
                 DisplayName(oldName).c_str(), DisplayName(newName).c_str(),
                 DisplayName(closed).c_str(), DisplayName(open).c_str());
    return 1;
}

std::string CommandLine(long first, long last, char letter) {
    std::string text = std::to_string(first);
    if (last != first)
        text += "," + std::to_string(last);
    return text + letter;
}

// The script of the Diff export cannot rebuild NEW. `dotLine`: NEW's first
// line that the script inserts and that begins with '.' (with `inserted`),
// else NEW's first line that begins with '.'; 0 when none.
[[noreturn]] void ScriptDoesNotRebuild(const std::string& newName, long dotLine, bool inserted,
                                       int applied, long difference) {
    if (dotLine != 0)
        Fail(DisplayName(newName) + ":" + std::to_string(dotLine) +
             (inserted ? ": the script would insert this line, which begins with '.'"
                       : ": the line begins with '.'") +
             "; EdBuf ends inserted "
             "text at such a line, so no script of the Diff call rebuilds NEW; leave out "
             "--windowed for a script in ed's form, which 'vek patch' and ed apply, or compare "
             "bundles: vek bundle -o old.vek OLD; vek bundle -o new.vek NEW; vek diff old.vek "
             "new.vek");
    if (applied == RC_BUFFER_FULL)
        Fail(
            "applied to OLD, the edit script would at one point hold more lines than a buffer "
            "holds (at most " +
            Grouped(kBufferLines) +
            "), so 'vek patch' could not apply it and it is not written; compare smaller parts "
            "of the files");
    std::string detail = applied != RC_OK ? "it was refused with " + CodeText(applied)
                                          : "first differing line " + std::to_string(difference);
    Fail("the edit script does not rebuild NEW (" + detail +
         "); this is a fault in the library: please report it with both files");
}

// Diff gave up (107): a script that replaces the whole text, applied to
// buffer 1 line by line so that it is checked like any other.
int WholeReplacement(const std::string& oldName, const std::string& newName,
                     const LoadInfo& newInfo, const std::string& outName, bool crlf) {
    std::fprintf(stderr,
                 "vek: a window of %s and %s holds more than 4,093 distinct lines, more than "
                 "the difference engine can class (Diff returned 107); the script replaces the "
                 "whole text instead of only the changed lines\n",
                 DisplayName(oldName).c_str(), DisplayName(newName).c_str());
    const long oldCount = BufferLineCount(1);
    const long newCount = BufferLineCount(2);
    std::string command;
    if (oldCount == 0)
        command = "0a";
    else
        command = CommandLine(1, oldCount, newCount == 0 ? 'd' : 'c');
    const bool inserts = newCount > 0;

    int rc = EdCmd(1, command.c_str());
    if (rc == RC_OK && inserts) {
        BufferReader reader(2);
        std::string_view line;
        std::string text;
        while (rc == RC_OK && reader.Next(line)) {
            text.assign(line);
            rc = EdCmd(1, text.c_str());
        }
        if (rc == RC_OK)
            rc = EdCmd(1, ".");
    }
    const long difference = rc == RC_OK ? FirstDifference(1, 2) : -1;
    if (rc != RC_OK || difference != 0)
        ScriptDoesNotRebuild(newName, newInfo.firstDotLine, true, rc, difference);

    Output out(outName);
    out.WriteLine(command, crlf);
    if (inserts) {
        BufferReader reader(2);
        std::string_view line;
        while (reader.Next(line))
            out.WriteLine(line, crlf);
        out.WriteLine(".", crlf);
    }
    out.Commit();
    return 1;
}

std::vector<std::string> BufferCopy(int buf) {
    std::vector<std::string> lines;
    BufferReader reader(buf);
    std::string_view line;
    while (reader.Next(line))
        lines.emplace_back(line);
    return lines;
}

// NEW's (buffer `target`) first line that the Diff export's script in
// buffer `buf` inserts and that begins with '.', 0 when none or when the
// script cannot be read. Diff writes every text line as it is, so a text
// line "." is told from the closing one by what follows it; the reading is
// checked against NEW.
long InsertedDotLine(int buf, int target) {
    const std::vector<std::string> script = BufferCopy(buf);
    struct Command {
        long before;  // lines of the old file before the text
        long deleted;
        std::vector<std::size_t> texts;
    };
    std::vector<Command> commands;
    for (std::size_t i = 0; i < script.size(); ++i) {
        const std::string& line = script[i];
        if (!IsCommandLine(line))
            return 0;
        const char letter = line.back();
        const long first = std::atol(line.c_str());
        const std::size_t comma = line.find(',');
        const long last = comma == std::string::npos ? first : std::atol(line.c_str() + comma + 1);
        Command command{
            letter == 'a' ? first : first - 1, letter == 'a' ? 0 : last - first + 1, {}};
        if (letter != 'd') {
            for (++i; i < script.size(); ++i) {
                if (script[i] == "." && (i + 1 == script.size() || IsCommandLine(script[i + 1])))
                    break;
                command.texts.push_back(i);
            }
        }
        commands.push_back(std::move(command));
    }
    const std::vector<std::string> newLines = BufferCopy(target);
    long found = 0;
    long shift = 0;  // lines the commands below have added
    for (auto c = commands.rbegin(); c != commands.rend(); ++c) {
        for (std::size_t k = 0; k < c->texts.size(); ++k) {
            const long number = c->before + shift + static_cast<long>(k) + 1;
            const std::string& text = script[c->texts[k]];
            if (number < 1 || number > static_cast<long>(newLines.size()) ||
                newLines[static_cast<std::size_t>(number - 1)] != text)
                return 0;
            if (found == 0 && StartsWith(text, "."))
                found = number;
        }
        shift += static_cast<long>(c->texts.size()) - c->deleted;
    }
    return found;
}

// The Diff export's script: windows of 2,500 lines aligned by line number.
int WindowedDiff(const Options& o, const std::string& oldName, const std::string& newName,
                 const std::string& outName) {
    ResetBuffers();
    LoadInfo oldInfo;
    LoadFile(1, oldName, o.crlf, &oldInfo);
    LoadInfo newInfo;
    LoadFile(2, newName, o.crlf, &newInfo);

    const int rc = Diff(1, 2, 3);
    if (rc == RC_DIFF_FAILED)
        return WholeReplacement(oldName, newName, newInfo, outName, o.crlf);
    if (rc == RC_BUFFER_FULL)
        Fail("the edit script from " + DisplayName(oldName) + " to " + DisplayName(newName) +
             " would take more lines than a buffer holds (at most " + Grouped(kBufferLines) +
             "); the files differ too much for one script: keep the new file whole, or compare "
             "smaller parts");
    if (rc != RC_OK)
        Fail("Diff failed with " + CodeText(rc));

    // Check the script before it goes out: applied to OLD it must give NEW.
    // Buffer 1 (OLD) is not needed any more, so the script is applied there.
    const int applied = EdBuf(3, 1);
    const long difference = applied == RC_OK ? FirstDifference(1, 2) : -1;
    if (applied != RC_OK || difference != 0) {
        const long inserted = newInfo.firstDotLine != 0 ? InsertedDotLine(3, 2) : 0;
        ScriptDoesNotRebuild(newName, inserted != 0 ? inserted : newInfo.firstDotLine,
                             inserted != 0, applied, difference);
    }
    const long scriptLines = BufferLineCount(3);
    WriteBuffer(3, outName, o.crlf);
    return FinalLineFeedStatus(oldName, oldInfo, newName, newInfo, scriptLines);
}

[[noreturn]] void NoMemoryToCompare(const std::string& oldName, const std::string& newName) {
    Fail("not enough memory to compare " + DisplayName(oldName) + " and " + DisplayName(newName) +
         "; close other programs, or compare smaller parts");
}

// The engine's script in ed's form, as 'diff -e' writes it: a text line
// that is exactly "." goes out as "..", the closing ".", "s/.//" (which
// makes it "." again) and, when more text follows, "a". Without such a
// line the engine's own lines are the script.
class EdForm {
  public:
    EdForm(const vek::EditScript& script, const LineFile& newFile);
    const std::vector<std::string_view>& Lines() const {
        return m_escapes ? m_escaped : m_script.Lines();
    }
    // NEW's first inserted line that begins with '.', 0 if none.
    long FirstDotLine() const { return m_firstDotLine; }

  private:
    const vek::EditScript& m_script;
    bool m_escapes = false;
    std::vector<std::string_view> m_escaped;
    long m_firstDotLine = 0;
};

EdForm::EdForm(const vek::EditScript& script, const LineFile& newFile) : m_script(script) {
    // Text lines are views of NEW's bytes; command lines and the closing
    // "." lines are the script's own.
    const char* const begin = newFile.bytes.Data();
    const char* const end = begin + newFile.bytes.Size();
    const std::less<const char*> before;
    auto isText = [&](std::string_view line) {
        return !before(line.data(), begin) && before(line.data(), end);
    };
    const char* firstDot = nullptr;
    for (const std::string_view line : script.Lines()) {
        if (line.empty() || line[0] != '.' || !isText(line))
            continue;
        m_escapes = m_escapes || line.size() == 1;
        if (firstDot == nullptr || before(line.data(), firstDot))
            firstDot = line.data();
    }
    if (firstDot != nullptr) {
        const auto at = std::upper_bound(
            newFile.lines.begin(), newFile.lines.end(), firstDot,
            [&](const char* p, std::string_view l) { return before(p, l.data()); });
        m_firstDotLine = static_cast<long>(at - newFile.lines.begin());
    }
    if (!m_escapes)
        return;
    m_escaped.reserve(script.Lines().size());
    bool escaped = false;  // the last text line was an escaped "."
    for (const std::string_view line : script.Lines()) {
        if (!isText(line)) {
            // A command, or the "." that closes text (already written after
            // an escape).
            if (!(escaped && line == "."))
                m_escaped.push_back(line);
            escaped = false;
            continue;
        }
        if (escaped)
            m_escaped.emplace_back("a");
        escaped = line == ".";
        if (escaped) {
            m_escaped.insert(m_escaped.end(), {"..", ".", "s/.//"});
        } else {
            m_escaped.push_back(line);
        }
    }
}

// Compares what the applier rebuilds from OLD with NEW, line by line; runs
// of unchanged lines are compared as one run of bytes where they can be.
class RebuildCheck {
  public:
    RebuildCheck(const std::vector<std::string_view>& oldLines,
                 const std::vector<std::string_view>& newLines)
        : m_old(oldLines), m_new(newLines) {}

    void Copy(long long count) {
        const std::size_t n = count < 0 ? m_old.size() - m_oldAt : static_cast<std::size_t>(count);
        if (m_newAt + n > m_new.size()) {
            Differs(m_new.size());
            return;
        }
        if (n > 0 && !SameRun(n)) {
            for (std::size_t i = 0; i < n; ++i)
                if (m_old[m_oldAt + i] != m_new[m_newAt + i]) {
                    Differs(m_newAt + i);
                    return;
                }
        }
        m_oldAt += n;
        m_newAt += n;
    }
    void Skip(long long count) { m_oldAt += static_cast<std::size_t>(count); }
    void Insert(std::string_view text) {
        if (m_newAt >= m_new.size() || m_new[m_newAt] != text)
            Differs(m_newAt);
        ++m_newAt;
    }
    // 0 when the result is NEW, else its first differing line.
    long FirstDifference() const {
        if (m_first == 0 && m_newAt != m_new.size())
            return static_cast<long>(std::min(m_newAt, m_new.size())) + 1;
        return m_first;
    }

  private:
    // The n lines from m_oldAt and m_newAt span the same bytes, separators
    // included.
    bool SameRun(std::size_t n) const {
        const std::string_view a0 = m_old[m_oldAt], a1 = m_old[m_oldAt + n - 1];
        const std::string_view b0 = m_new[m_newAt], b1 = m_new[m_newAt + n - 1];
        const auto aSize = static_cast<std::size_t>(a1.data() + a1.size() - a0.data());
        const auto bSize = static_cast<std::size_t>(b1.data() + b1.size() - b0.data());
        return aSize == bSize && std::memcmp(a0.data(), b0.data(), aSize) == 0;
    }
    void Differs(std::size_t index) {
        if (m_first == 0)
            m_first = static_cast<long>(index) + 1;
        m_newAt = m_new.size() + 1;  // nothing after this counts
        m_oldAt = m_old.size();
    }

    const std::vector<std::string_view>& m_old;
    const std::vector<std::string_view>& m_new;
    std::size_t m_oldAt = 0;
    std::size_t m_newAt = 0;
    long m_first = 0;
};

// The whole-file script: both files compared at once by the engine's
// whole-file difference, written in ed's form, and checked by the applier
// of 'vek patch' before it goes out.
int WholeFileDiff(const Options& o, const std::string& oldName, const std::string& newName,
                  const std::string& outName) {
    LineFile oldFile;
    LineFile newFile;
    ReadLineFiles(oldName, newName, o.crlf, oldFile, newFile);
    vek::EditScript script;
    try {
        script = vek::DiffSequences(oldFile.lines.data(), oldFile.lines.size(),
                                    newFile.lines.data(), newFile.lines.size());
    } catch (const std::bad_alloc&) {
        NoMemoryToCompare(oldName, newName);
    } catch (const vek::OutOfMemory&) {
        NoMemoryToCompare(oldName, newName);
    }
    const EdForm form(script, newFile);
    const std::vector<std::string_view>& lines = form.Lines();
    const std::string dotAt = DisplayName(newName) + ":" + std::to_string(form.FirstDotLine());
    if (form.FirstDotLine() != 0 && o.edbuf)
        Fail(dotAt +
             ": the script would insert this line, which begins with '.'; EdBuf ends inserted "
             "text at such a line, so no script that EdBuf applies rebuilds NEW; nothing was "
             "written; leave out --edbuf for a script in ed's form, which 'vek patch' and ed "
             "apply, or compare bundles: vek bundle -o old.vek OLD; vek bundle -o new.vek NEW; "
             "vek diff old.vek new.vek");

    // Check the script before it goes out: read and applied to OLD as 'vek
    // patch' reads and applies it, it must give NEW.
    EdScript applier;
    ScriptRefusal refusal;
    if (!applier.Read(lines, refusal) ||
        !applier.FitsFile(static_cast<long>(oldFile.lines.size()), refusal))
        Fail("the edit script does not rebuild NEW (its line " + std::to_string(refusal.line) +
             " is refused: " + refusal.reason +
             "); this is a fault in vek: please report it with both files");
    RebuildCheck check(oldFile.lines, newFile.lines);
    ApplyScript(applier, check);
    if (const long difference = check.FirstDifference())
        Fail("the edit script does not rebuild NEW (first differing line " +
             std::to_string(difference) +
             "); this is a fault in vek: please report it with both files");

    Output out(outName);
    for (const std::string_view line : lines)
        out.WriteLine(line, o.crlf);
    out.Commit();
    if (form.FirstDotLine() != 0)
        std::fprintf(stderr,
                     "vek: %s: the script inserts this line, which begins with '.'; it is "
                     "written in ed's form, which 'vek patch' and ed apply; the library's "
                     "EdBuf, which ends inserted text at such a line, cannot apply it (--edbuf "
                     "refuses such scripts)\n",
                     dotAt.c_str());
    return FinalLineFeedStatus(oldName, oldFile.info, newName, newFile.info,
                               static_cast<long>(lines.size()));
}

// Hands the lines of FILE on to the result as the applier asks for them.
class StreamedResult {
  public:
    StreamedResult(LineStream& file, Output& out, bool crlf, const std::string& fileName)
        : m_file(file), m_out(out), m_crlf(crlf), m_fileName(fileName) {}
    void Copy(long long count) {
        std::string_view line;
        for (; count != 0; --count) {
            if (!m_file.Next(line)) {
                if (count < 0)
                    return;
                Changed();
            }
            m_out.WriteLine(line, m_crlf);
        }
    }
    void Skip(long long count) {
        std::string_view line;
        for (; count > 0; --count)
            if (!m_file.Next(line))
                Changed();
    }
    void Insert(std::string_view text) { m_out.WriteLine(text, m_crlf); }
    [[noreturn]] void Changed() const {
        Fail(DisplayName(m_fileName) +
             ": the file changed while it was read (its lines are not those counted a "
             "moment before); nothing was written; patch it again when nothing else writes it");
    }

  private:
    LineStream& m_file;
    Output& m_out;
    bool m_crlf;
    const std::string& m_fileName;
};

std::string Quoted(std::string_view line) {
    constexpr std::size_t kShown = 60;
    if (line.size() <= kShown)
        return "'" + std::string(line) + "'";
    return "'" + std::string(line.substr(0, kShown)) + "...'";
}

}  // namespace

int RunDiff(const Options& o) {
    if (o.operands.size() != 2)
        Fail("diff: give OLD and NEW; see 'vek diff --help'");
    const std::string& oldName = o.operands[0];
    const std::string& newName = o.operands[1];
    if (oldName == "-" && newName == "-")
        Fail("diff: only one of OLD and NEW can be standard input");
    const std::string outName = o.hasOutput ? o.output : "-";
    RefuseOutputOverInput("diff", outName, {oldName, newName});
    if (o.windowed)
        return WindowedDiff(o, oldName, newName, outName);
    return WholeFileDiff(o, oldName, newName, outName);
}

int RunPatch(const Options& o) {
    if (o.operands.size() != 2)
        Fail("patch: give FILE and SCRIPT; see 'vek patch --help'");
    const std::string& fileName = o.operands[0];
    const std::string& scriptName = o.operands[1];
    if (fileName == "-" && scriptName == "-")
        Fail("patch: only one of FILE and SCRIPT can be standard input");
    // -o FILE patches in place: the result is written beside FILE and
    // replaces it whole once it is complete.
    const std::string outName = o.hasOutput ? o.output : "-";
    RefuseOutputOverInput("patch", outName, {scriptName});

    // FILE is read twice: first its lines are counted, so that a script
    // that does not fit it is refused before anything is written; then it
    // streams through to the result. Standard input, a pipe or a device is
    // first copied to a temporary file.
    const bool plain = fileName != "-" && IsRegularFile(fileName);
    std::unique_ptr<Input> named;
    OwnedFile copy;
    if (plain) {
        named = std::make_unique<Input>(fileName);
    } else {
        Input source(fileName);
        copy.reset(std::tmpfile());
        if (!copy)
            Fail("cannot create a temporary file to hold " + DisplayName(fileName) + ": " +
                 SystemError());
        std::vector<char> chunk(kChunkSize);
        while (const std::size_t got = source.Read(chunk.data(), chunk.size()))
            if (std::fwrite(chunk.data(), 1, got, copy.get()) != got)
                Fail("cannot hold " + DisplayName(fileName) +
                     " in a temporary file: " + SystemError() + "; is the disk full?");
        std::rewind(copy.get());
        named = std::make_unique<Input>(copy.get(), DisplayName(fileName));
    }
    Input& file = *named;
    const long fileLines = LineStream::Count(file, o.crlf);

    const LineFile scriptFile = ReadLineFile(scriptName, o.crlf, true);
    WarnAboutReading(scriptFile);
    EdScript script;
    ScriptRefusal refusal;
    const bool read = script.Read(scriptFile.lines, refusal);
    // The first command that does not fit the file comes before the line
    // that broke the grammar.
    if (!script.FitsFile(fileLines, refusal) || !read) {
        const std::string_view line = scriptFile.lines[static_cast<std::size_t>(refusal.line - 1)];
        Fail(DisplayName(scriptName) + ":" + std::to_string(refusal.line) + ": the line " +
                 Quoted(line) + " is refused: " + refusal.reason + "; nothing was written",
             1);
    }

    std::rewind(file.File());
    LineStream lines(file, o.crlf);
    Output out(outName);
    StreamedResult result(lines, out, o.crlf, fileName);
    ApplyScript(script, result);
    if (lines.Info().lines != fileLines)
        result.Changed();
    WarnAboutReading(DisplayName(fileName), lines.Info());
    // FILE is closed before the result takes its place: Windows does not
    // replace a file that is open.
    named.reset();
    out.Commit();
    return 0;
}

}  // namespace vekcli
