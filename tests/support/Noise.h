// Deterministic pseudo-random bytes, so deltas have something to find and their
// sizes can be pinned. Out is std::string or a byte vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace oru::test {

template <class Out = std::string>
Out Noise(size_t size, uint32_t seed, unsigned alphabet = 256) {
    std::mt19937 rng(seed);
    Out out(size, 0);
    for (auto& c : out)
        c = static_cast<typename Out::value_type>(rng() % alphabet);
    return out;
}

} // namespace oru::test
