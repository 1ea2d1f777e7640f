#include "files/type_detection.h"

#include <array>
#include <cstring>

#include "common/failure.h"
#include "files/file_list.h"
#include "files/file_sets.h"
#include "platform/file.h"

namespace vek {

namespace {

constexpr std::size_t kProbeSize = 512;

// 1 for the bytes that occur in text: tab, line feed, vertical tab, form
// feed, carriage return, space to tilde, and every byte with the high bit.
constexpr std::array<unsigned char, 256> MakeTextTable() {
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b) {
        table[b] = (b >= 0x09 && b <= 0x0D) || (b >= 0x20 && b <= 0x7E) || b >= 0x80;
    }
    return table;
}

constexpr std::array<unsigned char, 256> kTextTable = MakeTextTable();

}  // namespace

int ProbeFileType(const char* name, char* typeOut) {
    platform::File file;
    try {
        file.Open(name, platform::OpenMode::kReadShared);
    } catch (const FileFailure&) {
        return VEK_RC_READ_FAILED;
    }
    unsigned char head[kProbeSize];
    const std::size_t got = file.Read(head, sizeof head);
    file.Close();
    *typeOut = 'T';
    for (std::size_t i = 0; i < got; ++i) {
        if (kTextTable[head[i]] == 0) {
            *typeOut = 'B';
            break;
        }
    }
    return VEK_RC_OK;
}

// The walk differs from the bundle walk: an empty name always ends it, a
// one-character name is skipped unopened, and no name is special.
int DetectFileListType(char* fileList, char* typeOut) {
    *typeOut = 'T';
    char* name = fileList;
    for (int count = 0;; ++count) {
        if (count == kMaxListNames) {
            return VEK_RC_TOO_MANY_FILES;
        }
        char* next = std::strchr(name, ',');
        if (next != nullptr) {
            *next++ = '\0';
        }
        if (name[0] == '\0') {
            return VEK_RC_OK;
        }
        if (name[1] != '\0') {
            const int rc = ProbeFileType(name, typeOut);
            if (*typeOut == 'B' || rc != VEK_RC_OK) {
                return rc;
            }
        }
        if (next == nullptr) {
            return VEK_RC_OK;
        }
        name = next;
    }
}

}  // namespace vek
