// The few WinRT mobile-broadband declarations the network collector calls; the
// system headers here have none. Slots follow the interfaces' declaration order
// in Windows.Networking.NetworkOperators metadata (after IInspectable's six);
// the slots not called are kept as placeholders so later ones stay in place.
// The activation functions are looked up in combase.dll at run time.
#pragma once

#include <windows.h>
// clang-format off
#include <inspectable.h>
#include <hstring.h>
// clang-format on

namespace vorq::wwan {

inline constexpr wchar_t kModemClass[] = L"Windows.Networking.NetworkOperators.MobileBroadbandModem";

// IMobileBroadbandModemStatics {F99ED637-D6F1-4A78-8CBC-6421A65063C8}
inline constexpr GUID kIidModemStatics = {0xF99ED637, 0xD6F1, 0x4A78, {0x8C, 0xBC, 0x64, 0x21, 0xA6, 0x50, 0x63, 0xC8}};
// IMobileBroadbandModem {D0356912-E9F9-4F67-A03D-43189A316BF1}
inline constexpr GUID kIidModem = {0xD0356912, 0xE9F9, 0x4F67, {0xA0, 0x3D, 0x43, 0x18, 0x9A, 0x31, 0x6B, 0xF1}};
// IMobileBroadbandDeviceInformation {E6D08168-E381-4C6E-9BE8-FE156969A446}
inline constexpr GUID kIidDeviceInformation = {0xE6D08168, 0xE381, 0x4C6E, {0x9B, 0xE8, 0xFE, 0x15, 0x69, 0x69, 0xA4, 0x46}};

struct IDeviceInformation : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_NetworkDeviceStatus(INT32* value) = 0;  // 6
    virtual HRESULT STDMETHODCALLTYPE get_Manufacturer(HSTRING* value) = 0;       // 7
    virtual HRESULT STDMETHODCALLTYPE get_Model(HSTRING* value) = 0;              // 8
    virtual HRESULT STDMETHODCALLTYPE get_FirmwareInformation(HSTRING* value) = 0;  // 9
    virtual HRESULT STDMETHODCALLTYPE CellularClass_() = 0;                       // 10
    virtual HRESULT STDMETHODCALLTYPE DataClasses_() = 0;                         // 11
    virtual HRESULT STDMETHODCALLTYPE CustomDataClass_() = 0;                     // 12
    virtual HRESULT STDMETHODCALLTYPE get_MobileEquipmentId(HSTRING* value) = 0;  // 13
    virtual HRESULT STDMETHODCALLTYPE TelephoneNumbers_() = 0;                    // 14
    virtual HRESULT STDMETHODCALLTYPE SubscriberId_() = 0;                        // 15 (never read)
    virtual HRESULT STDMETHODCALLTYPE SimIccId_() = 0;                            // 16 (never read)
    virtual HRESULT STDMETHODCALLTYPE DeviceType_() = 0;                          // 17
    virtual HRESULT STDMETHODCALLTYPE get_DeviceId(HSTRING* value) = 0;           // 18
};

struct IModem : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE CurrentAccount_() = 0;                                   // 6
    virtual HRESULT STDMETHODCALLTYPE get_DeviceInformation(IDeviceInformation** value) = 0;  // 7
};

struct IModemStatics : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE GetDeviceSelector_() = 0;     // 6
    virtual HRESULT STDMETHODCALLTYPE FromId_() = 0;                // 7
    virtual HRESULT STDMETHODCALLTYPE GetDefault(IModem** value) = 0;  // 8
};

using RoGetActivationFactoryFn = HRESULT(WINAPI*)(HSTRING, REFIID, void**);
using WindowsCreateStringReferenceFn = HRESULT(WINAPI*)(PCWSTR, UINT32, HSTRING_HEADER*, HSTRING*);
using WindowsGetStringRawBufferFn = PCWSTR(WINAPI*)(HSTRING, UINT32*);
using WindowsDeleteStringFn = HRESULT(WINAPI*)(HSTRING);

}  // namespace vorq::wwan
