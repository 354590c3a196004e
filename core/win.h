// Windows-only helpers: conversions at the API boundary, error texts, the
// program's folder, and owning holders for handles that must be released in
// the scope that acquired them.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "core/text.h"

namespace vorq {

std::wstring GetAppDataDir();
std::wstring GetExePath();
bool IsElevated();
std::string NowIso8601();
std::string FormatFileTimeUtc(const FILETIME& ft);
inline std::string FormatGuid(const GUID& g) {
    Guid v;
    v.Data1 = g.Data1;
    v.Data2 = g.Data2;
    v.Data3 = g.Data3;
    for (int i = 0; i < 8; ++i) v.Data4[i] = g.Data4[i];
    return FormatGuid(v);
}

std::string ToUtf8(const wchar_t* p, size_t n);
std::string ToUtf8Ptr(const wchar_t* p);
std::string WStringToUtf8(const std::wstring& s);
std::wstring ToWide(const std::string& s);

std::string SystemMessageText(DWORD code);
std::string HResultText(HRESULT hr);
std::string Win32ErrorText(DWORD code);

// Closes a Win32 handle unless it is INVALID_HANDLE_VALUE (or null).
void CloseHandleIfValid(HANDLE h);

// Owning holder: Traits::Close(value) runs once when the holder leaves its
// scope; Traits::Invalid() is the "none" value of the handle type.
template <typename Traits>
class UniqueResource {
public:
    using T = typename Traits::Type;
    UniqueResource() = default;
    explicit UniqueResource(T v) : v_(v) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& o) noexcept : v_(std::exchange(o.v_, Traits::Invalid())) {}
    UniqueResource& operator=(UniqueResource&& o) noexcept {
        if (this != &o) {
            reset();
            v_ = std::exchange(o.v_, Traits::Invalid());
        }
        return *this;
    }
    ~UniqueResource() { reset(); }
    T get() const { return v_; }
    T* put() {
        reset();
        return &v_;
    }
    explicit operator bool() const { return v_ != Traits::Invalid(); }
    void reset(T v = Traits::Invalid()) {
        if (v_ != Traits::Invalid()) Traits::Close(v_);
        v_ = v;
    }
    T release() { return std::exchange(v_, Traits::Invalid()); }

private:
    T v_ = Traits::Invalid();
};

namespace detail {
struct FileTraits {
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandleIfValid(h); }
};
struct HandleTraits {
    using Type = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandleIfValid(h); }
};
struct HKeyTraits {
    using Type = HKEY;
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY k) { RegCloseKey(k); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE m) { FreeLibrary(m); }
};
}  // namespace detail

// File and device handles use INVALID_HANDLE_VALUE for "none".
using UniqueFile = UniqueResource<detail::FileTraits>;
// Process, thread, token and event handles use null.
using UniqueHandle = UniqueResource<detail::HandleTraits>;
using UniqueHKey = UniqueResource<detail::HKeyTraits>;
using UniqueModule = UniqueResource<detail::ModuleTraits>;

// Loads a DLL from System32 only (optional libraries never come from elsewhere).
UniqueModule LoadSystemLibrary(const wchar_t* name);

// WTSClientProtocolType of the current session (0 console, 2 RDP); false when
// the query fails or answers fewer than two bytes.
bool QueryCurrentSessionProtocol(uint16_t& protocol);

// Looks up an export by name and casts it to the caller's function type.
template <typename Fn>
Fn GetProc(HMODULE m, const char* name) {
    if (!m) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

// Owning COM pointer: releases in the scope that acquired it.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // Takes over a pointer whose reference the caller owns.
    void attach(T* p) {
        reset();
        p_ = p;
    }

private:
    T* p_ = nullptr;
};

}  // namespace vorq
