// A product key of its own below HKLM\Software\Oru Software, removed at the end,
// with helpers to write its Paths values. Windows test programs only.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace oru::test {

inline const std::string kCompanyKey = "Software\\Oru Software\\";

class TTestProduct {
  public:
    TTestProduct() : name_("OruFinderTest-" + std::to_string(std::random_device{}())) {}
    explicit TTestProduct(std::string name) : name_(std::move(name)) {}
    ~TTestProduct() { ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kCompanyKey + name_).c_str()); }
    const std::string& Name() const { return name_; }

    void Set(const std::string& value, const std::string& data, DWORD type = REG_SZ) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kCompanyKey + name_ + "\\Paths").c_str(),
                                    0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key, value.c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(data.c_str()),
                                   static_cast<DWORD>(data.size() + 1)),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    bool KeyExists() const {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kCompanyKey + name_).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
    }

  private:
    std::string name_;
};

} // namespace oru::test
