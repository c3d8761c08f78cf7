// SHA-256 through Windows CNG (bcrypt.dll).
#include <windows.h>

#include <bcrypt.h>

#include "engine/Sha256X.h"

#include "platform/SysUtils.h"

namespace oru::patch {

namespace {
bool Ok(NTSTATUS status) {
    return status >= 0;
}
} // namespace

struct TSha256::TImpl {
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~TImpl() {
        if (hash)
            BCryptDestroyHash(hash);
        if (alg)
            BCryptCloseAlgorithmProvider(alg, 0);
    }
    void Start() {
        if (hash) {
            BCryptDestroyHash(hash);
            hash = nullptr;
        }
        if (!Ok(BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0)))
            throw Exception("SHA-256 could not be started");
    }
};

TSha256::TSha256() : impl_(std::make_unique<TImpl>()) {
    if (!Ok(BCryptOpenAlgorithmProvider(&impl_->alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        throw Exception("SHA-256 is not available on this system");
    impl_->Start();
}

TSha256::~TSha256() = default;

void TSha256::Update(const void* data, size_t size) {
    auto* p = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        // BCryptHashData takes a 32-bit length.
        ULONG chunk = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!Ok(BCryptHashData(impl_->hash, p, chunk, 0)))
            throw Exception("SHA-256 failed");
        p += chunk;
        size -= chunk;
    }
}

TSha256Digest TSha256::Final() {
    TSha256Digest digest{};
    if (!Ok(BCryptFinishHash(impl_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
        throw Exception("SHA-256 failed");
    impl_->Start();
    return digest;
}

} // namespace oru::patch
