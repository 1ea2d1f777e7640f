// vek patch: an edit script applied to a line file as ed would, the
// result streamed out, not held in the library's buffers.
#include "commands/command.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/files.h"
#include "lines/line_reader.h"
#include "report/trouble.h"
#include "scripts/script_applier.h"
#include "update/tree_commands.h"

namespace vekcli {

namespace {

const char kHelp[] =
    "usage: vek patch [--crlf] [-o OUT] FILE SCRIPT\n"
    "       vek patch -r [--dry-run] DIR UPDATE\n"
    "\n"
    "Applies the edit script SCRIPT, as 'vek diff' and 'diff -e' write it, to the\n"
    "line file FILE exactly as ed would, and writes the result to standard output\n"
    "or OUT (OUT may be FILE). The result is written straight out, not through the\n"
    "library's buffers, so FILE may hold any number of lines.\n"
    "\n"
    "SCRIPT is read strictly: a command is N or N,M in decimal, with no spaces,\n"
    "then a, c or d; after a or c every line up to one that is exactly '.' is\n"
    "text; 's/.//' and a bare 'a' are taken only right after an escaped '..'\n"
    "line and its closing '.'; commands go from the end of the file towards its\n"
    "start and must name lines FILE has. Anything else, a normal, unified or\n"
    "context diff included, is refused: vek names the line and the reason and\n"
    "writes nothing.\n"
    "\n"
    "  --crlf   FILE, SCRIPT and the result use CR LF line ends\n"
    "  -o OUT, --output=OUT\n"
    "           write the result to OUT instead of standard output; OUT may be\n"
    "           FILE (patched in place" VEK_IN_PLACE_KEEPS
    "), not SCRIPT\n"
    "\n"
    "With -r (--recursive), applies UPDATE, as 'vek diff -r' writes it, to the\n"
    "tree DIR, all or nothing. The whole update is checked first (its form, its\n"
    "SHA-256, every path: an absolute path, '..' and a path through a symbolic\n"
    "link are refused); then every path it touches must be as the update found\n"
    "it (a file to change or remove with its old SHA-256, a file to add absent):\n"
    "otherwise nothing is written and every path that does not match is named.\n"
    "Every new file is built beside its path and checked against its new\n"
    "SHA-256; then the tree is changed at once, deletions last, and a failure,\n"
    "SIGINT, SIGTERM or SIGHUP puts every path back as it was. UPDATE may be '-',\n"
    "standard input, read once.\n"
    "  --dry-run  check the update and the tree, and list what would change\n"
    "\n"
    "Exit status: 0 applied, 1 script refused (-r: the tree does not match the\n"
    "update; nothing was written), 2 trouble (-r: a damaged update, a refused\n"
    "path, a failure while writing; nothing was changed).\n";

// Hands the lines of FILE on to the result as the applier asks for them.
class StreamedResult {
  public:
    StreamedResult(LineReader& file, Output& out, bool crlf, const std::string& fileName)
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
    LineReader& m_file;
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

int RunPatch(const Options& o) {
    if (o.recursive)
        return RunTreePatch(o);
    if (o.dryRun)
        Fail("patch: --dry-run is for trees (-r); see 'vek patch --help'");
    if (o.operands.size() != 2)
        Fail("patch: give FILE and SCRIPT; see 'vek patch --help'");
    const std::string& fileName = o.operands[0];
    const std::string& scriptName = o.operands[1];
    // -o FILE patches in place: the result is written beside FILE and
    // replaces it whole once it is complete.
    const std::string outName = o.hasOutput ? o.output : "-";
    RefuseOutputOverInput("patch", outName, {scriptName});
    ShareRepeatedInputs({fileName, scriptName});

    // FILE is read twice: first its lines are counted, so that a script
    // that does not fit it is refused before anything is written; then it
    // streams through to the result. Standard input, a pipe or a device is
    // first copied to a temporary file.
    const bool plain = (fileName != "-" || ReadablePath(fileName) != fileName) &&
                       IsRegularFile(ReadablePath(fileName));
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
        Chunk chunk;
        while (const std::size_t got = source.Read(chunk.data(), chunk.size()))
            if (std::fwrite(chunk.data(), 1, got, copy.get()) != got)
                Fail("cannot hold " + DisplayName(fileName) +
                     " in a temporary file: " + SystemError() + "; is the disk full?");
        std::rewind(copy.get());
        named = std::make_unique<Input>(copy.get(), DisplayName(fileName));
    }
    Input& file = *named;
    const long fileLines = LineReader::Count(file, o.crlf);

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
    LineReader lines(file, o.crlf);
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

}  // namespace

extern const Command kPatchCommand = {"patch", kHelp, "orn", true, false, RunPatch};

}  // namespace vekcli
