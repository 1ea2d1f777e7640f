// vek diff: both files compared whole by the engine's whole-file
// difference, the script written in ed's form and checked by the applier
// of 'vek patch' before it goes out.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "diff/whole_file.h"
#include "io/files.h"
#include "lines/line_reader.h"
#include "report/trouble.h"
#include "scripts/diff_scripts.h"
#include "scripts/script_applier.h"

namespace vekcli {

int FinalLineFeedStatus(const std::string& oldName, const LoadInfo& oldInfo,
                        const std::string& newName, const LoadInfo& newInfo, long scriptLines) {
    if (scriptLines != 0) {
        // ed and 'vek patch' end every line they write with a line feed.
        if (newInfo.unterminated)
            std::fprintf(stderr,
                         "vek: %s: the last line has no line feed, which no edit script can "
                         "leave out: applied, the script gives NEW with a line feed at the end, "
                         "as a script of 'diff -e' does\n",
                         Escaped(DisplayName(newName)).c_str());
        return 1;
    }
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

namespace {

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

}  // namespace

ScriptOfFiles MakeScript(const LineFile& oldFile, const LineFile& newFile) {
    ScriptOfFiles made;
    try {
        made.script = vek::DiffSequences(oldFile.lines.data(), oldFile.lines.size(),
                                         newFile.lines.data(), newFile.lines.size());
    } catch (const std::bad_alloc&) {
        NoMemoryToCompare(oldFile.name, newFile.name);
    } catch (const vek::OutOfMemory&) {
        NoMemoryToCompare(oldFile.name, newFile.name);
    } catch (const vek::InvalidArgument&) {
        Fail(DisplayName(oldFile.name) + " and " + DisplayName(newFile.name) + " hold " +
             Grouped(static_cast<long long>(oldFile.lines.size() + newFile.lines.size())) +
             " lines together, more than one comparison takes (1,073,741,824); compare smaller "
             "parts");
    }
    const EdForm form(made.script, newFile);
    made.lines = form.Lines();
    made.firstDotLine = form.FirstDotLine();

    // Check the script before it goes out: read and applied to OLD as 'vek
    // patch' reads and applies it, it must give NEW.
    EdScript applier;
    ScriptRefusal refusal;
    if (!applier.Read(made.lines, refusal) ||
        !applier.FitsFile(static_cast<long>(oldFile.lines.size()), refusal))
        Fail("the edit script does not rebuild " + DisplayName(newFile.name) + " (its line " +
             std::to_string(refusal.line) + " is refused: " + refusal.reason +
             "); this is a fault in vek: please report it with both files");
    RebuildCheck check(oldFile.lines, newFile.lines);
    ApplyScript(applier, check);
    if (const long difference = check.FirstDifference())
        Fail("the edit script does not rebuild " + DisplayName(newFile.name) +
             " (first differing line " + std::to_string(difference) +
             "); this is a fault in vek: please report it with both files");
    return made;
}

// The whole-file script: both files compared at once by the engine's
// whole-file difference, written in ed's form, and checked by the applier
// of 'vek patch' before it goes out.
int WholeFileDiff(const Options& o, const std::string& oldName, const std::string& newName,
                  const std::string& outName) {
    LineFile oldFile;
    LineFile newFile;
    // Files of any number of lines: they are compared here, not in buffers.
    ReadLineFiles(oldName, newName, o.crlf, true, oldFile, newFile);
    const ScriptOfFiles made = MakeScript(oldFile, newFile);
    const std::vector<std::string_view>& lines = made.lines;
    const std::string dotAt = DisplayName(newName) + ":" + std::to_string(made.firstDotLine);
    if (made.firstDotLine != 0 && o.edbuf)
        Fail(dotAt +
             ": the script would insert this line, which begins with '.'; EdBuf ends inserted "
             "text at such a line, so no script that EdBuf applies rebuilds NEW; nothing was "
             "written; leave out --edbuf for a script in ed's form, which 'vek patch' and ed "
             "apply, or compare bundles: vek bundle -o old.vek OLD; vek bundle -o new.vek NEW; "
             "vek diff old.vek new.vek");

    Output out(outName);
    for (const std::string_view line : lines)
        out.WriteLine(line, o.crlf);
    out.Commit();
    if (made.firstDotLine != 0)
        std::fprintf(stderr,
                     "vek: %s: the script inserts this line, which begins with '.'; it is "
                     "written in ed's form, which 'vek patch' and ed apply; the library's "
                     "EdBuf, which ends inserted text at such a line, cannot apply it (--edbuf "
                     "refuses such scripts)\n",
                     dotAt.c_str());
    return FinalLineFeedStatus(oldName, oldFile.info, newName, newFile.info,
                               static_cast<long>(lines.size()));
}

}  // namespace vekcli
