// Registry readers. Each opens nothing that outlives the call, never writes,
// and reports failure as false or an empty list. The typed readers restrict
// the type through RegGetValueW, so a value of another type counts as absent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/registry.h"
#include "core/win.h"

namespace vorq {

// A null value name means the key's default value.
bool RegReadDword(HKEY root, const wchar_t* subkey, const wchar_t* name, uint32_t& value);
bool RegReadQword(HKEY root, const wchar_t* subkey, const wchar_t* name, uint64_t& value);
// REG_SZ or REG_EXPAND_SZ, not expanded; the text ends at the first NUL.
bool RegReadString(HKEY root, const wchar_t* subkey, const wchar_t* name, std::wstring& value);
// The strings up to the first empty one.
bool RegReadMultiSz(HKEY root, const wchar_t* subkey, const wchar_t* name, std::vector<std::wstring>& value);
// Any type (REG_EXPAND_SZ data comes expanded); true with an empty vector for no data.
bool RegReadBinary(HKEY root, const wchar_t* subkey, const wchar_t* name, Bytes& value);
// Names in enumeration order; the walk ends at a name of 256 characters or more.
std::vector<std::wstring> RegEnumSubkeys(HKEY root, const wchar_t* subkey);
// Values in enumeration order. `status` (when given) is 0 when every value
// was read, the open's error when the key could not be opened, otherwise the
// last error met (234 for a name longer than 511 characters, which ends the walk).
std::vector<RegValue> RegEnumValues(HKEY root, const wchar_t* subkey, int32_t* status = nullptr);

}  // namespace vorq
