// Where the build put the archives written by independent writers, and the public
// corpora; both with a trailing delimiter.
#pragma once

#include "support/Files.h"
#include "support/Scratch.h"
#include "support/TestArchive.h"

#include <string>

namespace oru::test {

inline std::string FixtureDir() { return ORU_ARCHIVE_FIXTURES; }
inline std::string CorporaDir() { return ORU_CORPORA_DIR; }

} // namespace oru::test
