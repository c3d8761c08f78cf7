// The digest class runs on the CPU's SHA extensions where it has them, so the
// known digests prove that form; this holds the portable rounds against it.
#include "engine/Sha256Blocks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace oru::patch;

TEST(Sha256Blocks, PortableRoundsMatchTheHardwareOnes) {
    TSha256Blocks hardware = Sha256BlocksHardware();
    if (!hardware)
        GTEST_SKIP() << "this CPU has no SHA extensions";
    std::mt19937 rng(3);
    std::vector<uint8_t> data(64 * 40);
    for (auto& b : data)
        b = static_cast<uint8_t>(rng());
    for (size_t blocks : {1u, 2u, 3u, 17u, 40u}) {
        uint32_t portable[8], fast[8];
        for (int i = 0; i < 8; ++i)
            portable[i] = fast[i] = static_cast<uint32_t>(rng());
        Sha256BlocksPortable(portable, data.data(), blocks);
        hardware(fast, data.data(), blocks);
        EXPECT_EQ(0, std::memcmp(portable, fast, sizeof fast)) << blocks << " blocks";
    }
}
