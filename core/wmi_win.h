// WMI queries: connect to a namespace, run one WQL query, hand each row to a
// callback; and read one property of a row. Nothing here throws for a WMI
// failure. COM must already be initialised on the calling thread.
#pragma once

#include <windows.h>
#include <wbemidl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/win.h"
#include "core/wmi_value.h"

namespace vorq {

// Called once per row; the row is released when the callback returns, so a
// callback that keeps it must AddRef it.
using WmiRowCallback = std::function<void(IWbemClassObject*)>;

// True when the query was started and its rows walked (a walk cut short by a
// time-out still counts). False with `error` set to "WbemLocator: ...",
// "ConnectServer(<namespace>): ..." or "ExecQuery: ...".
bool RunWmiQuery(const std::wstring& wmiNamespace, const std::wstring& query, const WmiRowCallback& callback,
                 std::string& error);

// Trimmed text of a string, 32-bit integer or boolean property; empty otherwise.
std::string GetWmiString(IWbemClassObject* row, const wchar_t* property);
// True with the value for an integer or a decimal text; `value` untouched otherwise.
bool GetWmiInteger(IWbemClassObject* row, const wchar_t* property, int64_t& value);
// The elements of an array of 32-bit, 16-bit or byte integers; empty otherwise.
std::vector<int64_t> GetWmiIntegerArray(IWbemClassObject* row, const wchar_t* property);

// The conversions behind the readers, over a VARIANT and the property's CIM
// type (CIM_EMPTY when unknown): unsigned CIM types read as unsigned.
std::string WmiVariantToString(const VARIANT& v, CIMTYPE cimType);
bool WmiVariantToInteger(const VARIANT& v, CIMTYPE cimType, int64_t& value);
std::vector<int64_t> WmiVariantToIntegerArray(const VARIANT& v, CIMTYPE cimType);

}  // namespace vorq
