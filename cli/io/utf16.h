// UTF-16 files and text bundles. A text bundle takes a file as lines of
// bytes that end at a line feed byte and writes them back with CR LF, which
// puts a lone CR byte inside UTF-16 text: such a file must go as binary.
#pragma once

#include <string>
#include <vector>

namespace vekcli {

// Refuses, naming the file and telling to use -b, the first file of the set
// that type `type` handles as text ('T', except the tenth file) and that
// starts with a UTF-16 byte-order mark (FF FE or FE FF). `paths` are where
// the files' bytes are read (a pipe's copy), `names` what the message shows;
// the empty places before a tenth file are not looked at.
void RefuseUtf16Text(const std::vector<std::string>& names, const std::vector<std::string>& paths,
                     char type);

}  // namespace vekcli
