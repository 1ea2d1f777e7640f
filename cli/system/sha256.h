// SHA-256 as the system's maintained library computes it: OpenSSL's
// libcrypto on Linux (sha256_openssl.cpp), CNG (bcrypt) on Windows
// (sha256_cng.cpp). vek never computes it itself.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace vekcli {

class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const char* bytes, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything given so far, as 64 lowercase hex digits;
    // the hash then starts again from nothing.
    std::string HexDigest();

  private:
    // The digest into `digest`, and the hash started again.
    void Finish(unsigned char (&digest)[32]);

    struct State;
    std::unique_ptr<State> m_state;
};

// The SHA-256 of `bytes`, in hex.
std::string Sha256Hex(std::string_view bytes);

}  // namespace vekcli
