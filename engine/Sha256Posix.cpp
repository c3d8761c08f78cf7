// SHA-256 through OpenSSL's libcrypto (EVP interface).
#include "engine/Sha256X.h"

#include "platform/SysUtils.h"

#include <openssl/evp.h>

namespace oru::patch {

struct TSha256::TImpl {
    EVP_MD_CTX* ctx = nullptr;
    ~TImpl() { EVP_MD_CTX_free(ctx); }
    void Start() {
        if (EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1)
            throw Exception("SHA-256 could not be started");
    }
};

TSha256::TSha256() : impl_(std::make_unique<TImpl>()) {
    impl_->ctx = EVP_MD_CTX_new();
    if (!impl_->ctx)
        throw Exception("SHA-256 could not be started");
    impl_->Start();
}

TSha256::~TSha256() = default;

void TSha256::Update(const void* data, size_t size) {
    if (size && EVP_DigestUpdate(impl_->ctx, data, size) != 1)
        throw Exception("SHA-256 failed");
}

TSha256Digest TSha256::Final() {
    TSha256Digest digest{};
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(impl_->ctx, digest.data(), &len) != 1 || len != digest.size())
        throw Exception("SHA-256 failed");
    impl_->Start();
    return digest;
}

} // namespace oru::patch
