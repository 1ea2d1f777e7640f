// The two ways vek diff makes an edit script, each checked before it goes
// out: the whole-file diff (the default) and the Diff export's windowed
// script (--windowed).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "diff/whole_file.h"

#include "lines/line_reader.h"
#include "options.h"

namespace vekcli {

// The whole-file script in ed's form, checked by the applier of 'vek patch'.
int WholeFileDiff(const Options& o, const std::string& oldName, const std::string& newName,
                  const std::string& outName);
// The whole-file script of two line files as read, in ed's form, checked:
// applied to OLD by the applier of 'vek patch' it gives NEW. The lines are
// views of the script and of NEW's bytes.
struct ScriptOfFiles {
    vek::EditScript script;
    std::vector<std::string_view> lines;
    long firstDotLine = 0;  // NEW's first inserted line that begins with '.', 0 if none
};
ScriptOfFiles MakeScript(const LineFile& oldFile, const LineFile& newFile);

// The Diff export's script: windows of 2,500 lines aligned by line number,
// checked through EdBuf.
int WindowedDiff(const Options& o, const std::string& oldName, const std::string& newName,
                 const std::string& outName);

// The exit status of a diff with `scriptLines` lines: two files that hold
// the same lines but differ in the line feed at the end are not the same;
// an edit script cannot carry that difference, and a warning says so.
int FinalLineFeedStatus(const std::string& oldName, const LoadInfo& oldInfo,
                        const std::string& newName, const LoadInfo& newInfo, long scriptLines);

}  // namespace vekcli
