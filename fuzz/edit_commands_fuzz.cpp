// A stream of edit-command lines fed through EdCmd into a filled buffer.
// Every line must be answered with 0 or 102; a refused line changes neither
// the lines nor the interpreter state; an accepted text line adds exactly
// one line, and the buffer's rules hold after every call.
#include <string>
#include <vector>

#include "api/slots.h"
#include "fuzz_support.h"
#include "vekwin32.h"

using namespace vekfuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const int start = in.Byte() % 48;
    InitBuf(1);
    for (int i = 0; i < start; ++i) {
        AddLine(
            1, ("line " + std::to_string(i + 1) + std::string(static_cast<std::size_t>(i % 5), '-'))
                   .c_str());
    }
    std::vector<std::string> commands = Split(in.Rest(), '\n');
    if (commands.size() > 512) {
        commands.resize(512);
    }
    const vek::EditState& state = vek::DefaultContext().Edit(1);
    for (const std::string& command : commands) {
        const std::vector<std::string> before = HeldLines(1);
        const int curLine = state.curLine;
        const int insertMode = state.insertMode;
        const int rc = EdCmd(1, command.c_str());
        Require(rc == RC_OK || rc == RC_BAD_LINE, "EdCmd answered " + std::to_string(rc));
        const std::vector<std::string> after = HeldLines(1);
        if (rc != RC_OK) {
            Require(after == before && state.curLine == curLine && state.insertMode == insertMode,
                    "a refused line changed the buffer: " + command);
        } else if (insertMode == 1) {
            // The text is the command up to its first NUL.
            const std::string text = command.c_str();
            if (!text.empty() && text[0] == '.') {
                Require(after == before && state.insertMode == 0, "closing line stored text");
            } else {
                Require(after.size() == before.size() + 1 && state.insertMode == 1,
                        "a text line did not add exactly one line");
            }
        } else {
            Require(after.size() <= before.size(), "a command added lines");
        }
        RequireConsistent(1, "after EdCmd");
    }
    return 0;
}
