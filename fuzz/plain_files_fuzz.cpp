// Random file bytes through ReadBuf and CheckType. ReadBuf must hold the
// pieces a text-mode reader gives (CR LF as LF, 0x1A ends the data, pieces
// of at most 1,022 bytes ending after a line feed, each cut at a NUL);
// WriteBuf and ReadBuf again must give the same lines; CheckType must say
// 'B' exactly when a byte of the first 512 is not a text byte.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "vekwin32.h"

using namespace vekfuzz;

namespace {

std::vector<std::string> Pieces(const std::string& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\x1A') {
            break;
        }
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        text += bytes[i];
    }
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = std::min(text.size(), start + 1022);
        const std::size_t lineFeed = text.find('\n', start);
        if (lineFeed != std::string::npos && lineFeed < end) {
            end = lineFeed + 1;
        }
        std::string piece = text.substr(start, end - start);
        piece.resize(std::min(piece.size(), piece.find('\0')));
        pieces.push_back(piece);
        start = end;
    }
    return pieces;
}

bool TextByte(unsigned char b) {
    return (b >= 0x09 && b <= 0x0D) || (b >= 0x20 && b <= 0x7E) || b >= 0x80;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint8_t mode = in.Byte();
    std::string bytes(in.Rest());
    // Long files cross the readers' block boundaries.
    if ((mode & 1) != 0 && !bytes.empty()) {
        while (bytes.size() < 150000) {
            bytes += bytes;
        }
    }
    const std::string name = ScratchPath("plain");
    const std::string copy = ScratchPath("plain-copy");
    WriteBytes(name, bytes);

    InitBuf(1);
    Require(ReadBuf(1, name.c_str()) == RC_OK, "ReadBuf refused a readable file");
    RequireConsistent(1, "after ReadBuf");
    const std::vector<std::string> lines = HeldLines(1);
    Require(lines == Pieces(bytes), "ReadBuf holds other lines than the text reader gives");

    Require(WriteBuf(1, copy.c_str()) == RC_OK, "WriteBuf failed");
    InitBuf(2);
    Require(ReadBuf(2, copy.c_str()) == RC_OK, "ReadBuf of the copy failed");
    // A NUL cuts its piece short, so the copy holds less and splits into
    // pieces elsewhere; without NULs the lines must come back unchanged.
    if (bytes.find('\0') == std::string::npos) {
        const std::vector<std::string> again = HeldLines(2);
        std::size_t i = 0;
        while (i < lines.size() && i < again.size() && lines[i] == again[i]) {
            ++i;
        }
        Require(again.size() == lines.size() && i == lines.size(),
                "WriteBuf and ReadBuf changed the lines from line " + std::to_string(i + 1) +
                    " of " + std::to_string(lines.size()));
    }

    bool binary = false;
    for (std::size_t i = 0; i < bytes.size() && i < 512; ++i) {
        binary = binary || !TextByte(static_cast<unsigned char>(bytes[i]));
    }
    std::string list = name;
    char letter = '?';
    Require(CheckType(list.data(), &letter) == RC_OK, "CheckType failed");
    Require(letter == (binary ? 'B' : 'T'), "CheckType gave the wrong type");
    RemoveFile(copy);
    return 0;
}
