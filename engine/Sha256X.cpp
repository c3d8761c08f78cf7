// The platform-neutral helpers around the digest class.
#include "engine/Sha256X.h"

namespace oru::patch {

TSha256Digest TSha256::Of(const void* data, size_t size) {
    TSha256 sha;
    sha.Update(data, size);
    return sha.Final();
}

std::string DigestToHex(const TSha256Digest& digest) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(digest.size() * 2);
    for (uint8_t b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

} // namespace oru::patch
