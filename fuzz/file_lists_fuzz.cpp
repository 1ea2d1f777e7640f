// Hostile file lists: names of text, binary and missing files, one-character
// names, empty names and commas in any order and number, through LoadFiles,
// CrcFile, CheckType and WriteFiles. The list is cut in place at commas and
// nowhere else; the status fits the documented 20 bytes and reads as "L" or
// "E" per section; CrcFile agrees with Crc of the same load.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "vekwin32.h"

using namespace vekfuzz;

namespace {

constexpr std::size_t kStatusRoom = 20;

const std::vector<std::string>& Names() {
    static const std::vector<std::string> names = [] {
        WriteBytes(ScratchPath("t1"), "text one\r\nline two\n");
        WriteBytes(ScratchPath("t2"), "");
        WriteBytes(ScratchPath("b1"), std::string("\x01\x02\x00\x7f binary", 12));
        WriteBytes(ScratchPath("b2"), std::string(100, '\xee'));
        return std::vector<std::string>{ScratchPath("t1"),      ScratchPath("t2"),
                                        ScratchPath("b1"),      ScratchPath("b2"),
                                        ScratchPath("missing"), "x"};
    }();
    return names;
}

// Copies `list` into storage of exactly its size, so that a read or write
// past its end is caught.
std::unique_ptr<char[]> Exact(const std::string& list) {
    std::unique_ptr<char[]> copy(new char[list.size() + 1]);
    std::memcpy(copy.get(), list.c_str(), list.size() + 1);
    return copy;
}

void RequireCutAtCommasOnly(const std::string& list, const char* after, const char* what) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        Require(after[i] == list[i] || (list[i] == ',' && after[i] == '\0'),
                std::string(what) + " changed the list elsewhere than at a comma");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint8_t mode = in.Byte();
    const char type = (mode & 1) != 0 ? 'B' : 'T';
    std::string list;
    while (!in.Empty() && list.size() < 2000) {
        const std::uint8_t token = in.Byte();
        if (token % 8 == 7) {
            list += ',';
        } else {
            list += Names()[static_cast<std::size_t>(token % 8) % Names().size()];
        }
    }

    InitBuf(1);
    auto loadList = Exact(list);
    std::unique_ptr<char[]> status(new char[kStatusRoom]());
    const int loaded = LoadFiles(1, type, loadList.get(), status.get());
    Require(loaded == RC_OK || loaded == RC_READ_FAILED || loaded == RC_TOO_MANY_FILES,
            "LoadFiles answered " + std::to_string(loaded));
    RequireCutAtCommasOnly(list, loadList.get(), "LoadFiles");
    RequireConsistent(1, "after LoadFiles");
    const std::size_t statusLength = strnlen(status.get(), kStatusRoom);
    Require(statusLength < kStatusRoom, "status not terminated within its room");
    for (std::size_t i = 0; i < statusLength; ++i) {
        const char c = status[i];
        Require(i % 2 == 0 ? (c == 'L' || c == 'E') : c == ',', "malformed status");
    }

    auto crcList = Exact(list);
    int fileSum = -1;
    const int summed = CrcFile(type, crcList.get(), 16, &fileSum);
    Require(summed == loaded, "CrcFile and LoadFiles disagree on the list");
    if (summed == RC_OK) {
        int bufferSum = -2;
        Crc(1, 16, &bufferSum);
        Require(fileSum == bufferSum, "CrcFile differs from Crc of the same load");
    } else {
        Require(fileSum == -1, "CrcFile wrote a checksum on failure");
    }

    auto typeList = Exact(list);
    char letter = '?';
    const int typed = CheckType(typeList.get(), &letter);
    Require(typed == RC_OK || typed == RC_READ_FAILED || typed == RC_TOO_MANY_FILES,
            "CheckType answered " + std::to_string(typed));
    Require(letter == 'T' || letter == 'B', "CheckType gave no letter");
    RequireCutAtCommasOnly(list, typeList.get(), "CheckType");

    // Written back under names in a directory of their own.
    std::string outList;
    for (int i = 0; i < 11; ++i) {
        outList += (i == 0 ? "" : ",") + ScratchPath("o" + std::to_string(i));
    }
    auto writeList = Exact(outList);
    const std::vector<std::string> held = HeldLines(1);
    const int written = WriteFiles(1, type, writeList.get());
    Require(written == RC_OK || written == RC_FAILED || written == RC_WRITE_FAILED ||
                written == RC_TOO_MANY_FILES,
            "WriteFiles answered " + std::to_string(written));
    Require(HeldLines(1) == held, "WriteFiles changed the buffer");
    for (int i = 0; i < 11; ++i) {
        RemoveFile(ScratchPath("o" + std::to_string(i)));
    }
    return 0;
}
