// TSoftReg: reads the maker's settings from the registry below
// Software\<company>[\<product>][\<sub-key>] of the local-machine or current-user
// hive. Nothing here raises: a key that cannot be opened is empty and reads through
// it give the default. Windows only.
#pragma once

#include "platform/SoftRegDefaults.h"

#include <cstdint>
#include <functional>
#include <string>

// The registry handle type of <windows.h>, named without including it.
struct HKEY__;

namespace oru {

using TRegKeyHandle = HKEY__*;

// Owns one open registry key; closes it exactly once.
class TRegKey {
  public:
    TRegKey() = default;
    explicit TRegKey(TRegKeyHandle key) : key_(key) {}
    ~TRegKey() { Close(); }
    TRegKey(TRegKey&& other) noexcept : key_(other.Release()) {}
    TRegKey& operator=(TRegKey&& other) noexcept;
    TRegKey(const TRegKey&) = delete;
    TRegKey& operator=(const TRegKey&) = delete;

    TRegKeyHandle Get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    TRegKeyHandle Release();
    void Close();

  private:
    TRegKeyHandle key_ = nullptr;
};

class TSoftReg {
  public:
    // Scopes: which hive the store's own key lies in.
    static constexpr uint8_t ScopeNone = 0;
    static constexpr uint8_t ScopeLocalMachine = 1;
    static constexpr uint8_t ScopeCurrentUser = 2;

    // Called before the store opens its key for a scope. Clearing allow stops the
    // store from opening one itself; a key left in key then becomes the store's own
    // (the store closes it).
    using TOpenKeyEvent =
        std::function<void(TSoftReg& store, uint8_t scope, bool& allow, TRegKeyHandle& key)>;

    TSoftReg(); // company and product from SoftRegDefaults
    TSoftReg(std::string company, std::string product);
    virtual ~TSoftReg();
    TSoftReg(const TSoftReg&) = delete;
    TSoftReg& operator=(const TSoftReg&) = delete;

    const std::string& Company() const { return company_; }
    const std::string& Product() const { return product_; }
    // A different value closes the open key (the scope goes back to none).
    void SetCompany(const std::string& company);
    void SetProduct(const std::string& product);
    // Takes effect the next time a scope is opened.
    std::string SubKey;
    TOpenKeyEvent OnOpenKey;

    uint8_t Scope() const { return scope_; }
    TRegKeyHandle Key() const { return key_.Get(); }
    // Opens the store's key for a scope unless that scope is already the current one.
    virtual void SetScope(uint8_t scope);
    void CloseScopeKey();

    // A key below parent (nullptr: the store's key); create also makes it when
    // missing. The call's status becomes the thread's last error; empty on failure.
    TRegKey OpenKey(TRegKeyHandle parent, const std::string& path, bool create);
    static void CloseKey(TRegKey& key) { key.Close(); }
    // A REG_SZ value up to its first NUL; the default for anything else or any failure.
    std::string ReadString(TRegKeyHandle key, const std::string& valueName,
                           const std::string& defaultValue);

  protected:
    virtual TRegKey OpenScopeKey(uint8_t scope);

  private:
    std::string company_;
    std::string product_;
    uint8_t scope_ = ScopeNone;
    TRegKey key_;
};

} // namespace oru
