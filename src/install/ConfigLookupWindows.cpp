#include <windows.h>

#include "install/ConfigLookup.h"

#include "install/ProductCatalogue.h"
#include "platform/SoftReg.h"

namespace oru {

std::string ConfigValueFromRegistry(bool network, const std::string& product,
                                    const std::string& key) {
    TSoftReg store(CompanyName(), product);
    store.SetScope(TSoftReg::ScopeLocalMachine);
    TRegKey paths = store.OpenKey(nullptr, "Paths", true);
    std::string result;
    // Without the Paths key a read would fall back to the product key itself.
    if (paths) {
        try {
            result = ConfigRegistryValue(
                [&](const std::string& valueName) {
                    return store.ReadString(paths.Get(), valueName, "");
                },
                network, key);
        } catch (...) {
            result.clear();
        }
    }
    TSoftReg::CloseKey(paths);
    store.CloseScopeKey();
    return result;
}

} // namespace oru
