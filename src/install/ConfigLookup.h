// Where a data set of the address products lives (ZIP+4, EWS, DPV and others):
// a registry value under the product's Paths key or, when a configuration folder
// is named there, a line of the file "z4config.dat" in that folder. Lookups never
// raise; any failure gives an empty answer and the caller decides what that means.
#pragma once

#include <functional>
#include <string>

namespace oru {

// Registry value name of a configuration key ("EWS" -> "AMS_EWS"); keys compare
// case-sensitively. The network form carries "NETWORK_" in front. Unknown keys
// give an empty name, without the prefix.
std::string ConfigValueName(const std::string& key, bool network);

// useRegistry: look in the product's Paths key (following a configuration folder
// to its z4config.dat); otherwise read configFile directly.
std::string ConfigValue(bool useRegistry, bool network, const std::string& product,
                        const std::string& configFile, const std::string& key);

// ---- The pieces behind ConfigValue ----

// The value of key in a z4config.dat-style file; empty when the file cannot be
// read or has no line for the key.
std::string ConfigFileValue(const std::string& configFile, const std::string& key);

// Reads one value of the open Paths key as stored; empty when it is missing.
using TPathsValueReader = std::function<std::string(const std::string& valueName)>;

// The registry mode's rules over an already opened Paths key.
std::string ConfigRegistryValue(const TPathsValueReader& readValue, bool network,
                                const std::string& key);

// Opens the product's Paths key and applies ConfigRegistryValue; the platform
// half decides where the key lives (no registry: always empty).
std::string ConfigValueFromRegistry(bool network, const std::string& product,
                                    const std::string& key);

} // namespace oru
