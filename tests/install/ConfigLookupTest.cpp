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

// The registry rules over a fake Paths key.
class ConfigRegistryValueTest : public ::testing::Test {
  protected:
    TScratch dir{"cfgreg"};
    std::map<std::string, std::string> values;
    std::vector<std::string> reads;

    std::string Lookup(const std::string& key, bool network = false) {
        return ConfigRegistryValue(
            [this](const std::string& name) {
                reads.push_back(name);
                auto it = values.find(name);
                return it == values.end() ? std::string() : it->second;
            },
            network, key);
    }
};

TEST_F(ConfigRegistryValueTest, ConfigFolderRedirectsToItsFileAndIgnoresTheValue) {
    dir.Write("z4config.dat", "EWS  c:\\data\\ews files\n");
    values["AMS_CONFIG"] = dir.Dir();
    values["AMS_EWS"] = "D:\\registry\\";
    EXPECT_EQ(Lookup("EWS"), "C:\\DATA\\EWS FILES" + D);
    // Without an EWS line the registry value is still not consulted.
    dir.Write("z4config.dat", "DPV c:\\dpv\n");
    EXPECT_EQ(Lookup("EWS"), "");
    EXPECT_EQ(reads.back(), "AMS_CONFIG");
    // Nor is it when the folder lacks its delimiter and so names no file.
    values["AMS_CONFIG"] = dir.Root().string();
    EXPECT_EQ(Lookup("EWS"), "");
    // A blank folder counts as unset; the value is then read as stored.
    values["AMS_CONFIG"] = "   ";
    values["AMS_EWS"] = " d:\\ews data";
    EXPECT_EQ(Lookup("EWS"), " d:\\ews data");
}

TEST_F(ConfigRegistryValueTest, NetworkFlagPrefixesBothNames) {
    values["AMS_EWS"] = "local";
    values["NETWORK_AMS_EWS"] = "net";
    EXPECT_EQ(Lookup("EWS", true), "net");
    EXPECT_EQ(reads, (std::vector<std::string>{"NETWORK_AMS_CONFIG", "NETWORK_AMS_EWS"}));
}

// The config key itself is never redirected, and an unknown key reads the default value.
TEST_F(ConfigRegistryValueTest, ConfigKeyItselfAndUnknownKeysReadDirectly) {
    values["AMS_CONFIG"] = "c:\\cfg\\";
    values[""] = "default value";
    EXPECT_EQ(Lookup("CONFIG"), "c:\\cfg\\");
    EXPECT_EQ(reads, std::vector<std::string>{"AMS_CONFIG"});
    values.erase("AMS_CONFIG");
    EXPECT_EQ(Lookup("NOSUCH"), "default value");
}

} // namespace
} // namespace oru
