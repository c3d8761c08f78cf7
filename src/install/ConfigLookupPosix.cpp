// Without a registry there is no Paths key to read.
#include "install/ConfigLookup.h"

namespace oru {

std::string ConfigValueFromRegistry(bool, const std::string&, const std::string&) {
    return {};
}

} // namespace oru
