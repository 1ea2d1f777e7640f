// The vek commands, one file each (commands/cmd_NAME.cpp): its run function
// and its help text. A run function returns the exit status (0 or 1) or
// throws a Trouble (exit status 2, or 1 where the message says a script
// was refused).
#pragma once

#include "options.h"

namespace vekcli {

struct Command {
    const char* name;
    const char* help;
    // flags taken: "t", "b", "o", "x" (--tenth), "w" (--windowed), "e" (--edbuf),
    // "r" (-r, trees), "n" (--dry-run)
    const char* flags;
    bool crlf;  // takes --crlf
    bool lf;    // takes --lf
    int (*run)(const Options&);
};

extern const Command kDiffCommand;
extern const Command kPatchCommand;
extern const Command kBundleCommand;
extern const Command kUnbundleCommand;
extern const Command kCrcCommand;
extern const Command kTypeCommand;

// vek --help: the commands in brief.
extern const char kProgramHelp[];

}  // namespace vekcli
