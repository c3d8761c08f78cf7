// SuffixArray through libdivsufsort, which is several times faster than our own.
#include "engine/SuffixSort.h"

#include "platform/SysUtils.h"

#include <divsufsort.h>

namespace oru::patch {

std::vector<int32_t> SuffixArray(const uint8_t* data, size_t size) {
    std::vector<int32_t> sa(size);
    if (size && divsufsort(data, sa.data(), static_cast<saidx_t>(size)) != 0)
        throw Exception("Sorting the suffixes of the old file failed");
    return sa;
}

const char* SuffixSorterName() {
    return "libdivsufsort";
}

} // namespace oru::patch
