// Our vectorised Adler-32 against zlib's, across the lengths where its block and
// tail handling change and from running (non-initial) values.
#include "engine/vcdiff/Adler32.h"
#include "VcdiffTestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace oru::vcdiff::test {
namespace {

TEST(VcdiffAdler32, MatchesZlib) {
    Bytes data = RandomBytes(70000, 81);
    Bytes ones(70000, 0xFF); // the largest sums: overflow shows here first
    for (const Bytes* b : {&data, &ones})
        for (size_t n : {0u, 1u, 15u, 16u, 17u, 5551u, 5552u, 5553u, 5568u, 11104u, 65536u, 70000u}) {
            uint32_t z = static_cast<uint32_t>(adler32(1, b->data(), static_cast<uInt>(n)));
            EXPECT_EQ(z, Adler32(b->data(), n)) << n;
            // Continuing from a value with both halves near the modulus.
            uint32_t start = (65520u << 16) | 65519u;
            EXPECT_EQ(static_cast<uint32_t>(adler32(start, b->data(), static_cast<uInt>(n))), Adler32(start, b->data(), n))
                << n;
        }
}

} // namespace
} // namespace oru::vcdiff::test
