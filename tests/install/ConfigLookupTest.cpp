#include "install/ConfigLookup.h"
#include "platform/PathUtilsX.h"

#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <map>

namespace oru {
namespace {

using test::TScratch;

// The delimiter the platform adds to a folder that lacks one.
const std::string D = IncludeTrailingDelimiter("x", true).substr(1);

TEST(ConfigValueName, MapsKeysCaseSensitivelyWithNetworkPrefix) {
    const std::tuple<const char*, bool, const char*> rows[] = {
        {"EWS", false, "AMS_EWS"}, {"NCOALINK00", true, "NETWORK_ORU_NCOALINK00"}, {"NCOALINK2", false, "ORU_NCOALINK2"},
        // Unknown keys, including a known key in the wrong case, get no name and no prefix.
        {"ews", true, ""},               {"", false, ""},
    };
    for (const auto& [key, network, name] : rows)
        EXPECT_EQ(ConfigValueName(key, network), name) << key;
}

// Each row: the file's text, the key asked for and the value found.
TEST(ConfigFileValue, ReadsTheFirstLineOfTheKeyAsAnUpperCaseFolderOrAWord) {
    const std::tuple<const char*, const char*, std::string> rows[] = {
        // Inner blanks stay; a delimiter is added once.
        {"ZIP4 c:\\zip4\\\r\nEWS  c:\\data\\ews files  \r\n", "EWS", "C:\\DATA\\EWS FILES" + D},
        {"DPV c:\\dpv\\\r\n", "DPV", "C:\\DPV\\"},
        // The key matches in any case and the first line wins, after any line ending.
        {"# comment\n\tews\tc:\\x\nEWS c:\\second\n", "EWS", "C:\\X" + D},
        {"# comment\n\tEWS\tc:\\x\n", "ews", "C:\\X" + D},
        {"A a\rB b\rEWS e", "EWS", "E" + D},
        {"A a\r\n\r\nEWS e\r\n", "EWS", "E" + D},
        // Single-word keys take only the second word; the shape is chosen by the
        // key as the caller wrote it.
        {"APPLICATION parcelon extra words\n", "APPLICATION", "PARCELON"},
        {"computer  ws12 x\n", "COMPUTER", "WS12"},
        {"ADDR1SIZE 40 chars\n", "ADDR1SIZE", "40"},
        {"ADDR3SIZE\n", "ADDR3SIZE", ""},
        {"APPLICATION parcelon extra words\n", "application", "PARCELON EXTRA WORDS" + D},
        // No value.
        {"EWS\nDPV c:\\dpv\n", "EWS", ""},
        {"EWS2   \t \n", "EWS2", ""},
        {"EWS c:\\e\n", "LACSLINK", ""},
        {"", "EWS", ""},
    };
    TScratch dir{"cfg"};
    for (const auto& [text, key, value] : rows)
        EXPECT_EQ(ConfigFileValue(dir.Write("z4config.dat", text), key), value) << text;
    EXPECT_EQ(ConfigFileValue(dir.File("missing.dat"), "EWS"), "");
    EXPECT_EQ(ConfigFileValue(dir.Dir(), "EWS"), "");
    // The file mode of ConfigValue reads the named file.
    EXPECT_EQ(ConfigValue(false, true, "ignored", dir.Write("z4config.dat", "EWS c:\\e\n"), "EWS"), "C:\\E" + D);
}

// The registry rules over a fake Paths key: each row gives the stored values, the
// key asked for, the value found and the names read on the way.
TEST(ConfigRegistryValue, TheConfigFolderRedirectsToItsFileElseTheValueIsReadAsStored) {
    TScratch withEws{"cfgreg"}, withoutEws{"cfgreg2"};
    withEws.Write("z4config.dat", "EWS  c:\\data\\ews files\n");
    withoutEws.Write("z4config.dat", "DPV c:\\dpv\n");
    using Values = std::map<std::string, std::string>;
    using Names = std::vector<std::string>;
    const std::string registry = "D:\\registry\\";
    const std::tuple<Values, const char*, bool, std::string, Names> rows[] = {
        {{{"AMS_CONFIG", withEws.Dir()}, {"AMS_EWS", registry}}, "EWS", false, "C:\\DATA\\EWS FILES" + D,
         {"AMS_CONFIG"}},
        // Without an EWS line, or when the folder lacks its delimiter and so names
        // no file, the registry value is still not consulted.
        {{{"AMS_CONFIG", withoutEws.Dir()}, {"AMS_EWS", registry}}, "EWS", false, "", {"AMS_CONFIG"}},
        {{{"AMS_CONFIG", withEws.Root().string()}, {"AMS_EWS", registry}}, "EWS", false, "", {"AMS_CONFIG"}},
        // A blank folder counts as unset.
        {{{"AMS_CONFIG", "   "}, {"AMS_EWS", " d:\\ews data"}}, "EWS", false, " d:\\ews data",
         {"AMS_CONFIG", "AMS_EWS"}},
        {{{"AMS_EWS", "local"}, {"NETWORK_AMS_EWS", "net"}}, "EWS", true, "net",
         {"NETWORK_AMS_CONFIG", "NETWORK_AMS_EWS"}},
        // The config key itself is never redirected; an unknown key reads the default value.
        {{{"AMS_CONFIG", "c:\\cfg\\"}}, "CONFIG", false, "c:\\cfg\\", {"AMS_CONFIG"}},
        {{{"", "default value"}}, "NOSUCH", false, "default value", {"AMS_CONFIG", ""}},
    };
    for (const auto& [values, key, network, expected, names] : rows) {
        Names reads;
        const auto read = [&values = values, &reads](const std::string& name) {
            reads.push_back(name);
            const auto it = values.find(name);
            return it == values.end() ? std::string() : it->second;
        };
        EXPECT_EQ(ConfigRegistryValue(read, network, key), expected) << key << " " << expected;
        EXPECT_EQ(reads, names) << key << " " << expected;
    }
}

} // namespace
} // namespace oru
