// SHA-256 from OpenSSL's libcrypto, through its SHA-256 functions
// themselves rather than the EVP interface: libcrypto is linked in
// statically, and these bring only the hash (with the processor's SHA
// instructions where it has them), where EVP brings the whole provider
// machinery into vek's start-up. OpenSSL 3 marks them deprecated in favour
// of EVP; they remain part of its interface.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include "report/trouble.h"
#include "system/sha256.h"

namespace vekcli {

namespace {

[[noreturn]] void HashFailed() {
    Fail("SHA-256 could not be computed by libcrypto (OpenSSL); nothing was written");
}

}  // namespace

struct Sha256::State {
    SHA256_CTX context;
    void Start() {
        if (SHA256_Init(&context) != 1)
            HashFailed();
    }
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    m_state->Start();
}

Sha256::~Sha256() = default;

void Sha256::Update(const char* bytes, std::size_t size) {
    if (size != 0 && SHA256_Update(&m_state->context, bytes, size) != 1)
        HashFailed();
}

void Sha256::Finish(unsigned char (&digest)[32]) {
    if (SHA256_Final(digest, &m_state->context) != 1)
        HashFailed();
    m_state->Start();
}

}  // namespace vekcli
