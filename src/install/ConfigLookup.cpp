#include "install/ConfigLookup.h"

#include "platform/Files.h"
#include "platform/PathUtilsX.h"
#include "platform/StStrL.h"
#include "platform/SysUtils.h"

#include <array>
#include <string_view>
#include <utility>

namespace oru {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 29> kValueNames{{
    {"CONFIG", "AMS_CONFIG"},
    {"ORU", "ORU_ADDR"},
    {"ADDRESS1", "AMS_ADDRESS"},
    {"ADDRINDEX", "AMS_ADDRINDEX"},
    {"CITYSTATE", "AMS_CITYSTATE"},
    {"CROSSREF", "AMS_CROSSREF"},
    {"LTRAVEL", "ORU_LTRAVEL"},
    {"SYSTEM", "AMS_SYSTEM"},
    {"EWS", "AMS_EWS"},
    {"DPV", "AMS_DPV"},
    {"RDI", "ORU_RDI"},
    {"LATLON", "ORU_LATLON"},
    {"DATA", "ORU_DATA"},
    {"AMSAPI", "AMS_API"},
    {"NCOALINK2", "ORU_NCOALINK2"},
    {"FSP", "ORU_FSP"},
    {"FSP2", "ORU_FSP2"},
    {"ANK", "ORU_ANK"},
    {"ANK2", "ORU_ANK2"},
    {"LSP", "ORU_LSP"},
    {"LSP2", "ORU_LSP2"},
    {"NCOALINK00", "ORU_NCOALINK00"},
    {"LACSLINK", "ORU_LACSLINK"},
    {"SUITELINK", "ORU_SUITELINK"},
    {"DMA", "ORU_DMA"},
    {"DSF2", "ORU_DSF2"},
    {"COALERT", "ORU_COALERT"},
    {"COALERT2", "ORU_COALERT2"},
    {"NCOALINK", "ORU_NCOALINK"},
}};

// Keys whose value is a single word (names and sizes), not a folder that may
// contain blanks.
constexpr std::array<std::string_view, 5> kSingleWordKeys{"APPLICATION", "COMPUTER", "ADDR1SIZE",
                                                          "ADDR2SIZE", "ADDR3SIZE"};

const std::string kWordDelims = " \t";
const std::string kConfigFileName = "z4config.dat";

// Splits a stream into lines ending in CR LF, LF or a lone CR.
class TLineReader {
  public:
    explicit TLineReader(TStream& stream) : stream_(stream) {}

    bool ReadLine(std::string& line) {
        line.clear();
        bool any = false;
        for (;;) {
            if (pos_ == len_ && !Fill())
                return any;
            char c = buffer_[pos_++];
            any = true;
            if (c == '\n')
                return true;
            if (c == '\r') {
                if ((pos_ < len_ || Fill()) && buffer_[pos_] == '\n')
                    ++pos_;
                return true;
            }
            line.push_back(c);
        }
    }

  private:
    bool Fill() {
        len_ = stream_.Read(buffer_.data(), static_cast<int32_t>(buffer_.size()));
        pos_ = 0;
        if (len_ < 0)
            throw EReadError();
        return len_ > 0;
    }

    TStream& stream_;
    std::array<char, 4096> buffer_{};
    int32_t pos_ = 0;
    int32_t len_ = 0;
};

bool IsSingleWordKey(const std::string& key) {
    for (auto k : kSingleWordKeys)
        if (key == k)
            return true;
    return false;
}

} // namespace

std::string ConfigValueName(const std::string& key, bool network) {
    for (const auto& [k, name] : kValueNames)
        if (key == k)
            return (network ? "NETWORK_" : "") + std::string(name);
    return {};
}

std::string ConfigFileValue(const std::string& configFile, const std::string& key) {
    try {
        // Deny-write sharing: the products rewrite this file while they run.
        TFile file(configFile, fmOpenRead | fmShareDenyWrite);
        TLineReader reader(file);
        std::string line;
        while (reader.ReadLine(line)) {
            if (!SameText(ExtractWord(1, line, kWordDelims), key))
                continue;
            if (IsSingleWordKey(key))
                return UpperCase(Trim(ExtractWord(2, line, kWordDelims)));
            size_t pos = 0;
            if (!WordPosition(2, line, kWordDelims, pos))
                return {};
            return UpperCase(IncludeTrailingDelimiter(Trim(line.substr(pos - 1)), true));
        }
    } catch (...) {
        // A missing or unreadable file is an answer like any other: no folder.
    }
    return {};
}

std::string ConfigRegistryValue(const TPathsValueReader& readValue, bool network,
                                const std::string& key) {
    if (key != "CONFIG") {
        // The configuration folder is used as stored: it is expected to end in a
        // delimiter, and the file name is glued on directly.
        std::string configFolder = readValue(ConfigValueName("CONFIG", network));
        if (!Trim(configFolder).empty())
            return ConfigFileValue(configFolder + kConfigFileName, key);
    }
    return readValue(ConfigValueName(key, network));
}

std::string ConfigValue(bool useRegistry, bool network, const std::string& product,
                        const std::string& configFile, const std::string& key) {
    try {
        if (useRegistry)
            return ConfigValueFromRegistry(network, product, key);
        return ConfigFileValue(configFile, key);
    } catch (...) {
        return {};
    }
}

} // namespace oru
