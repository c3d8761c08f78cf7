#include "install/ConfigLookup.h"
#include "platform/PathUtilsX.h"

#include "support/Files.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <map>

namespace oru {
namespace {

using test::TScratch;

// The delimiter the platform adds to a folder that lacks one.
const std::string D = IncludeTrailingDelimiter("x", true).substr(1);

TEST(ConfigValueName, MapsKeysCaseSensitivelyWithNetworkPrefix) {
    EXPECT_EQ(ConfigValueName("EWS", false), "AMS_EWS");
    EXPECT_EQ(ConfigValueName("CONFIG", true), "NETWORK_AMS_CONFIG");
    EXPECT_EQ(ConfigValueName("ORU", false), "ORU_ADDR");
    EXPECT_EQ(ConfigValueName("AMSAPI", false), "AMS_API");
    EXPECT_EQ(ConfigValueName("NCOALINK00", true), "NETWORK_ORU_NCOALINK00");
    EXPECT_EQ(ConfigValueName("NCOALINK2", false), "ORU_NCOALINK2");
    EXPECT_EQ(ConfigValueName("ADDRESS1", false), "AMS_ADDRESS");
    // Unknown keys, including a known key in the wrong case, get no name and no prefix.
    EXPECT_EQ(ConfigValueName("ews", true), "");
    EXPECT_EQ(ConfigValueName("NOSUCH", true), "");
    EXPECT_EQ(ConfigValueName("", false), "");
}

class ConfigFileValueTest : public ::testing::Test {
  protected:
    TScratch dir{"cfg"};
    std::string Config(const std::string& content) { return dir.Write("z4config.dat", content); }
};

TEST_F(ConfigFileValueTest, FolderValueKeepsInnerBlanksAndIsNormalised) {
    auto file = Config("ZIP4 c:\\zip4\\\r\nEWS  c:\\data\\ews files  \r\nDPV c:\\dpv\\\r\n");
    EXPECT_EQ(ConfigFileValue(file, "EWS"), "C:\\DATA\\EWS FILES" + D);
    // A value that already ends in a delimiter does not get a second one.
    EXPECT_EQ(ConfigFileValue(file, "DPV"), "C:\\DPV\\");
    EXPECT_EQ(ConfigFileValue(file, "ZIP4"), "C:\\ZIP4\\");
}

TEST_F(ConfigFileValueTest, KeyLineMatchesIgnoringCaseAndFirstLineWins) {
    auto file = Config("# comment\n\tews\tc:\\x\nEWS c:\\second\n");
    EXPECT_EQ(ConfigFileValue(file, "EWS"), "C:\\X" + D);
    EXPECT_EQ(ConfigFileValue(file, "ews"), "C:\\X" + D);
}

TEST_F(ConfigFileValueTest, LineEndingsAndLastLineWithoutNewline) {
    EXPECT_EQ(ConfigFileValue(Config("A a\rB b\rEWS e"), "EWS"), "E" + D);
    EXPECT_EQ(ConfigFileValue(Config("A a\nEWS e\n"), "A"), "A" + D);
    EXPECT_EQ(ConfigFileValue(Config("A a\r\n\r\nEWS e\r\n"), "EWS"), "E" + D);
}

TEST_F(ConfigFileValueTest, SingleWordKeysTakeOnlyTheSecondWord) {
    auto file = Config("APPLICATION parcelon extra words\ncomputer  ws12 x\nADDR1SIZE 40 chars\n"
                       "ADDR3SIZE\n");
    EXPECT_EQ(ConfigFileValue(file, "APPLICATION"), "PARCELON");
    EXPECT_EQ(ConfigFileValue(file, "COMPUTER"), "WS12");
    EXPECT_EQ(ConfigFileValue(file, "ADDR1SIZE"), "40");
    EXPECT_EQ(ConfigFileValue(file, "ADDR3SIZE"), "");
    // The shape is chosen by the key as the caller wrote it: in lower case it is
    // an ordinary folder key, although the line still matches.
    EXPECT_EQ(ConfigFileValue(file, "application"), "PARCELON EXTRA WORDS" + D);
}

TEST_F(ConfigFileValueTest, NoValueGivesEmpty) {
    auto file = Config("EWS\nEWS2   \t \nDPV c:\\dpv\n");
    EXPECT_EQ(ConfigFileValue(file, "EWS"), "");  // key alone on its line
    EXPECT_EQ(ConfigFileValue(file, "EWS2"), ""); // only blanks after the key
    EXPECT_EQ(ConfigFileValue(file, "LACSLINK"), "");
    EXPECT_EQ(ConfigFileValue(Config(""), "EWS"), "");
    EXPECT_EQ(ConfigFileValue(dir.File("missing.dat"), "EWS"), "");
    EXPECT_EQ(ConfigFileValue(dir.Dir(), "EWS"), "");
}

TEST_F(ConfigFileValueTest, FileModeOfConfigValueReadsTheNamedFile) {
    auto file = Config("EWS c:\\e\n");
    EXPECT_EQ(ConfigValue(false, true, "ignored", file, "EWS"), "C:\\E" + D);
    EXPECT_EQ(ConfigValue(false, false, "", dir.File("none.dat"), "EWS"), "");
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
}

TEST_F(ConfigRegistryValueTest, BlankConfigFolderCountsAsUnsetAndValueIsReadAsStored) {
    values["AMS_CONFIG"] = "   ";
    values["AMS_EWS"] = " d:\\ews data";
    EXPECT_EQ(Lookup("EWS"), " d:\\ews data");
}

TEST_F(ConfigRegistryValueTest, NetworkFlagPrefixesBothNames) {
    values["AMS_EWS"] = "local";
    values["NETWORK_AMS_EWS"] = "net";
    EXPECT_EQ(Lookup("EWS", true), "net");
    EXPECT_EQ(reads, (std::vector<std::string>{"NETWORK_AMS_CONFIG", "NETWORK_AMS_EWS"}));

    dir.Write("z4config.dat", "EWS n:\\ews\n");
    values["NETWORK_AMS_CONFIG"] = dir.Dir();
    EXPECT_EQ(Lookup("EWS", true), "N:\\EWS" + D);
}

TEST_F(ConfigRegistryValueTest, ConfigFolderWithoutDelimiterFindsNoFile) {
    dir.Write("z4config.dat", "EWS c:\\e\n");
    values["AMS_CONFIG"] = dir.Root().string();
    values["AMS_EWS"] = "D:\\registry\\";
    EXPECT_EQ(Lookup("EWS"), "");
}

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
