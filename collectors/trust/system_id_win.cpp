#include "collectors/trust/system_id_win.h"

#include "core/fault_guard_win.h"
#include "core/win.h"

namespace vorq::sysid {

SystemIdResult Query(const Api& api) {
    SystemIdResult r;
    if (!api.getFactory || !api.makeReference) {
        r.error = HResultText(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
        return r;
    }
    // Held outside the guarded call so a fault inside it still releases them.
    ComPtr<ISystemIdentificationStatics> statics;
    ComPtr<ISystemIdentificationInfo> info;
    ComPtr<IBuffer> buffer;
    ComPtr<IBufferByteAccess> access;
    HRESULT failed = S_OK;
    const FaultResult fault = RunFaultGuarded([&] {
        HSTRING_HEADER header{};
        HSTRING name = nullptr;
        HRESULT hr = api.makeReference(kClassName, static_cast<UINT32>(wcslen(kClassName)), &header, &name);
        if (SUCCEEDED(hr)) hr = api.getFactory(name, kIidStatics, statics.put_void());
        // A success that hands back no object is a failure too, never a call through null.
        if (SUCCEEDED(hr) && !statics) hr = E_POINTER;
        if (SUCCEEDED(hr)) hr = statics->GetSystemIdForPublisher(info.put());
        if (SUCCEEDED(hr) && !info) hr = E_POINTER;
        INT32 source = 0;
        if (SUCCEEDED(hr)) hr = info->get_Id(buffer.put());
        if (SUCCEEDED(hr)) hr = info->get_Source(&source);
        if (SUCCEEDED(hr) && !buffer) hr = E_POINTER;
        UINT32 length = 0;
        if (SUCCEEDED(hr)) hr = buffer->get_Length(&length);
        if (SUCCEEDED(hr)) hr = buffer->QueryInterface(kIidBufferByteAccess, access.put_void());
        if (SUCCEEDED(hr) && !access) hr = E_POINTER;
        BYTE* bytes = nullptr;
        if (SUCCEEDED(hr)) hr = access->Buffer(&bytes);
        if (FAILED(hr)) {
            failed = hr;
            return;
        }
        r.source = source;
        if (bytes && length != 0) {
            r.idHex = HexEncode(bytes, length);
            r.ok = true;
        }
    });
    access.reset();
    buffer.reset();
    info.reset();
    statics.reset();
    if (fault.faulted) {
        r = SystemIdResult{};
        r.error = Format("fault 0x%08lX", static_cast<unsigned long>(fault.code));
    } else if (FAILED(failed)) {
        r.error = HResultText(failed);
    } else if (!r.ok) {
        r.error = "empty buffer";
    }
    return r;
}

SystemIdResult Query() {
    UniqueModule combase = LoadSystemLibrary(L"combase.dll");
    Api api;
    api.getFactory = GetProc<RoGetActivationFactoryFn>(combase.get(), "RoGetActivationFactory");
    api.makeReference = GetProc<WindowsCreateStringReferenceFn>(combase.get(), "WindowsCreateStringReference");
    if (!combase) {
        SystemIdResult r;
        r.error = HResultText(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
        return r;
    }
    return Query(api);
}

}  // namespace vorq::sysid
