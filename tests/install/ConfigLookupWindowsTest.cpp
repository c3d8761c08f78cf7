#include <windows.h>

#include "install/ConfigLookup.h"

#include "RegistryProduct.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

namespace oru {
namespace {

using test::TTempFolder;
using test::TTestProduct;

// The registry mode against the product's real Paths key.
TEST(ConfigValueRegistry, FollowsConfigFolderOrReadsTheValue) {
    TTestProduct product;
    TTempFolder dir("cfgwin");
    dir.Write("z4config.dat", "EWS  c:\\data\\ews files\r\n");
    product.Set("NETWORK_AMS_EWS", "n:\\ews\\");
    product.Set("AMS_EWS", "d:\\ews");
    product.Set("AMS_CONFIG", dir.Folder());

    EXPECT_EQ(ConfigValue(true, false, product.Name(), "", "EWS"), "C:\\DATA\\EWS FILES\\");
    // The network names have no configuration folder, so the value is read as stored.
    EXPECT_EQ(ConfigValue(true, true, product.Name(), "", "EWS"), "n:\\ews\\");
    EXPECT_EQ(ConfigValue(true, false, product.Name(), "", "CONFIG"), dir.Folder());

    product.Set("AMS_CONFIG", "  ");
    EXPECT_EQ(ConfigValue(true, false, product.Name(), "", "EWS"), "d:\\ews");
    product.Set("AMS_EWS", "%TEMP%", REG_EXPAND_SZ);
    EXPECT_EQ(ConfigValue(true, false, product.Name(), "", "EWS"), "");
}

TEST(ConfigValueRegistry, MissingProductKeyIsCreatedAndGivesEmpty) {
    TTestProduct product;
    EXPECT_EQ(ConfigValue(true, false, product.Name(), "", "EWS"), "");
    EXPECT_TRUE(product.KeyExists());
}

} // namespace
} // namespace oru
