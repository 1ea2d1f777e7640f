// Saving a buffer as a plain text file and appending one to a buffer,
// through the platform's text-mode streams.
#include <cstring>
#include <string>

#include "common/failure.h"
#include "files/file_sets.h"
#include "platform/file.h"

namespace vek {

int SaveBufferToFile(const VekBuf& buffer, const char* fileName) {
    platform::TextWriter writer;
    try {
        writer.Open(fileName);
    } catch (const FileFailure&) {
        return RC_WRITE_FAILED;
    }
    buffer.ForEachLine([&writer](std::string_view line) {
        // A line goes out up to its first NUL byte.
        const void* nul = std::memchr(line.data(), '\0', line.size());
        const std::size_t length =
            nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - line.data())
                           : line.size();
        writer.Write(line.data(), length);
    });
    writer.Close();
    return 0;
}

int LoadBufferFromFile(VekBuf& buffer, const char* fileName) {
    platform::TextReader reader;
    try {
        reader.Open(fileName);
    } catch (const FileFailure&) {
        return RC_READ_FAILED;
    }
    std::string piece;
    int rc = 0;
    while (rc == 0 && reader.ReadPiece(piece)) {
        rc = buffer.AppendLine(piece);
    }
    reader.Close();
    return rc;
}

}  // namespace vek
