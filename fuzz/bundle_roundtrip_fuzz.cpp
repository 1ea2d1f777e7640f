// Random file contents bundled with LoadFiles (text or binary) and written
// back with WriteFiles. Binary files must come back byte for byte; text
// files with every line ended by CR LF; the file checksum must equal the
// checksum of the loaded buffer.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "vekwin32.h"

using namespace vekfuzz;

namespace {

// What a text file becomes after a load and a write: each line (a carriage
// return before its line feed dropped) followed by CR LF; an unterminated
// last line keeps all its bytes and gets CR LF too.
std::string TextRoundTrip(const std::string& bytes) {
    std::string out;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            out.append(bytes, start, std::string::npos);
            out += "\r\n";
            break;
        }
        std::size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r') {
            --stop;
        }
        out.append(bytes, start, stop - start);
        out += "\r\n";
        start = end + 1;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint8_t mode = in.Byte();
    const char type = (mode & 1) != 0 ? 'B' : 'T';
    const std::size_t files = 1 + (mode >> 1) % 3;
    const std::string_view rest = in.Rest();
    std::vector<std::string> contents;
    std::string inList;
    std::string outList;
    for (std::size_t i = 0; i < files; ++i) {
        const std::size_t from = rest.size() * i / files;
        const std::size_t to = rest.size() * (i + 1) / files;
        contents.emplace_back(rest.substr(from, to - from));
        const std::string inName = ScratchPath("in" + std::to_string(i));
        const std::string outName = ScratchPath("out" + std::to_string(i));
        WriteBytes(inName, contents.back());
        RemoveFile(outName);
        inList += (i == 0 ? "" : ",") + inName;
        outList += (i == 0 ? "" : ",") + outName;
    }

    InitBuf(1);
    char status[24] = {};
    std::string list = inList;
    const int loaded = LoadFiles(1, type, list.data(), status);
    Require(loaded == RC_OK, "LoadFiles answered " + std::to_string(loaded));
    RequireConsistent(1, "after LoadFiles");
    int bufferSum = -1;
    int fileSum = -2;
    list = inList;
    Require(Crc(1, 16, &bufferSum) == RC_OK && CrcFile(type, list.data(), 16, &fileSum) == RC_OK &&
                bufferSum == fileSum,
            "CrcFile differs from Crc of the loaded bundle");

    const std::vector<std::string> held = HeldLines(1);
    list = outList;
    const int written = WriteFiles(1, type, list.data());
    Require(written == RC_OK, "WriteFiles answered " + std::to_string(written));
    Require(HeldLines(1) == held, "WriteFiles changed the buffer");
    for (std::size_t i = 0; i < files; ++i) {
        bool exists = false;
        const std::string out = ReadBytes(ScratchPath("out" + std::to_string(i)), &exists);
        if (type == 'B') {
            Require(exists && out == contents[i], "binary file changed on the round trip");
        } else if (contents[i].empty()) {
            Require(!exists, "an empty text file was created");
        } else {
            Require(exists && out == TextRoundTrip(contents[i]),
                    "text file changed on the round trip");
        }
    }
    return 0;
}
