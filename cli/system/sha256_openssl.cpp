// SHA-256 through OpenSSL's EVP interface. libcrypto is linked in
// statically, so vek loads it only with the code that uses it; it is told
// not to read the system's OpenSSL configuration, which could name
// providers to load from other files.
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <new>

#include "report/trouble.h"
#include "system/sha256.h"

namespace vekcli {

namespace {

[[noreturn]] void HashFailed() {
    Fail("SHA-256 could not be computed by libcrypto (OpenSSL); nothing was written");
}

}  // namespace

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    ~State() { EVP_MD_CTX_free(context); }
    void Start() {
        if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1)
            HashFailed();
    }
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    static const bool ready =
        OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;
    if (!ready)
        HashFailed();
    m_state->context = EVP_MD_CTX_new();
    if (m_state->context == nullptr)
        throw std::bad_alloc();
    m_state->Start();
}

Sha256::~Sha256() = default;

void Sha256::Update(const char* bytes, std::size_t size) {
    if (size != 0 && EVP_DigestUpdate(m_state->context, bytes, size) != 1)
        HashFailed();
}

void Sha256::Finish(unsigned char (&digest)[32]) {
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(m_state->context, digest, &size) != 1 || size != 32)
        HashFailed();
    m_state->Start();
}

}  // namespace vekcli
