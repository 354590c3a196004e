// The per-publisher system id of WinRT's Windows.System.Profile.SystemIdentification.
// mingw-w64 declares neither the class's interfaces nor the buffer byte
// access, so the few slots called are declared here from the published
// interface definitions (slots after IInspectable's six), and the activation
// functions are looked up in combase.dll at run time.
#pragma once

#include <windows.h>
// clang-format off
#include <inspectable.h>
#include <hstring.h>
// clang-format on

#include "collectors/trust/windows_os.h"

namespace vorq::sysid {

inline constexpr wchar_t kClassName[] = L"Windows.System.Profile.SystemIdentification";

// ISystemIdentificationStatics {5581F42A-D3DF-4D93-A37D-C41A616C6D01}
inline constexpr GUID kIidStatics = {0x5581F42A, 0xD3DF, 0x4D93, {0xA3, 0x7D, 0xC4, 0x1A, 0x61, 0x6C, 0x6D, 0x01}};
// ISystemIdentificationInfo {0C659E7D-C3C2-4D33-A2DF-21BC41916EBE}
inline constexpr GUID kIidInfo = {0x0C659E7D, 0xC3C2, 0x4D33, {0xA2, 0xDF, 0x21, 0xBC, 0x41, 0x91, 0x6E, 0xBE}};
// Windows.Storage.Streams.IBuffer {905A0FE0-BC53-11DF-8C49-001E4FC686DA}
inline constexpr GUID kIidBuffer = {0x905A0FE0, 0xBC53, 0x11DF, {0x8C, 0x49, 0x00, 0x1E, 0x4F, 0xC6, 0x86, 0xDA}};
// IBufferByteAccess {905A0FEF-BC53-11DF-8C49-001E4FC686DA}
inline constexpr GUID kIidBufferByteAccess = {0x905A0FEF, 0xBC53, 0x11DF, {0x8C, 0x49, 0x00, 0x1E, 0x4F, 0xC6, 0x86, 0xDA}};

struct IBuffer : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Capacity(UINT32* value) = 0;  // 6
    virtual HRESULT STDMETHODCALLTYPE get_Length(UINT32* value) = 0;    // 7
    virtual HRESULT STDMETHODCALLTYPE put_Length(UINT32 value) = 0;     // 8
};

struct IBufferByteAccess : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Buffer(BYTE** value) = 0;  // 3
};

struct ISystemIdentificationInfo : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Id(IBuffer** value) = 0;     // 6
    virtual HRESULT STDMETHODCALLTYPE get_Source(INT32* value) = 0;    // 7
};

struct ISystemIdentificationStatics : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE GetSystemIdForPublisher(ISystemIdentificationInfo** result) = 0;  // 6
    virtual HRESULT STDMETHODCALLTYPE GetSystemIdForUser_() = 0;                                        // 7
};

using RoGetActivationFactoryFn = HRESULT(WINAPI*)(HSTRING, REFIID, void**);
using WindowsCreateStringReferenceFn = HRESULT(WINAPI*)(PCWSTR, UINT32, HSTRING_HEADER*, HSTRING*);

// The two activation functions; tests hand in their own.
struct Api {
    RoGetActivationFactoryFn getFactory = nullptr;
    WindowsCreateStringReferenceFn makeReference = nullptr;
};

// Every failing call ends the query with its HRESULT text; nothing throws.
SystemIdResult Query(const Api& api);
// The live query through combase.dll.
SystemIdResult Query();

}  // namespace vorq::sysid
