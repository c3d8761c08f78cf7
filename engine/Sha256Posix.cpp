// SHA-256 through OpenSSL's libcrypto. The plain SHA256_* functions rather than EVP:
// the first EVP digest of a process loads the provider configuration, which costs
// more than hashing a few megabytes and so dominated patching small files. The
// plain functions use the same assembly (SHA extensions where the CPU has them).
#define OPENSSL_SUPPRESS_DEPRECATED
#include "engine/Sha256X.h"

#include "platform/SysUtils.h"

#include <openssl/sha.h>

namespace oru::patch {

struct TSha256::TImpl {
    SHA256_CTX ctx;
    void Start() {
        if (SHA256_Init(&ctx) != 1)
            throw Exception("SHA-256 could not be started");
    }
};

TSha256::TSha256() : impl_(std::make_unique<TImpl>()) { impl_->Start(); }

TSha256::~TSha256() = default;

void TSha256::Update(const void* data, size_t size) {
    if (size && SHA256_Update(&impl_->ctx, data, size) != 1)
        throw Exception("SHA-256 failed");
}

TSha256Digest TSha256::Final() {
    TSha256Digest digest{};
    if (SHA256_Final(digest.data(), &impl_->ctx) != 1)
        throw Exception("SHA-256 failed");
    impl_->Start();
    return digest;
}

} // namespace oru::patch
