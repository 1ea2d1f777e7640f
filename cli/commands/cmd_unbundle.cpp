// vek unbundle: the files of a bundle written back under the names given,
// all or nothing, after the bundle is checked section by section.
#include "commands/command.h"

#include <algorithm>
#include <string>
#include <vector>

#include "commands/bundle_scan.h"
#include "commands/file_set.h"
#include "io/commit.h"
#include "io/files.h"
#include "io/temps.h"
#include "lines/buffers.h"
#include "report/trouble.h"
#include "system/platform.h"
#include "vekwin32.h"

namespace vekcli {

namespace {

const char kHelp[] =
    "usage: vek unbundle [-t|-b] [--crlf] [--lf] [--tenth BIN] BUNDLE FILE...\n"
    "\n"
    "Writes the files of BUNDLE back under the names given, in order; there\n"
    "must be one name per file of the bundle.\n"
    "\n"
    "  -t, -b   the bundle's type; without them it is read from the bundle (every\n"
    "           bundle 'vek bundle' writes reads back so; one that reads validly\n"
    "           both ways and is not uuencoded throughout is refused)\n"
    "  --crlf   the bundle has CR LF line ends\n"
    "  --lf     write text files with LF line ends (the library writes CR LF,\n"
    "           and vek says so where text files end their lines with LF)\n"
    "  --tenth BIN  the bundle was made with --tenth: BIN names its tenth file\n"
    "\n"
    "All or nothing: every target must be a plain file or new (a symbolic link\n"
    "is followed and kept); the files are written under temporary names beside\n"
    "their targets and moved in place only when every one is complete; a\n"
    "failure, SIGINT, SIGTERM or SIGHUP leaves every target as it was.\n"
    "Exit status: 0 done, 2 trouble.\n";

// After WriteFiles on the engine, which writes every file or none. On
// success every staged file must have its full size. On a failure none has
// been written: the first that has no room for its bytes is the one the
// library failed on.
void CheckWritten(const FileSetCommit& files, const std::vector<long long>& sizes, int rc) {
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string& written = files.Staged(i);
        if (written.empty())
            continue;
        long long size = FileSize(written);
        if (rc == RC_OK && size == sizes[i])
            continue;
        const std::string why = rc == RC_OK ? WriteProbe(written) : RoomProbe(written, sizes[i]);
        if (rc == RC_OK && why.empty())
            Fail(files.Target(i) + ": the library wrote " + Grouped(size) +
                 " bytes where the bundle holds " + Grouped(sizes[i]) +
                 "; a file may have been changed while it was read, or this is a fault in the "
                 "library (please report it with the bundle); nothing was changed");
        if (why.empty())
            continue;
        if (rc != RC_OK)
            size = FileSize(written);
        Fail(files.Target(i) + ": could not be written in full (" + Grouped(size < 0 ? 0 : size) +
             " of " + Grouped(sizes[i]) + " bytes; " + why +
             "); nothing was changed: free some room on the disk or write the files to "
             "another folder, then try again");
    }
    if (rc != RC_OK)
        Fail("WriteFiles failed with " + CodeText(rc) + "; nothing was changed");
}

int RunUnbundle(const Options& o) {
    if (o.operands.size() < (o.hasTenth ? 1u : 2u))
        Fail("unbundle: give BUNDLE and the names of its files; see 'vek unbundle --help'");
    const std::string& bundleName = o.operands[0];
    const std::vector<std::string> names =
        SetNames(o, std::vector<std::string>(o.operands.begin() + 1, o.operands.end()));
    FileList(names, false);
    ResetBuffers();
    LoadFile(1, bundleName, o.crlf);
    const std::vector<Section> sections = ScanBundle(bundleName, o.crlf);
    if (sections.size() != names.size()) {
        std::string hint;
        if (!o.hasTenth && sections.size() == kMaxSetFiles && !sections[kBinaryPlace].empty)
            hint =
                "; the bundle has a file in the tenth place: if it was made with --tenth, give "
                "--tenth BIN and the other names";
        else if (o.hasTenth)
            hint = "; with --tenth the bundle must hold ten places (it was made with --tenth)";
        Fail(DisplayName(bundleName) + ": the bundle holds " + std::to_string(sections.size()) +
             " file(s) but " + std::to_string(names.size()) +
             " name(s) were given; name every file of the bundle, in order" + hint +
             "; nothing was written");
    }
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i].empty() && !sections[i].empty)
            Fail(DisplayName(bundleName) + ":" + std::to_string(sections[i].firstLine) + ": file " +
                 std::to_string(i + 1) +
                 " of the bundle is not empty but was given no name; name every file of the "
                 "bundle, in order; nothing was written");
    const char type = ChooseUnbundleType(o, sections, names, bundleName);
    if (o.lf && type == 'B')
        Fail(
            "unbundle: --lf changes text files only, and this bundle is read as binary: every "
            "file comes back byte for byte; leave out --lf; nothing was written");

    // Every target is checked and given a temporary before the library
    // writes anything.
    FileSetCommit files("unbundle", names, {bundleName});
    std::vector<long long> sizes(names.size());
    std::string list;
    // The library would end the list at an empty name: an unused place
    // gets a file of vek's own, which its empty section leaves alone.
    Temporary unused;
    if (std::find(names.begin(), names.end(), std::string()) != names.end()) {
        unused = Temporary(TemporaryFolder() + "x", "an unused place");
        platform::CloseDescriptor(unused.TakeDescriptor());
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Section& section = sections[i];
        sizes[i] = section.empty              ? 0
                   : HandledAsBinary(type, i) ? section.binaryBytes
                                              : section.textBytes;
        const std::string& staged = files.Staged(i);
        if (staged.find(',') != std::string::npos)
            Fail(names[i] + ": its path " + staged +
                 " holds a comma, which a file list cannot carry; name it another way");
        list += (i > 0 ? "," : "") + (names[i].empty() ? unused.Name() : staged);
    }
    std::vector<char> writable = Writable(list);
    NoteWork("writing the files of " + DisplayName(bundleName));
    // WriteFiles puts temporaries of its own beside the staged files and
    // renames them at its end: an ending signal waits until the call is
    // over, so that the cleanup finds only vek's own files.
    platform::HoldEndSignals();
    const int written = VekWriteFiles(Engine(), 1, type, writable.data());
    platform::ReleaseEndSignals();
    CheckWritten(files, sizes, written);
    if (o.lf)
        for (std::size_t i = 0; i < names.size(); ++i)
            if (!names[i].empty() && !HandledAsBinary(type, i) && !sections[i].empty)
                try {
                    ConvertCrLfToLf(files.Staged(i));
                } catch (const Trouble& trouble) {
                    Fail(names[i] + ": cannot give the new file LF line ends (" + trouble.message +
                         "); nothing was changed");
                }
    files.Commit();
    // Where text files end their lines with LF, CR LF is worth a word.
    std::string crlfFiles;
    if (!o.lf && !platform::TextFilesEndInCrLf())
        for (std::size_t i = 0; i < names.size(); ++i)
            if (!names[i].empty() && !HandledAsBinary(type, i) && !sections[i].empty)
                crlfFiles += (crlfFiles.empty() ? "" : ", ") + names[i];
    if (!crlfFiles.empty())
        Warn(crlfFiles +
             ": written with CR LF line ends, as the library writes text files; unbundle with "
             "--lf for LF line ends");
    return 0;
}

}  // namespace

extern const Command kUnbundleCommand = {"unbundle", kHelp, "tbx", true, true, RunUnbundle};

}  // namespace vekcli
