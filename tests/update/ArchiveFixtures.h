// Update archives for the extraction tests, written with the package tool's ZIP
// writer; a member's CRC can be spoiled to make its extraction fail.
#pragma once

#include "orupack/ZipWriter.h"

#include <string>
#include <vector>

namespace oru::test {

struct TArchiveMember {
    std::string Extra;
    std::string Name;
    std::string Data;
    bool SpoilCrc = false;
};

void WriteArchive(const std::string& path, const std::vector<TArchiveMember>& members);

} // namespace oru::test
