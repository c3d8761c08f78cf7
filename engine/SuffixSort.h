// Suffix arrays for the difference delta's matcher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace oru::patch {

// The starting positions of all suffixes of data in lexicographic order (a shorter
// suffix before the longer ones it begins). size must be below 2^31.
// The build picks the implementation: a system library where there is one, else ours.
std::vector<int32_t> SuffixArray(const uint8_t* data, size_t size);

// Our own (SA-IS, linear time), for builds without the library.
std::vector<int32_t> OwnSuffixArray(const uint8_t* data, size_t size);

// Which of the two SuffixArray uses, for the tool's help.
const char* SuffixSorterName();

} // namespace oru::patch
