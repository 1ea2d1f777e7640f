#include "diff/whole_buffer.h"

#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "diff/equivalence.h"
#include "diff/whole_file.h"

namespace vek {

namespace {

// The buffer's lines as stored, last byte included. They stay valid while
// the buffer is not changed, which holds for the whole call.
std::vector<std::string_view> StoredLines(const VekBuf& buffer) {
    std::vector<std::string_view> lines;
    lines.reserve(static_cast<std::size_t>(buffer.LineCount()));
    buffer.ForEachLine([&lines](std::string_view line) { lines.push_back(line); });
    return lines;
}

// The script holds at most VEK_MAX_LINES lines here, so AppendLine refuses a
// line only when memory runs out.
void AppendScriptLine(VekBuf& output, std::string_view line) {
    if (output.AppendLine(line) != VEK_RC_OK) {
        throw OutOfMemory();
    }
}

void WriteScript(const EditScript& script, VekBuf& output) {
    const std::vector<std::string_view>& lines = script.Lines();
    const std::vector<std::size_t>& commands = script.CommandLines();
    std::string withLineFeed;
    for (std::size_t k = 0; k < commands.size(); ++k) {
        const std::size_t command = commands[k];
        const std::size_t next = k + 1 < commands.size() ? commands[k + 1] : lines.size();
        withLineFeed.assign(lines[command]).push_back('\n');
        AppendScriptLine(output, withLineFeed);
        if (next - command > 1) {
            // The text lines as the target stores them, then ".".
            for (std::size_t i = command + 1; i + 1 < next; ++i) {
                AppendScriptLine(output, lines[i]);
            }
            AppendScriptLine(output, ".\n");
        }
    }
}

}  // namespace

int DiffWholeBuffers(const VekBuf& source, const VekBuf& target, VekBuf& output) {
    output.Reset();
    const auto sourceCount = static_cast<std::size_t>(source.LineCount());
    const auto targetCount = static_cast<std::size_t>(target.LineCount());
    if (sourceCount > kMostSequenceLines || targetCount > kMostSequenceLines - sourceCount) {
        return VEK_RC_BUFFER_FULL;
    }
    try {
        const std::vector<std::string_view> sourceLines = StoredLines(source);
        const std::vector<std::string_view> targetLines = StoredLines(target);
        const EditScript script = DiffSequences(sourceLines.data(), sourceLines.size(),
                                                targetLines.data(), targetLines.size());
        if (script.Lines().size() > static_cast<std::size_t>(VEK_MAX_LINES)) {
            return VEK_RC_BUFFER_FULL;
        }
        WriteScript(script, output);
        return VEK_RC_OK;
    } catch (...) {
        // Memory ran out (OutOfMemory from the engine's blocks, bad_alloc
        // from the views and the script): the output is left empty and the
        // failure passes on to the DiffWhole frame. Nothing is shown.
        output.Reset();
        throw;
    }
}

}  // namespace vek
