// Owners for the Windows handle kinds the platform halves use: each closes its
// handle exactly once, can be moved but not copied. Windows translation units only.
#pragma once

#include <windows.h>

#include <utility>

namespace oru {

template <typename Traits> class TWinHandle {
  public:
    using Type = typename Traits::Type;
    TWinHandle() = default;
    explicit TWinHandle(Type h) : h_(h) {}
    ~TWinHandle() { Reset(); }
    TWinHandle(TWinHandle&& other) noexcept : h_(std::exchange(other.h_, Traits::Invalid())) {}
    TWinHandle& operator=(TWinHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            h_ = std::exchange(other.h_, Traits::Invalid());
        }
        return *this;
    }
    TWinHandle(const TWinHandle&) = delete;
    TWinHandle& operator=(const TWinHandle&) = delete;

    Type Get() const { return h_; }
    bool Valid() const { return h_ != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }
    Type Release() { return std::exchange(h_, Traits::Invalid()); }
    // Closes the handle; the last error of a failing close is kept for the caller.
    bool Reset(Type h = Traits::Invalid()) {
        bool ok = true;
        if (Valid())
            ok = Traits::Close(h_);
        h_ = h;
        return ok;
    }

  private:
    Type h_ = Traits::Invalid();
};

struct TFileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return ::CloseHandle(h) != 0; }
};
struct TFindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return ::FindClose(h) != 0; }
};
struct TModuleHandleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return ::FreeLibrary(h) != 0; }
};
struct TLocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return ::LocalFree(h) == nullptr; }
};

using TFileHandle = TWinHandle<TFileHandleTraits>;
using TFindHandle = TWinHandle<TFindHandleTraits>;
using TModuleHandle = TWinHandle<TModuleHandleTraits>;
using TLocalMemory = TWinHandle<TLocalMemoryTraits>;

} // namespace oru
