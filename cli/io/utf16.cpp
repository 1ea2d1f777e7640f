#include "io/utf16.h"

#include "io/files.h"
#include "report/trouble.h"
#include "vekwin32.h"

namespace vekcli {

bool StartsWithUtf16Mark(const std::string& path) {
    unsigned char mark[2] = {};
    Input in(path);
    if (in.Read(reinterpret_cast<char*>(mark), 2) != 2)
        return false;
    return (mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF);
}

}  // namespace vekcli
