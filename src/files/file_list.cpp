#include "files/file_list.h"

#include <cstring>

#include "vekwin32.h"

namespace vek {

namespace {

// A list is full when a byte other than a comma occurs while the name count
// stands at kMaxListNames, that is when its last possible name is not empty
// (for a list that does not begin with a comma).
bool ListIsFull(const char* list) {
    int count = list[0] != ',' ? 1 : 0;
    for (const char* p = list; *p != '\0'; ++p) {
        if (*p == ',') {
            ++count;
        } else if (count == kMaxListNames) {
            return true;
        }
    }
    return false;
}

}  // namespace

int ProcessFileList(char* fileList, int typeLetter, FileListDirection& direction) {
    const bool full = ListIsFull(fileList);
    const bool allBinary = static_cast<char>(typeLetter & 0xFF) == 'B';
    char* name = fileList;
    for (int index = 0;; ++index) {
        if (index == kMaxListNames) {
            return VEK_RC_TOO_MANY_FILES;
        }
        char* next = std::strchr(name, ',');
        if (next != nullptr) {
            *next++ = '\0';
        }
        if (*name == '\0' && !full) {
            return VEK_RC_OK;
        }
        const bool binary = allBinary || index == kAlwaysBinaryName;
        const int rc = binary ? direction.HandleBinary(name) : direction.HandleText(name);
        if (rc != VEK_RC_OK) {
            return rc;
        }
        if (next == nullptr) {
            return VEK_RC_OK;
        }
        name = next;
    }
}

}  // namespace vek
