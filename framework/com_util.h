// Small COM helpers: an owning interface pointer, an owning BSTR, the one
// place where exceptions become HRESULTs, IUnknown's reference count, and
// QueryInterface from a table.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <cstddef>
#include <new>
#include <string>
#include <utility>

namespace framework {

// The reference count of an object made with new, which deletes it at zero:
// AddRef returns refs.Add(), Release returns refs.Drop(this).
class RefCount {
public:
    ULONG Add() noexcept { return ++count_; }
    template <typename Object>
    ULONG Drop(Object* self) noexcept {
        const ULONG left = --count_;
        if (left == 0) delete self;
        return left;
    }

private:
    std::atomic<ULONG> count_{1};
};

// The one way a reference is held: Copy to take one, detach to hand it out,
// Attach to take back one that was handed out.
template <typename I>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes an extra reference: for pointers the caller does not own.
    static ComPtr Copy(I* p) noexcept {
        ComPtr c;
        c.p_ = p;
        if (p) p->AddRef();
        return c;
    }
    // Takes over a reference the caller owns, such as one handed out earlier.
    static ComPtr Attach(I* p) noexcept {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    ComPtr(const ComPtr& o) noexcept : p_(o.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }
    ~ComPtr() { reset(); }

    I* get() const noexcept { return p_; }
    I* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // For out parameters: releases what is held first.
    I** put() noexcept { reset(); return &p_; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    void reset() noexcept { if (I* p = std::exchange(p_, nullptr)) p->Release(); }
    I* detach() noexcept { return std::exchange(p_, nullptr); }

    template <typename J>
    ComPtr<J> As(REFIID iid) const noexcept {
        ComPtr<J> out;
        if (p_) p_->QueryInterface(iid, out.put_void());
        return out;
    }

private:
    I* p_ = nullptr;
};

class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(const wchar_t* s) : b_(SysAllocString(s)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b_); }
    BSTR get() const noexcept { return b_; }
    BSTR* put() noexcept { SysFreeString(b_); b_ = nullptr; return &b_; }
    BSTR detach() noexcept { return std::exchange(b_, nullptr); }

private:
    BSTR b_ = nullptr;
};

class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }
    VARIANT* get() noexcept { return &v_; }
    const VARIANT* get() const noexcept { return &v_; }

private:
    VARIANT v_;
};

// ANSI (the system code page) and UTF-16 conversions at the COM boundary.
std::string ToAnsi(const wchar_t* text, UINT length);
inline std::string ToAnsi(BSTR text) { return ToAnsi(text, text ? SysStringLen(text) : 0); }
// A new BSTR from ANSI text; null when out of memory.
BSTR AnsiToBstr(const std::string& text);
std::wstring ToWide(const char* text);
// A copy in task memory, as COM out-strings are; null when out of memory.
LPOLESTR CoTaskString(const std::wstring& text);

// Runs `body` and maps anything it throws to an HRESULT, so that no
// exception ever crosses a COM method.
template <typename Body>
HRESULT Guard(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// QueryInterface from a table of (IID, offset of that base in the object).
struct InterfaceEntry {
    const IID* iid;
    std::ptrdiff_t offset;
};

// The offset of base `I` inside `T`, computed without an object.
template <typename T, typename I>
std::ptrdiff_t BaseOffset() {
    // Any non-null, suitably aligned address serves; nothing is dereferenced.
    T* probe = reinterpret_cast<T*>(static_cast<std::uintptr_t>(0x1000));
    return reinterpret_cast<char*>(static_cast<I*>(probe)) - reinterpret_cast<char*>(probe);
}

// Null *ppv first; IUnknown answers from the first entry; E_NOINTERFACE
// for the rest. AddRefs through the interface found.
HRESULT QueryFromTable(void* self, const InterfaceEntry* table, std::size_t count, REFIID iid,
                       void** ppv);

}  // namespace framework
