// SHA-256 computed here rather than by a system library: loading libcrypto and
// setting it up cost more than hashing the files of a typical patch, and the
// engine hashes every old and new file. Where the CPU has the SHA extensions
// (x86 since Goldmont and Zen) the compression runs on them; elsewhere on the
// portable rounds below, which the tests compare with the hardware ones.
#include "engine/Sha256Blocks.h"
#include "engine/Sha256X.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define ORU_SHA_X86 1
#endif

namespace oru::patch {

namespace {

constexpr uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr uint32_t Rotr(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

#ifdef ORU_SHA_X86
// Two rounds per sha256rnds2; the state lives as ABEF and CDGH halves, and the
// message schedule advances four words at a time with sha256msg1/msg2.
__attribute__((target("sha,sse4.1"))) void Sha256BlocksShaNi(uint32_t state[8], const uint8_t* blocks,
                                                              size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; count; --count, blocks += 64) {
        const __m128i abefSaved = abef, cdghSaved = cdgh;
        __m128i w[4];
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group) {
            __m128i& m = w[group & 3];
            if (group < 4) {
                m = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * group)),
                                     byteSwap);
            } else {
                const __m128i& prev = w[(group - 1) & 3];
                __m128i sum = _mm_add_epi32(_mm_sha256msg1_epu32(m, w[(group - 3) & 3]),
                                            _mm_alignr_epi8(prev, w[(group - 2) & 3], 4));
                m = _mm_sha256msg2_epu32(sum, prev);
            }
            __m128i wk = _mm_add_epi32(m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(K + 4 * group)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
        }
        abef = _mm_add_epi32(abef, abefSaved);
        cdgh = _mm_add_epi32(cdgh, cdghSaved);
    }

    __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}
#endif

} // namespace

void Sha256BlocksPortable(uint32_t state[8], const uint8_t* blocks, size_t count) {
    for (; count; --count, blocks += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(blocks[4 * i]) << 24 | uint32_t(blocks[4 * i + 1]) << 16 |
                   uint32_t(blocks[4 * i + 2]) << 8 | blocks[4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i];
            uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
        state[4] += e, state[5] += f, state[6] += g, state[7] += h;
    }
}

TSha256Blocks Sha256BlocksHardware() {
#ifdef ORU_SHA_X86
    unsigned a, b, c, d;
    // SHA extensions (leaf 7, EBX bit 29) with the SSSE3 and SSE4.1 they lean on.
    if (__get_cpuid(1, &a, &b, &c, &d) && (c & bit_SSSE3) && (c & bit_SSE4_1) &&
        __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & (1u << 29)))
        return Sha256BlocksShaNi;
#endif
    return nullptr;
}

struct TSha256::TImpl {
    uint32_t state[8];
    uint8_t pending[64];
    size_t pendingSize;
    uint64_t total;
    void Start() {
        std::memcpy(state, kInitial, sizeof state);
        pendingSize = 0;
        total = 0;
    }
};

namespace {
void CompressBlocks(uint32_t state[8], const uint8_t* blocks, size_t count) {
    // Asked once: under a hypervisor CPUID is a trap.
    static const TSha256Blocks chosen = [] {
        TSha256Blocks hardware = Sha256BlocksHardware();
        return hardware ? hardware : Sha256BlocksPortable;
    }();
    chosen(state, blocks, count);
}
} // namespace

TSha256::TSha256() : impl_(std::make_unique<TImpl>()) { impl_->Start(); }

TSha256::~TSha256() = default;

void TSha256::Update(const void* data, size_t size) {
    TImpl& s = *impl_;
    auto* p = static_cast<const uint8_t*>(data);
    s.total += size;
    if (s.pendingSize) {
        size_t take = std::min(size, sizeof s.pending - s.pendingSize);
        std::memcpy(s.pending + s.pendingSize, p, take);
        s.pendingSize += take;
        p += take;
        size -= take;
        if (s.pendingSize < sizeof s.pending)
            return;
        CompressBlocks(s.state, s.pending, 1);
        s.pendingSize = 0;
    }
    if (size_t whole = size / 64) {
        CompressBlocks(s.state, p, whole);
        p += whole * 64;
        size -= whole * 64;
    }
    std::memcpy(s.pending, p, size);
    s.pendingSize = size;
}

TSha256Digest TSha256::Final() {
    TImpl& s = *impl_;
    uint64_t bits = s.total * 8;
    uint8_t tail[128] = {};
    std::memcpy(tail, s.pending, s.pendingSize);
    tail[s.pendingSize] = 0x80;
    size_t tailSize = s.pendingSize < 56 ? 64 : 128;
    for (int i = 0; i < 8; ++i)
        tail[tailSize - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    CompressBlocks(s.state, tail, tailSize / 64);
    TSha256Digest digest;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<uint8_t>(s.state[i] >> (24 - 8 * j));
    s.Start();
    return digest;
}

} // namespace oru::patch
