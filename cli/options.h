// The options of the vek commands, as vek_main.cpp parses them; each
// command reads the ones it takes.
#pragma once

#include <string>
#include <vector>

namespace vekcli {

struct Options {
    bool crlf = false;       // line files in the CR LF form
    bool lf = false;         // unbundle: text files with LF line ends
    bool windowed = false;   // diff: the Diff export's windowed script
    bool edbuf = false;      // diff: refuse a script that EdBuf cannot apply
    bool recursive = false;  // diff, patch: trees (-r), an update file
    bool dryRun = false;     // patch -r: list what would change
    char type = 0;           // 'T', 'B', or 0 when not given
    bool hasOutput = false;
    std::string output;  // -o
    bool hasTenth = false;
    std::string tenth;  // --tenth: the binary file in the tenth place of a text set
    std::vector<std::string> operands;
};

}  // namespace vekcli
