// What vek asks of the system that the library's own file layer already
// does the same way on every system.
#include "common/failure.h"
#include "platform/file.h"
#include "system/platform.h"

namespace vekcli::platform {

bool OpensAsLibraryDoes(const std::string& name) {
    try {
        vek::platform::File file;
        file.Open(name.c_str(), vek::platform::OpenMode::kReadExclusive);
    } catch (const vek::Failure&) {
        return false;
    }
    return true;
}

}  // namespace vekcli::platform
