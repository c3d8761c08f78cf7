// The settings store against the registry of the test's private Wine prefix. Each
// test works below a product key of its own and removes it afterwards.
#include <windows.h>

#include "platform/SoftReg.h"

#include <gtest/gtest.h>

using namespace oru;

namespace {

class SoftRegTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        product = std::string("PlatformTest ") + info->name() + " " +
                  std::to_string(::GetCurrentProcessId());
    }
    void TearDown() override {
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            ::RegDeleteTreeA(hive, Path(product).c_str());
            ::RegDeleteKeyA(hive, Path(product).c_str());
            ::RegDeleteTreeA(hive, Path(product + " other").c_str());
            ::RegDeleteKeyA(hive, Path(product + " other").c_str());
        }
    }
    static std::string Path(const std::string& productName, const std::string& below = "") {
        return "Software\\Oru Software\\" + productName + (below.empty() ? "" : "\\" + below);
    }
    static void Put(HKEY hive, const std::string& key, const char* name, DWORD type,
                    const void* data, DWORD size) {
        HKEY k = nullptr;
        ASSERT_EQ(::RegCreateKeyA(hive, key.c_str(), &k), ERROR_SUCCESS);
        TRegKey owned(k);
        EXPECT_EQ(::RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }
    static void PutText(HKEY hive, const std::string& key, const char* name,
                        const std::string& text, DWORD type = REG_SZ) {
        Put(hive, key, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    std::string product;
};

} // namespace

TEST_F(SoftRegTest, ReadsOnlyPlainStrings) {
    PutText(HKEY_LOCAL_MACHINE, Path(product, "Paths"), "ORU_PATH", "C:\\Apps\\Parcelon\\");
    PutText(HKEY_LOCAL_MACHINE, Path(product, "Paths"), "Expand", "%WINDIR%\\x", REG_EXPAND_SZ);
    DWORD number = 42;
    Put(HKEY_LOCAL_MACHINE, Path(product, "Paths"), "Number", REG_DWORD, &number, sizeof number);
    Put(HKEY_LOCAL_MACHINE, Path(product, "Paths"), "Embedded", REG_SZ, "ab\0cd", 6);
    Put(HKEY_LOCAL_MACHINE, Path(product, "Paths"), "Unterminated", REG_SZ, "xyz", 3);
    PutText(HKEY_LOCAL_MACHINE, Path(product, "Paths"), "Empty", "");

    TSoftReg store("Oru Software", product);
    store.SetScope(TSoftReg::ScopeLocalMachine);
    ASSERT_NE(store.Key(), nullptr);
    TRegKey paths = store.OpenKey(nullptr, "Paths", false);
    ASSERT_TRUE(paths);
    EXPECT_EQ(::GetLastError(), 0u);
    EXPECT_EQ(store.ReadString(paths.Get(), "ORU_PATH", "def"), "C:\\Apps\\Parcelon\\");
    EXPECT_EQ(store.ReadString(paths.Get(), "Expand", "def"), "def");
    EXPECT_EQ(store.ReadString(paths.Get(), "Number", "def"), "def");
    EXPECT_EQ(store.ReadString(paths.Get(), "Embedded", "def"), "ab");
    EXPECT_EQ(store.ReadString(paths.Get(), "Unterminated", "def"), "xyz");
    EXPECT_EQ(store.ReadString(paths.Get(), "Empty", "def"), "");
    EXPECT_EQ(store.ReadString(paths.Get(), "Missing", "def"), "def");
    // No key: the store's own key, where the value does not live.
    EXPECT_EQ(store.ReadString(nullptr, "ORU_PATH", "def"), "def");
    TSoftReg::CloseKey(paths);
    EXPECT_FALSE(paths);
}

TEST_F(SoftRegTest, MissingKeysGiveTheDefault) {
    TSoftReg store("Oru Software", product);
    EXPECT_EQ(store.ReadString(nullptr, "ORU_PATH", "def"), "def"); // nothing open yet
    TRegKey none = store.OpenKey(nullptr, "Paths", false);
    EXPECT_FALSE(none);
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_INVALID_HANDLE));

    store.SetScope(TSoftReg::ScopeLocalMachine);
    none = store.OpenKey(nullptr, "Paths", false);
    EXPECT_FALSE(none);
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    TRegKey made = store.OpenKey(nullptr, "Paths", true);
    EXPECT_TRUE(made);
    EXPECT_EQ(store.ReadString(made.Get(), "ORU_PATH", "def"), "def");
}

TEST_F(SoftRegTest, ChangingTheProductClosesTheKeyAndTheSameScopeReopensIt) {
    PutText(HKEY_LOCAL_MACHINE, Path(product), "Which", "first");
    PutText(HKEY_LOCAL_MACHINE, Path(product + " other"), "Which", "second");
    TSoftReg store("Oru Software", product);
    store.SetScope(TSoftReg::ScopeLocalMachine);
    EXPECT_EQ(store.ReadString(nullptr, "Which", ""), "first");

    store.SetProduct(product); // the same value keeps the key
    EXPECT_EQ(store.Scope(), TSoftReg::ScopeLocalMachine);
    EXPECT_NE(store.Key(), nullptr);

    store.SetProduct(product + " other");
    EXPECT_EQ(store.Scope(), TSoftReg::ScopeNone);
    EXPECT_EQ(store.Key(), nullptr);
    store.SetScope(TSoftReg::ScopeLocalMachine);
    EXPECT_EQ(store.ReadString(nullptr, "Which", ""), "second");

    store.SetCompany("Another Maker");
    EXPECT_EQ(store.Key(), nullptr);
}

TEST_F(SoftRegTest, OpenKeyHandlerMaySupplyOrRefuseTheKey) {
    PutText(HKEY_CURRENT_USER, Path(product), "Where", "handler's key");
    TSoftReg store("Oru Software", product);
    std::vector<int> scopes;
    store.OnOpenKey = [&](TSoftReg& s, uint8_t scope, bool& allow, TRegKeyHandle& key) {
        EXPECT_EQ(&s, &store);
        EXPECT_TRUE(allow);
        EXPECT_EQ(key, nullptr);
        scopes.push_back(scope);
        allow = false;
        if (scope == TSoftReg::ScopeLocalMachine) {
            HKEY k = nullptr;
            ::RegOpenKeyA(HKEY_CURRENT_USER, Path(product).c_str(), &k);
            key = k;
        }
    };
    store.SetScope(TSoftReg::ScopeLocalMachine);
    EXPECT_EQ(store.ReadString(nullptr, "Where", ""), "handler's key");
    store.SetScope(TSoftReg::ScopeCurrentUser);
    EXPECT_EQ(store.Key(), nullptr);
    EXPECT_EQ(scopes, (std::vector<int>{1, 2}));
}

