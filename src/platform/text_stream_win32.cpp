// Text-mode streams of the Windows C runtime: opened with _wfsopen on the
// name SystemName gives, with no sharing (_SH_DENYRW); the runtime writes
// each line feed as carriage return, line feed and, reading, turns the pair
// back into a line feed and stops at the byte 0x1A.
#include <share.h>
#include <stdio.h>

#include <cstring>

#include "common/failure.h"
#include "platform/file.h"

namespace vek::platform {

struct TextWriter::Impl {
    FILE* stream = nullptr;
};

TextWriter::TextWriter() : m_impl(new Impl) {}

TextWriter::~TextWriter() {
    if (m_impl->stream != nullptr) {
        fclose(m_impl->stream);
    }
}

void TextWriter::Open(const char* name) {
    m_impl->stream = _wfsopen(SystemName(name).c_str(), L"wt", _SH_DENYRW);
    if (m_impl->stream == nullptr) {
        throw FileFailure("cannot create text file");
    }
}

void TextWriter::Write(const char* data, std::size_t count) {
    if (count > 0 && fwrite(data, 1, count, m_impl->stream) != count) {
        throw FileFailure("text write failed");
    }
}

void TextWriter::Close() {
    FILE* stream = m_impl->stream;
    if (stream == nullptr) {
        return;
    }
    m_impl->stream = nullptr;
    if (fclose(stream) != 0) {
        throw FileFailure("text close failed");
    }
}

struct TextReader::Impl {
    FILE* stream = nullptr;
    char piece[kMaxPiece + 1];
};

TextReader::TextReader() : m_impl(new Impl) {}

TextReader::~TextReader() {
    if (m_impl->stream != nullptr) {
        fclose(m_impl->stream);
    }
}

void TextReader::Open(const char* name) {
    m_impl->stream = _wfsopen(SystemName(name).c_str(), L"rt", _SH_DENYRW);
    if (m_impl->stream == nullptr) {
        throw FileFailure("cannot open text file");
    }
}

bool TextReader::ReadPiece(std::string& piece) {
    if (fgets(m_impl->piece, static_cast<int>(sizeof m_impl->piece), m_impl->stream) == nullptr) {
        if (ferror(m_impl->stream)) {
            throw FileFailure("text read failed");
        }
        return false;
    }
    piece.assign(m_impl->piece, std::strlen(m_impl->piece));
    return true;
}

void TextReader::Close() {
    FILE* stream = m_impl->stream;
    if (stream == nullptr) {
        return;
    }
    m_impl->stream = nullptr;
    if (fclose(stream) != 0) {
        throw FileFailure("text close failed");
    }
}

}  // namespace vek::platform
