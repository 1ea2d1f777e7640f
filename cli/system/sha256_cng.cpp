// SHA-256 through the system's CNG (bcrypt.dll).
#include <windows.h>

#include <bcrypt.h>

#include <new>

#include "report/trouble.h"
#include "system/sha256.h"

namespace vekcli {

namespace {

[[noreturn]] void HashFailed(const char* step, long status) {
    Fail(std::string("SHA-256 could not be computed by CNG (") + step + " failed with status " +
         std::to_string(status) + "); nothing was written");
}

BCRYPT_ALG_HANDLE Algorithm() {
    static BCRYPT_ALG_HANDLE algorithm = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        const NTSTATUS status =
            BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
        if (status < 0)
            HashFailed("BCryptOpenAlgorithmProvider", status);
        return handle;
    }();
    return algorithm;
}

}  // namespace

struct Sha256::State {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash != nullptr)
            BCryptDestroyHash(hash);
    }
    void Start() {
        const NTSTATUS status = BCryptCreateHash(Algorithm(), &hash, nullptr, 0, nullptr, 0, 0);
        if (status < 0)
            HashFailed("BCryptCreateHash", status);
    }
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    m_state->Start();
}

Sha256::~Sha256() = default;

void Sha256::Update(const char* bytes, std::size_t size) {
    while (size > 0) {
        const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        const NTSTATUS status = BCryptHashData(
            m_state->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes)), piece, 0);
        if (status < 0)
            HashFailed("BCryptHashData", status);
        bytes += piece;
        size -= piece;
    }
}

void Sha256::Finish(unsigned char (&digest)[32]) {
    const NTSTATUS status = BCryptFinishHash(m_state->hash, digest, sizeof digest, 0);
    if (status < 0)
        HashFailed("BCryptFinishHash", status);
    BCryptDestroyHash(m_state->hash);
    m_state->hash = nullptr;
    m_state->Start();
}

}  // namespace vekcli
