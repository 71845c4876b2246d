// One RAII type per kind of Win32 handle, from one small template.
#pragma once

#include <windows.h>

#include <utility>

namespace framework {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type value) noexcept : value_(value) {}
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }
    Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }
    // For a call that writes a new handle out: closes the one held and
    // returns the address to write to.
    Type* put() noexcept {
        reset();
        return &value_;
    }
    void reset(Type value = Traits::Invalid()) noexcept {
        if (value_ != Traits::Invalid()) {
            // Closing must not clobber an error a caller is about to read.
            const DWORD saved = GetLastError();
            Traits::Close(value_);
            SetLastError(saved);
        }
        value_ = value;
    }

private:
    Type value_ = Traits::Invalid();
};

// Events, threads, mutexes: NULL means none.
struct NullHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};

// Files and devices from CreateFile: INVALID_HANDLE_VALUE means none.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { RegCloseKey(h); }
};

using UniqueEvent = UniqueHandle<NullHandleTraits>;
using UniqueThread = UniqueHandle<NullHandleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;

}  // namespace framework
