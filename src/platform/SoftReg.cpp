#include <windows.h>

#include "platform/SoftReg.h"

#include <vector>

namespace oru {

TRegKey& TRegKey::operator=(TRegKey&& other) noexcept {
    if (this != &other) {
        Close();
        key_ = other.Release();
    }
    return *this;
}

TRegKeyHandle TRegKey::Release() {
    TRegKeyHandle key = key_;
    key_ = nullptr;
    return key;
}

void TRegKey::Close() {
    if (key_)
        ::RegCloseKey(key_);
    key_ = nullptr;
}

TSoftReg::TSoftReg() : TSoftReg(SoftRegDefaultCompany(), SoftRegDefaultProduct()) {}

TSoftReg::TSoftReg(std::string company, std::string product)
    : company_(std::move(company)), product_(std::move(product)) {}

TSoftReg::~TSoftReg() = default;

void TSoftReg::SetCompany(const std::string& company) {
    if (company == company_)
        return;
    CloseScopeKey();
    company_ = company;
}

void TSoftReg::SetProduct(const std::string& product) {
    if (product == product_)
        return;
    CloseScopeKey();
    product_ = product;
}

void TSoftReg::SetScope(uint8_t scope) {
    if (scope == scope_)
        return;
    CloseScopeKey();
    key_ = OpenScopeKey(scope);
    scope_ = scope;
}

void TSoftReg::CloseScopeKey() {
    key_.Close();
    scope_ = ScopeNone;
}

TRegKey TSoftReg::OpenScopeKey(uint8_t scope) {
    TRegKeyHandle key = nullptr;
    bool allow = true;
    if (OnOpenKey)
        OnOpenKey(*this, scope, allow, key);
    TRegKey owned(key);
    if (!allow)
        return owned;
    HKEY hive = scope == ScopeLocalMachine  ? HKEY_LOCAL_MACHINE
                : scope == ScopeCurrentUser ? HKEY_CURRENT_USER
                                            : nullptr;
    if (!hive)
        return owned;
    std::string path = "Software\\" + company_;
    if (!product_.empty())
        path += "\\" + product_;
    if (!SubKey.empty())
        path += "\\" + SubKey;
    HKEY opened = nullptr;
    LONG status = ::RegCreateKeyA(hive, path.c_str(), &opened);
    ::SetLastError(static_cast<DWORD>(status));
    return TRegKey(status == ERROR_SUCCESS ? opened : nullptr);
}

TRegKey TSoftReg::OpenKey(TRegKeyHandle parent, const std::string& path, bool create) {
    HKEY base = parent ? parent : key_.Get();
    if (!base) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return TRegKey();
    }
    HKEY opened = nullptr;
    LONG status = create ? ::RegCreateKeyA(base, path.c_str(), &opened)
                         : ::RegOpenKeyA(base, path.c_str(), &opened);
    ::SetLastError(static_cast<DWORD>(status));
    return TRegKey(status == ERROR_SUCCESS ? opened : nullptr);
}

std::string TSoftReg::ReadString(TRegKeyHandle key, const std::string& valueName,
                                 const std::string& defaultValue) {
    HKEY from = key ? key : key_.Get();
    if (!from)
        return defaultValue;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(from, valueName.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return defaultValue;
    std::vector<char> data(size + 1, '\0');
    DWORD got = size;
    if (::RegQueryValueExA(from, valueName.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(data.data()), &got) != ERROR_SUCCESS ||
        type != REG_SZ)
        return defaultValue;
    // The stored text need not end with a NUL: stop at the first one or at the size.
    std::string text(data.data(), got);
    return text.substr(0, text.find('\0'));
}

} // namespace oru
