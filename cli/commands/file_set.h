// The file sets of bundle, unbundle, crc and type: up to ten files, the
// tenth of a text set always binary, handed to the library's file-list
// exports as a comma-separated list.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "io/temps.h"
#include "options.h"
#include "report/trouble.h"
#include "vekwin32.h"

namespace vekcli {

// Most files a set holds, and the place (from 0) of the one that a text set
// always keeps as binary: the tenth, the last.
constexpr std::size_t kMaxSetFiles = MAX_LIST_FILES;
constexpr std::size_t kBinaryPlace = BINARY_LIST_FILE - 1;

// Names of a file set, checked, and the comma-separated list the library
// takes. CheckType skips one-character names, so those get a "./" in front.
// Empty names stand only for the unused places before a tenth file.
std::string FileList(const std::vector<std::string>& names, bool mustExist);

// The names of a set as given, with --tenth FILE put in the tenth place.
std::vector<std::string> SetNames(const Options& o, std::vector<std::string> names);

// The files of a set as the library reads them, each read once: a name
// that is not a plain file (a pipe, a device) is copied into a temporary
// file first, so that the type check, vek's own checks and the library all
// see the same bytes; an unused place before a tenth file gets an empty
// file of vek's own, since the library would end the list at an empty name.
class SetInputs {
  public:
    explicit SetInputs(const std::vector<std::string>& names);
    const std::vector<std::string>& Names() const { return m_names; }
    const std::vector<std::string>& Paths() const { return m_paths; }
    std::string List() const;

    // LoadFiles' status names every place it handled: "E" for a file with
    // bytes is one the library could not open (a binary name's file is then
    // taken as empty), and a short status is a list read short.
    void CheckStatus(const char* status) const;

  private:
    std::string Copy(const std::string& name, const std::string& what);

    std::vector<std::string> m_names;
    std::vector<std::string> m_paths;
    std::vector<Temporary> m_temps;
};

// `text` with its NUL, as the exports that take a char* want it.
std::vector<char> Writable(const std::string& text);
// The non-empty names, separated by spaces.
std::string JoinedNames(const std::vector<std::string>& names);

// A file-list export failed: names the file the library could not read
// where it can be found, else the whole set. `paths` are the names the
// library was given, `names` the ones to report.
[[noreturn]] void FailForSet(const std::string& call, int rc, const std::vector<std::string>& names,
                             const std::vector<std::string>& paths);
[[noreturn]] void FailForSet(const std::string& call, int rc,
                             const std::vector<std::string>& names);

// CheckType's answer for a list, or a Trouble naming the files.
char TypeOf(const std::string& list, const std::vector<std::string>& names);
// The set's type: -t or -b, text with --tenth, else what CheckType says.
char TypeOf(const Options& o, const SetInputs& set);

// Whether the file in place `index` (from 0) of a set of `type` is uuencoded.
bool HandledAsBinary(char type, std::size_t index);

// The text files of a text set as a bundle would carry them (`crlf`: a
// bundle in the CR LF form): the first that a text bundle cannot carry,
// and what it would change in the others.
struct TextSetScan {
    long refused = -1;  // its place (from 0), -1 when every file can go as text
    std::string why;    // "NAME:LINE: the line holds a NUL byte, ..."
    std::vector<std::string> warnings;
};
TextSetScan ScanTextSet(const SetInputs& set, char type, bool crlf);
// Refuses the set when a text file cannot go as text in the LF form
// (`advice` says what to do instead).
void CheckTextFiles(const SetInputs& set, char type, const std::string& advice);

// Loads the set into buffer 1 as a bundle, checked against LoadFiles'
// status.
void LoadSet(const SetInputs& set, char type);

// Whether each binary file of the set opens as the library opens it (no
// other program holding it), so that CrcFile will not take it as empty.
bool BinaryFilesOpen(const SetInputs& set, char type);

// Runs `each` for every operand, as cksum and file do: a file that fails
// is reported and the rest still done; status 2 when any failed.
template <class Each>
int ForEachFile(const std::vector<std::string>& names, Each each) {
    bool failed = false;
    for (const std::string& name : names) {
        try {
            each(name);
        } catch (const Trouble& trouble) {
            ReportTrouble(trouble.message);
            failed = true;
        }
    }
    return failed ? 2 : 0;
}

}  // namespace vekcli
