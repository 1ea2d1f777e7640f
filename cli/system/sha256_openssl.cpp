// SHA-256 through OpenSSL's libcrypto, linked in statically. Its digest
// functions of their own (SHA256_Init, _Update, _Final) are used rather
// than the EVP interface: EVP sets up OpenSSL's provider machinery on its
// first use, which costs more memory than every other part of a tree's
// update together (about 1.5 MB), and more code, for the same digest. They
// are marked deprecated since OpenSSL 3.0, hence the define below; they
// still compute the digest with the processor's SHA instructions where it
// has them.
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
