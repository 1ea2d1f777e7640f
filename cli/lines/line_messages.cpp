// What the line reader says of a file: the warnings about how it was read
// and the refusals of what a line buffer cannot carry.
#include <string>

#include "lines/line_reader.h"
#include "report/trouble.h"

namespace vekcli {

void WarnAboutReading(const std::string& display, const LoadInfo& info) {
    const std::string where = display + ":";
    if (info.unterminated)
        Warn(where + std::to_string(info.lines) +
             ": the last line has no line feed; it is taken as if it had one");
    if (info.firstBareLf != 0)
        Warn(where + std::to_string(info.firstBareLf) +
             ": the line ends in a line feed without a CR (" + std::to_string(info.bareLfLines) +
             " such line" + (info.bareLfLines == 1 ? "" : "s") +
             "): in the CR LF form it is read as a line and written back with CR LF; leave "
             "out --crlf if the file has LF line ends");
    if (info.eofLine != 0)
        Warn(where + std::to_string(info.eofLine) +
             ": a 0x1A byte ends the data in the CR LF form: it and the " +
             std::to_string(info.eofDropped - 1) + " byte" + (info.eofDropped == 2 ? "" : "s") +
             " after it are not read; leave out --crlf to read the whole file");
}

void WarnAboutReading(const LineFile& file) {
    WarnAboutReading(DisplayName(file.name), file.info);
}

void FailNulByte(const std::string& what, long line) {
    Fail(what + ":" + std::to_string(line) +
         ": the line holds a NUL byte, which a line buffer cannot carry; for binary files use "
         "'vek bundle -b'");
}

void FailTooManyLines(const std::string& what, long line) {
    Fail(what + ":" + std::to_string(line) + ": more lines than a buffer holds (at most " +
         Grouped(kBufferLines) + "); split the file into smaller parts");
}

}  // namespace vekcli
