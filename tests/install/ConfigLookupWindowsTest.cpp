#include <windows.h>

#include "install/ConfigLookup.h"

#include "support/RegistryKey.h"
#include "support/Files.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

namespace oru {
namespace {

using test::TScratch;
using test::TTestProduct;

// The registry mode against the product's real Paths key; the rules themselves
// are covered with a fake key in the neutral tests.
TEST(ConfigValueRegistry, ReadsThePathsKeyAndFollowsTheConfigFolder) {
    TTestProduct product;
    EXPECT_EQ(ConfigValue(true, false, product.Name(), "", "EWS"), "");
    EXPECT_TRUE(product.KeyExists());

    TScratch dir("cfgwin");
    dir.Write("z4config.dat", "EWS  c:\\data\\ews files\r\n");
    product.Set("NETWORK_AMS_EWS", "n:\\ews\\");
    product.Set("AMS_CONFIG", dir.Dir());
    EXPECT_EQ(ConfigValue(true, false, product.Name(), "", "EWS"), "C:\\DATA\\EWS FILES\\");
    EXPECT_EQ(ConfigValue(true, true, product.Name(), "", "EWS"), "n:\\ews\\");
}

} // namespace
} // namespace oru
