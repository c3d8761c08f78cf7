// Registry fixtures for Windows test programs. TRegistryKey sets values on a key
// below HKEY_LOCAL_MACHINE and puts every one back as it was at the end;
// TTestProduct is a product key of its own below the company key, removed whole.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace oru::test {

inline const std::string kCompanyKey = "Software\\Oru Software\\";

namespace detail {
inline void SetString(HKEY key, const std::string& value, const std::string& data, DWORD type) {
    ASSERT_EQ(::RegSetValueExA(key, value.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                               static_cast<DWORD>(data.size() + 1)),
              ERROR_SUCCESS);
}
} // namespace detail

class TRegistryKey {
  public:
    explicit TRegistryKey(const std::string& path) {
        ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    ~TRegistryKey() {
        for (const auto& [name, old] : saved_) {
            if (old)
                ::RegSetValueExA(key_, name.c_str(), 0, old->first, old->second.data(),
                                 static_cast<DWORD>(old->second.size()));
            else
                ::RegDeleteValueA(key_, name.c_str());
        }
        ::RegCloseKey(key_);
    }
    TRegistryKey(const TRegistryKey&) = delete;
    TRegistryKey& operator=(const TRegistryKey&) = delete;

    void Set(const std::string& value, const std::string& data, DWORD type = REG_SZ) {
        Save(value);
        detail::SetString(key_, value, data, type);
    }
    void Remove(const std::string& value) {
        Save(value);
        ::RegDeleteValueA(key_, value.c_str());
    }

  private:
    using Stored = std::optional<std::pair<DWORD, std::vector<BYTE>>>;
    void Save(const std::string& value) {
        const auto [old, first] = saved_.try_emplace(value);
        DWORD type = 0, size = 0;
        if (!first || ::RegQueryValueExA(key_, value.c_str(), nullptr, &type, nullptr, &size))
            return;
        std::vector<BYTE> data(size);
        ::RegQueryValueExA(key_, value.c_str(), nullptr, &type, data.data(), &size);
        old->second = std::make_pair(type, data);
    }

    HKEY key_ = nullptr;
    std::map<std::string, Stored> saved_;
};

class TTestProduct {
  public:
    TTestProduct() : name_("OruTest-" + std::to_string(std::random_device{}())) {}
    ~TTestProduct() { ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kCompanyKey + name_).c_str()); }
    TTestProduct(const TTestProduct&) = delete;
    TTestProduct& operator=(const TTestProduct&) = delete;
    const std::string& Name() const { return name_; }

    // A value of the product's Paths key.
    void Set(const std::string& value, const std::string& data, DWORD type = REG_SZ) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kCompanyKey + name_ + "\\Paths").c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        detail::SetString(key, value, data, type);
        ::RegCloseKey(key);
    }
    // The product's key, or with subKey ("\\Paths") one below it.
    bool KeyExists(const std::string& subKey = "") const {
        HKEY key = nullptr;
        const std::string path = kCompanyKey + name_ + subKey;
        const bool exists =
            ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
        ::RegCloseKey(key);
        return exists;
    }

  private:
    std::string name_;
};

} // namespace oru::test
