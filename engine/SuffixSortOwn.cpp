// SuffixArray where the library is not available (the Windows build).
#include "engine/SuffixSort.h"

namespace oru::patch {

std::vector<int32_t> SuffixArray(const uint8_t* data, size_t size) {
    return OwnSuffixArray(data, size);
}

const char* SuffixSorterName() {
    return "built-in SA-IS";
}

} // namespace oru::patch
