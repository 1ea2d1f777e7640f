// Straightforward models of the file formats, written from their rules and
// shared by the file tests: they read the way the rules describe (45-byte
// blocks, 2,048-byte chunks, one byte at a time), so comparing the library
// against them also checks that its large reads change nothing.
#pragma once

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace filesmodel {

// Section lines of a text file, each with its line feed, without the
// terminator; `loaded` tells whether the status entry is "L".
inline std::vector<std::string> TextSection(const std::string& bytes, bool* loaded = nullptr) {
    std::vector<std::string> lines;
    std::string current = " ";
    bool pendingReturn = false;
    for (std::size_t chunkStart = 0;; chunkStart += 2048) {
        const bool atEnd = chunkStart >= bytes.size();
        const std::size_t chunkEnd = std::min(bytes.size(), chunkStart + 2048);
        std::string chunk =
            atEnd ? std::string(1, '\0') : bytes.substr(chunkStart, chunkEnd - chunkStart);
        for (char b : chunk) {
            if (pendingReturn && b != '\n') {
                current.push_back('\r');
            }
            if (b == '\r') {
                pendingReturn = true;
                continue;
            }
            pendingReturn = false;
            if (!atEnd) {
                current.push_back(b);
            }
            if (b == '\n' || (atEnd && current.size() != 1)) {
                lines.push_back(current);
                current = " ";
            }
        }
        if (atEnd) {
            break;
        }
    }
    if (loaded != nullptr) {
        *loaded = !lines.empty();
    }
    if (!lines.empty() && lines.back().back() != '\n') {
        lines.back().push_back('\n');
    }
    return lines;
}

inline char Encoded(unsigned value) {
    return static_cast<char>(32 + (value & 63));
}

// The whole binary section of a file, terminator included.
inline std::vector<std::string> BinarySection(const std::string& bytes) {
    std::vector<std::string> lines{" begin 777 xxxx\n"};
    unsigned char area[45] = {};
    for (std::size_t at = 0; at < bytes.size(); at += 45) {
        const std::size_t n = std::min<std::size_t>(45, bytes.size() - at);
        std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at + n), area);
        std::string line = " ";
        line.push_back(static_cast<char>(32 + n));
        for (std::size_t g = 0; g < n; g += 3) {
            const unsigned b0 = area[g], b1 = area[g + 1], b2 = area[g + 2];
            line.push_back(Encoded(b0 >> 2));
            line.push_back(Encoded(((b0 & 3) << 4) | (b1 >> 4)));
            line.push_back(Encoded(((b1 & 15) << 2) | (b2 >> 6)));
            line.push_back(Encoded(b2));
        }
        line.push_back('\n');
        lines.push_back(line);
    }
    lines.push_back("  \n");
    lines.push_back(" end\n");
    lines.push_back("E\n");
    return lines;
}

// What a text file gives when read back as plain lines: CR LF read as LF,
// 0x1A ends the data, pieces end after LF or after 1,022 bytes, each cut at
// its first NUL.
inline std::vector<std::string> PlainPieces(const std::string& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\x1a') {
            break;
        }
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        text.push_back(bytes[i]);
    }
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text) {
        piece.push_back(c);
        if (c == '\n' || piece.size() == 1022) {
            pieces.push_back(piece.substr(0, piece.find('\0')));
            piece.clear();
        }
    }
    if (!piece.empty()) {
        pieces.push_back(piece.substr(0, piece.find('\0')));
    }
    return pieces;
}

// Random bytes drawn from `alphabet`.
inline std::string RandomBytes(std::mt19937& random, std::size_t size,
                               const std::string& alphabet = std::string()) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = alphabet.empty() ? static_cast<char>(random() & 0xFF)
                             : alphabet[random() % alphabet.size()];
    }
    return bytes;
}

// Lines as GetLine hands them out: up to the first NUL byte, without the
// last byte of that.
inline std::vector<std::string> AsHandedOut(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        const std::string visible = line.substr(0, line.find('\0'));
        out.push_back(visible.empty() ? visible : visible.substr(0, visible.size() - 1));
    }
    return out;
}

// The buffer checksum rule applied to lines: signed byte values up to each
// line's first NUL summed modulo 65536.
inline int Checksum(const std::vector<std::string>& lines) {
    int sum = 0;
    for (const std::string& line : lines) {
        for (char c : line.substr(0, line.find('\0'))) {
            sum = (sum + static_cast<signed char>(c)) & 0xFFFF;
        }
    }
    return sum;
}

inline int TotalLength(const std::vector<std::string>& lines) {
    std::size_t total = 0;
    for (const std::string& line : lines) {
        total += line.size();
    }
    return static_cast<int>(total);
}

}  // namespace filesmodel
