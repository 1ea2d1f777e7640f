// A bundle read back from buffer 1 for unbundle: its sections, each judged
// both as text and as a uuencoded binary file (as WriteFiles decodes one),
// so that damage is found before anything is written.
#pragma once

#include <string>
#include <vector>

#include "options.h"

namespace vekcli {

struct Section {
    long firstLine = 0;
    bool empty = false;
    bool ownHeader = false;    // opens with the header LoadFiles writes for a binary file
    bool uuHeader = false;     // opens with a " begin MODE NAME" line
    bool endsWithEnd = false;  // its last line is " end"
    long binaryFault = 0;      // first line that keeps it from decoding, 0 when it decodes
    std::string binaryWhy;
    long long textBytes = 0;    // the file's size written as text (CR LF line ends)
    long long binaryBytes = 0;  // the file's size decoded
    // A section shaped like a uuencoded file (its header or its end line)
    // that does not decode: damage, not text.
    bool DamagedBinary() const { return (uuHeader || endsWithEnd) && binaryFault != 0; }
};

// The sections of the bundle in buffer 1; a line that is not a bundle line,
// or a bundle cut short, ends with a Trouble naming `bundleName`.
std::vector<Section> ScanBundle(const std::string& bundleName, bool crlf);

// The type to unbundle with. Read as binary, a bundle is wrong when a file
// does not decode; read as text, when its tenth file does not decode, or a
// file in a text place is shaped like a uuencoded file but damaged. -t, -b
// and --tenth are checked against that. Without them the one fitting
// reading is taken; of a bundle that fits both, one whose every file is
// uuencoded as LoadFiles writes a binary file is binary, and any other is
// refused. `names` name the places in messages.
char ChooseUnbundleType(const Options& o, const std::vector<Section>& sections,
                        const std::vector<std::string>& names, const std::string& bundleName);

}  // namespace vekcli
