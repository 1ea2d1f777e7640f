#include "system/sha256.h"

namespace vekcli {

std::string Sha256::HexDigest() {
    unsigned char digest[32];
    Finish(digest);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (const unsigned char byte : digest) {
        hex.push_back(kHex[byte >> 4]);
        hex.push_back(kHex[byte & 15]);
    }
    return hex;
}

std::string Sha256Hex(std::string_view bytes) {
    Sha256 hash;
    hash.Update(bytes);
    return hash.HexDigest();
}

}  // namespace vekcli
