#include "install/FindOruPath.h"

namespace oru {

TFindOruPath::TFindOruPath() = default;
TFindOruPath::~TFindOruPath() = default;

uint8_t TFindOruPath::AskInstallation() {
    return 1;
}

void TFindOruPath::FindPaths() {}

} // namespace oru
