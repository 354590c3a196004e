#include "core/wmi_win.h"

#include <oleauto.h>

namespace vorq {

namespace {

class UniqueBstr {
public:
    explicit UniqueBstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { SysFreeString(b_); }
    BSTR get() const { return b_; }

private:
    BSTR b_;
};

// A VARIANT cleared when its scope ends.
struct ScopedVariant {
    VARIANT v;
    ScopedVariant() { VariantInit(&v); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    ~ScopedVariant() { VariantClear(&v); }
};

// Reads a property with its CIM type; false when absent.
bool GetProperty(IWbemClassObject* row, const wchar_t* property, ScopedVariant& out, CIMTYPE& cimType) {
    cimType = CIM_EMPTY;
    if (!row || !property) return false;
    return SUCCEEDED(row->Get(property, 0, &out.v, &cimType, nullptr));
}

bool Unsigned(CIMTYPE cimType) { return IsUnsignedCimType(static_cast<uint32_t>(cimType)); }

}  // namespace

bool RunWmiQuery(const std::wstring& wmiNamespace, const std::wstring& query, const WmiRowCallback& callback,
                 std::string& error) {
    ComPtr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void());
    if (FAILED(hr) || !locator) {
        error = "WbemLocator: " + HResultText(hr);
        return false;
    }
    ComPtr<IWbemServices> services;
    UniqueBstr ns(wmiNamespace);
    hr = locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
    if (FAILED(hr) || !services) {
        error = "ConnectServer(" + WStringToUtf8(wmiNamespace) + "): " + HResultText(hr);
        return false;
    }
    CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    ComPtr<IEnumWbemClassObject> rows;
    UniqueBstr language(L"WQL");
    UniqueBstr text(query);
    hr = services->ExecQuery(language.get(), text.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                             rows.put());
    if (FAILED(hr) || !rows) {
        error = "ExecQuery: " + HResultText(hr);
        return false;
    }
    for (;;) {
        // Held before the callback runs, so a throwing callback still releases it.
        ComPtr<IWbemClassObject> row;
        ULONG returned = 0;
        hr = rows->Next(10000, 1, row.put(), &returned);
        if (FAILED(hr) || returned != 1 || !row) break;
        callback(row.get());
    }
    return true;
}

std::string WmiVariantToString(const VARIANT& v, CIMTYPE cimType) {
    std::string text;
    switch (v.vt) {
        case VT_BSTR:
            if (v.bstrVal) text = ToUtf8(v.bstrVal, SysStringLen(v.bstrVal));
            break;
        case VT_I4:
            text = Unsigned(cimType) ? Format("%u", static_cast<unsigned>(static_cast<uint32_t>(v.lVal)))
                                     : Format("%ld", static_cast<long>(v.lVal));
            break;
        case VT_UI4: text = Format("%u", static_cast<unsigned>(v.ulVal)); break;
        case VT_BOOL: text = v.boolVal ? "true" : "false"; break;
        default: break;
    }
    return Trim(text);
}

bool WmiVariantToInteger(const VARIANT& v, CIMTYPE cimType, int64_t& value) {
    const bool isUnsigned = Unsigned(cimType);
    switch (v.vt) {
        case VT_I2: value = isUnsigned ? int64_t{static_cast<uint16_t>(v.iVal)} : int64_t{v.iVal}; return true;
        case VT_I4: value = isUnsigned ? int64_t{static_cast<uint32_t>(v.lVal)} : int64_t{v.lVal}; return true;
        case VT_UI1: value = v.bVal; return true;
        case VT_UI4: value = v.ulVal; return true;
        case VT_BOOL: value = v.boolVal ? 1 : 0; return true;
        case VT_BSTR:
            if (!v.bstrVal) return false;
            value = ParseWmiDecimal(v.bstrVal, SysStringLen(v.bstrVal));
            return true;
        default: return false;
    }
}

std::vector<int64_t> WmiVariantToIntegerArray(const VARIANT& v, CIMTYPE cimType) {
    std::vector<int64_t> out;
    if (!(v.vt & VT_ARRAY) || (v.vt & VT_BYREF) || !v.parray) return out;
    SAFEARRAY* array = v.parray;
    const VARTYPE element = v.vt & VT_TYPEMASK;
    UINT size = element == VT_I4 || element == VT_UI4 ? 4 : element == VT_I2 || element == VT_UI2 ? 2 : element == VT_UI1 ? 1 : 0;
    // The element size is checked against the array's own, so a VARIANT whose
    // type disagrees with its array is not read past the data.
    if (size == 0 || SafeArrayGetDim(array) < 1 || SafeArrayGetElemsize(array) != size) return out;
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)) || upper < lower) return out;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data)) || !data) return out;
    const bool isUnsigned = element == VT_UI4 || element == VT_UI2 || Unsigned(cimType);
    const size_t count = static_cast<size_t>(static_cast<int64_t>(upper) - lower + 1);
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        switch (size) {
            case 4: {
                int32_t e = static_cast<const int32_t*>(data)[i];
                out.push_back(isUnsigned ? int64_t{static_cast<uint32_t>(e)} : int64_t{e});
                break;
            }
            case 2: {
                int16_t e = static_cast<const int16_t*>(data)[i];
                out.push_back(isUnsigned ? int64_t{static_cast<uint16_t>(e)} : int64_t{e});
                break;
            }
            default: out.push_back(static_cast<const uint8_t*>(data)[i]); break;
        }
    }
    SafeArrayUnaccessData(array);
    return out;
}

std::string GetWmiString(IWbemClassObject* row, const wchar_t* property) {
    ScopedVariant v;
    CIMTYPE cimType;
    if (!GetProperty(row, property, v, cimType)) return {};
    return WmiVariantToString(v.v, cimType);
}

bool GetWmiInteger(IWbemClassObject* row, const wchar_t* property, int64_t& value) {
    ScopedVariant v;
    CIMTYPE cimType;
    if (!GetProperty(row, property, v, cimType)) return false;
    return WmiVariantToInteger(v.v, cimType, value);
}

std::vector<int64_t> GetWmiIntegerArray(IWbemClassObject* row, const wchar_t* property) {
    ScopedVariant v;
    CIMTYPE cimType;
    if (!GetProperty(row, property, v, cimType)) return {};
    return WmiVariantToIntegerArray(v.v, cimType);
}

}  // namespace vorq
