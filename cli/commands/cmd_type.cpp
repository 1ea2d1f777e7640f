// vek type: text or binary, as the library judges each file.
#include "commands/command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "commands/file_set.h"
#include "io/files.h"
#include "report/trouble.h"
#include "system/platform.h"

namespace vekcli {

namespace {

const char kHelp[] =
    "usage: vek type FILE...\n"
    "\n"
    "Prints 'text' or 'binary' and the name of each file, as the library\n"
    "judges it from the first 512 bytes. A file that cannot be read is reported\n"
    "and the others are done.\n"
    "\n"
    "Exit status: 0 done, 2 trouble with any file.\n";

int RunType(const Options& o) {
    if (o.operands.empty())
        Fail("type: name at least one file; see 'vek type --help'");
    if (platform::StreamWasClosed(1))
        Fail("type: standard output is closed; there is nowhere to print the types");
    // The library opens files by name: a pipe or device is read once, by vek.
    std::vector<std::string> named;
    for (const std::string& name : o.operands)
        if (name != "-")
            named.push_back(name);
    ShareRepeatedInputs(named, true);
    return ForEachFile(o.operands, [](const std::string& name) {
        if (name == "-")
            Fail(
                "type: '-' cannot be typed: the library looks at files by name, not at "
                "standard input; name a real file");
        const char type = TypeOf(FileList({ReadablePath(name)}, true), {name});
        std::printf("%-6s  %s\n", type == 'B' ? "binary" : "text", Escaped(name).c_str());
    });
}

}  // namespace

extern const Command kTypeCommand = {"type", kHelp, "", false, false, RunType};

}  // namespace vekcli
