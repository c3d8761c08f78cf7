// The settings store against the registry of the test's private Wine prefix, on
// product keys of the tests' own.
#include <windows.h>

#include "platform/SoftReg.h"

#include "support/RegistryKey.h"

#include <gtest/gtest.h>

using namespace oru;
using oru::test::TTestProduct;

TEST(SoftReg, ReadsOnlyPlainStrings) {
    TTestProduct product;
    product.Set("ORU_PATH", "C:\\Apps\\Parcelon\\");
    product.Set("Expand", "%WINDIR%\\x", REG_EXPAND_SZ);
    product.Set("Number", "abc", REG_DWORD);
    product.Set("Embedded", std::string("ab\0cd", 5));
    product.Set("Empty", "");
    TSoftReg store("Oru Software", product.Name());
    EXPECT_FALSE(store.OpenKey(nullptr, "Paths", false)); // no scope chosen yet
    store.SetScope(TSoftReg::ScopeLocalMachine);
    TRegKey key = store.OpenKey(nullptr, "Paths", false);
    ASSERT_TRUE(key);
    // A value stored without its terminating zero is read whole all the same.
    ASSERT_EQ(::RegSetValueExA(key.Get(), "Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("xyz"), 3), ERROR_SUCCESS);
    const std::pair<const char*, const char*> rows[] = {
        {"ORU_PATH", "C:\\Apps\\Parcelon\\"}, {"Expand", "def"}, {"Number", "def"}, {"Embedded", "ab"},
        {"Unterminated", "xyz"},              {"Empty", ""},     {"Missing", "def"},
    };
    for (const auto& [name, value] : rows)
        EXPECT_EQ(store.ReadString(key.Get(), name, "def"), value) << name;
    // No key: the store's own key, where the value does not live.
    EXPECT_EQ(store.ReadString(nullptr, "ORU_PATH", "def"), "def");
}

TEST(SoftReg, AMissingKeyIsMadeOnlyWhenAsked) {
    TTestProduct product;
    TSoftReg store("Oru Software", product.Name());
    store.SetScope(TSoftReg::ScopeLocalMachine);
    EXPECT_FALSE(store.OpenKey(nullptr, "Paths", false));
    TRegKey made = store.OpenKey(nullptr, "Paths", true);
    EXPECT_TRUE(made);
    EXPECT_TRUE(product.KeyExists());
}

// Nothing in the program changes the names or handles the open: one case each.
TEST(SoftReg, ChangingANameClosesTheKeyAndTheHandlerMaySupplyOrRefuseIt) {
    TTestProduct first, second;
    second.Set("Which", "second");
    auto which = [](TSoftReg& store) {
        TRegKey paths = store.OpenKey(nullptr, "Paths", false);
        return store.ReadString(paths.Get(), "Which", "");
    };
    TSoftReg store("Oru Software", first.Name());
    store.SetScope(TSoftReg::ScopeLocalMachine);
    store.SetProduct(second.Name());
    EXPECT_EQ(store.Key(), nullptr);
    store.SetScope(TSoftReg::ScopeLocalMachine);
    EXPECT_EQ(which(store), "second");

    // The handler answers the local-machine scope with the second product's key.
    TSoftReg handled("Oru Software", first.Name());
    std::vector<int> scopes;
    handled.OnOpenKey = [&](TSoftReg&, uint8_t scope, bool& allow, TRegKeyHandle& key) {
        scopes.push_back(scope);
        allow = false;
        if (scope == TSoftReg::ScopeLocalMachine) {
            HKEY k = nullptr;
            ::RegOpenKeyA(HKEY_LOCAL_MACHINE, (oru::test::kCompanyKey + second.Name()).c_str(), &k);
            key = k;
        }
    };
    handled.SetScope(TSoftReg::ScopeLocalMachine);
    EXPECT_EQ(which(handled), "second");
    handled.SetScope(TSoftReg::ScopeCurrentUser);
    EXPECT_EQ(handled.Key(), nullptr);
    EXPECT_EQ(scopes, (std::vector<int>{1, 2}));
}
