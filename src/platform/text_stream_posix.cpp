// Text-mode streams for systems whose C runtime does not translate line
// ends: the translation is done here, the way a DOS-style runtime does it.
// Written: every line feed as carriage return, line feed. Read: carriage
// return immediately followed by line feed as one line feed (also when the
// pair is split between two reads), a lone carriage return unchanged, and
// the byte 0x1A ends the data. Both sides go through File with exclusive
// access and move data in large blocks.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "platform/file.h"

namespace vek::platform {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr char kEndOfData = 0x1A;

}  // namespace

struct TextWriter::Impl {
    File file;
    std::vector<char> held;

    void Drain() {
        if (!held.empty()) {
            file.Write(held.data(), held.size());
            held.clear();
        }
    }
};

TextWriter::TextWriter() : m_impl(new Impl) {}

TextWriter::~TextWriter() {
    // Like a stream closed by the runtime: what is held still goes out.
    try {
        Close();
    } catch (...) {
        // Nobody to report to; the handle is released by File.
    }
}

void TextWriter::Open(const char* name) {
    m_impl->held.reserve(kBlockSize + 2);
    m_impl->file.Open(name, OpenMode::kWriteExclusive);
}

void TextWriter::Write(const char* data, std::size_t count) {
    std::vector<char>& held = m_impl->held;
    const char* end = data + count;
    while (data < end) {
        const char* lineFeed = static_cast<const char*>(std::memchr(data, '\n', end - data));
        const char* stop = lineFeed != nullptr ? lineFeed : end;
        held.insert(held.end(), data, stop);
        if (lineFeed != nullptr) {
            held.push_back('\r');
            held.push_back('\n');
            data = lineFeed + 1;
        } else {
            data = end;
        }
        if (held.size() >= kBlockSize) {
            m_impl->Drain();
        }
    }
}

void TextWriter::Close() {
    if (!m_impl->file.IsOpen()) {
        return;
    }
    // What is held is written once: a failed write drops it, and the file is
    // then closed by the next Close or the destructor.
    const std::vector<char> held = std::exchange(m_impl->held, {});
    if (!held.empty()) {
        m_impl->file.Write(held.data(), held.size());
    }
    m_impl->file.Close();
}

struct TextReader::Impl {
    File file;
    std::vector<char> raw;
    std::vector<char> text;  // translated data not yet handed out
    std::size_t next = 0;    // first byte of `text` not yet handed out
    bool pendingReturn = false;
    bool ended = false;

    // Translates the next raw block; false when the data has ended.
    bool Refill() {
        text.clear();
        next = 0;
        while (text.empty() && !ended) {
            const std::size_t got = file.Read(raw.data(), raw.size());
            if (got == 0) {
                if (pendingReturn) {
                    text.push_back('\r');
                    pendingReturn = false;
                }
                ended = true;
                break;
            }
            text.resize(got + 1);
            char* out = text.data();
            const char* in = raw.data();
            const char* end = in + got;
            if (pendingReturn) {
                pendingReturn = false;
                if (*in == '\n') {
                    *out++ = '\n';
                    ++in;
                } else {
                    *out++ = '\r';
                }
            }
            for (; in < end; ++in) {
                const char c = *in;
                if (c == kEndOfData) {
                    ended = true;
                    break;
                }
                if (c != '\r') {
                    *out++ = c;
                } else if (in + 1 == end) {
                    pendingReturn = true;
                } else if (in[1] == '\n') {
                    *out++ = '\n';
                    ++in;
                } else {
                    *out++ = '\r';
                }
            }
            text.resize(static_cast<std::size_t>(out - text.data()));
        }
        return !text.empty();
    }
};

TextReader::TextReader() : m_impl(new Impl) {}

TextReader::~TextReader() = default;

void TextReader::Open(const char* name) {
    m_impl->raw.resize(kBlockSize);
    m_impl->file.Open(name, OpenMode::kReadExclusive);
}

bool TextReader::ReadPiece(std::string& piece) {
    Impl& in = *m_impl;
    piece.clear();
    bool any = false;
    while (piece.size() < kMaxPiece) {
        if (in.next == in.text.size() && !in.Refill()) {
            break;
        }
        any = true;
        const char* from = in.text.data() + in.next;
        const std::size_t room = std::min(kMaxPiece - piece.size(), in.text.size() - in.next);
        const char* lineFeed = static_cast<const char*>(std::memchr(from, '\n', room));
        const std::size_t take =
            lineFeed != nullptr ? static_cast<std::size_t>(lineFeed - from) + 1 : room;
        piece.append(from, take);
        in.next += take;
        if (lineFeed != nullptr) {
            break;
        }
    }
    const std::size_t nul = piece.find('\0');
    if (nul != std::string::npos) {
        piece.resize(nul);
    }
    return any;
}

void TextReader::Close() {
    m_impl->file.Close();
}

}  // namespace vek::platform
