#include "io/utf16.h"

#include "io/files.h"
#include "report/trouble.h"
#include "vekwin32.h"

namespace vekcli {

void RefuseUtf16Text(const std::vector<std::string>& names, const std::vector<std::string>& paths,
                     char type) {
    if (type != 'T')
        return;
    for (std::size_t i = 0; i < names.size() && i < BINARY_LIST_FILE - 1; ++i) {
        const std::string& name = names[i];
        if (name.empty())
            continue;
        unsigned char mark[2] = {};
        Input in(paths[i]);
        if (in.Read(reinterpret_cast<char*>(mark), 2) != 2)
            continue;
        if ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF))
            Fail(DisplayName(name) +
                 ": starts with a UTF-16 byte-order mark; a text bundle would put single-byte "
                 "line ends inside its text and corrupt it; bundle the files with -b");
    }
}

}  // namespace vekcli
