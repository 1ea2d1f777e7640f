// Saving a buffer as a plain text file and appending one to a buffer,
// through the platform's text-mode streams. Each closes its stream at one
// point, after the last line; a failure there is raised (the export frame
// answers it with its own code). A save or load that ends earlier, with a
// code or a failure, leaves the stream to its destructor, which closes it
// without raising.
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
        return VEK_RC_WRITE_FAILED;
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
    return VEK_RC_OK;
}

int LoadBufferFromFile(VekBuf& buffer, const char* fileName) {
    platform::TextReader reader;
    try {
        reader.Open(fileName);
    } catch (const FileFailure&) {
        return VEK_RC_READ_FAILED;
    }
    std::string piece;
    while (reader.ReadPiece(piece)) {
        if (const int rc = buffer.AppendLine(piece); rc != VEK_RC_OK) {
            return rc;
        }
    }
    reader.Close();
    return VEK_RC_OK;
}

}  // namespace vek
