#include "Adler32.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace oru::vcdiff {

namespace {

constexpr uint32_t kBase = 65521;
// Most bytes between reductions that keep every sum within 32 bits (as zlib's NMAX).
constexpr size_t kMaxRun = 5552;

#if defined(__SSE2__)
// Sixteen bytes a step: the byte sum from SAD, and s2's share of the step from the
// bytes weighted by how many times each is added (16 for the first, 1 for the last).
void Blocks(uint64_t& s1, uint64_t& s2, const uint8_t*& p, size_t chunks) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i firstWeights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i secondWeights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    __m128i bytes = zero, prefix = zero, weighted = zero;
    for (size_t c = 0; c < chunks; ++c, p += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        prefix = _mm_add_epi32(prefix, bytes);
        bytes = _mm_add_epi32(bytes, _mm_sad_epu8(v, zero));
        __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), firstWeights);
        __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), secondWeights);
        weighted = _mm_add_epi32(weighted, _mm_add_epi32(lo, hi));
    }
    alignas(16) uint32_t b[4], pr[4], w[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(b), bytes);
    _mm_store_si128(reinterpret_cast<__m128i*>(pr), prefix);
    _mm_store_si128(reinterpret_cast<__m128i*>(w), weighted);
    s2 += s1 * 16 * chunks + 16 * (uint64_t(pr[0]) + pr[1] + pr[2] + pr[3]) +
          (uint64_t(w[0]) + w[1] + w[2] + w[3]);
    s1 += uint64_t(b[0]) + b[1] + b[2] + b[3];
}
#else
void Blocks(uint64_t& s1, uint64_t& s2, const uint8_t*& p, size_t chunks) {
    for (size_t n = chunks * 16; n > 0; --n) {
        s1 += *p++;
        s2 += s1;
    }
}
#endif

} // namespace

uint32_t Adler32(uint32_t adler, const uint8_t* p, size_t n) {
    uint64_t s1 = adler & 0xFFFF, s2 = adler >> 16;
    while (n >= 16) {
        size_t chunks = (n < kMaxRun ? n : kMaxRun) / 16;
        Blocks(s1, s2, p, chunks);
        s1 %= kBase;
        s2 %= kBase;
        n -= chunks * 16;
    }
    while (n-- > 0) {
        s1 += *p++;
        s2 += s1;
    }
    s1 %= kBase;
    s2 %= kBase;
    return static_cast<uint32_t>(s2 << 16 | s1);
}

} // namespace oru::vcdiff
