// Random buffers, malformed bundles among them, written out with WriteFiles.
// The call must answer with one of its codes, leave the buffer as it was and
// write only the named files.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "vekwin32.h"

using namespace vekfuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint8_t mode = in.Byte();
    const char type = (mode & 1) != 0 ? 'B' : 'T';
    // One to twelve names; bit 4 leaves the second one empty.
    const int names = 1 + (mode >> 1) % 12;
    std::string list;
    for (int i = 0; i < names; ++i) {
        const bool empty = i == 1 && (mode & 0x80) != 0;
        list +=
            (i == 0 ? "" : ",") + (empty ? std::string() : ScratchPath("w" + std::to_string(i)));
    }
    std::vector<std::string> lines = Split(in.Rest(), '\n');
    if (lines.size() > 4000) {
        lines.resize(4000);
    }
    InitBuf(3);
    for (const std::string& line : lines) {
        AddLine(3, line.c_str());
    }
    const std::vector<std::string> held = HeldLines(3);
    std::string cut = list;
    const int rc = WriteFiles(3, type, cut.data());
    Require(rc == RC_OK || rc == RC_FAILED || rc == RC_READ_FAILED || rc == RC_WRITE_FAILED ||
                rc == RC_TOO_MANY_FILES,
            "WriteFiles answered " + std::to_string(rc));
    Require(HeldLines(3) == held, "WriteFiles changed the buffer");
    RequireConsistent(3, "after WriteFiles");
    if (names > 10) {
        Require(rc != RC_OK, "more than ten names accepted");
    }
    for (int i = 0; i < names; ++i) {
        RemoveFile(ScratchPath("w" + std::to_string(i)));
    }
    return 0;
}
