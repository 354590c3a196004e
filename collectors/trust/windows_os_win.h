// Readers shared by the Windows and Microsoft collectors.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace vorq {

// A registry string as trimmed UTF-8; empty when absent or not a string.
std::string ReadRegistryString(HKEY root, const wchar_t* subkey, const wchar_t* name);
// A REG_DWORD / REG_QWORD value, or nothing when absent or of another type.
std::optional<uint32_t> ReadRegistryDword(HKEY root, const wchar_t* subkey, const wchar_t* name);
std::optional<uint64_t> ReadRegistryQword(HKEY root, const wchar_t* subkey, const wchar_t* name);
// The SID of the process token's user; empty on any failure.
std::string CurrentUserSid();
// The machine's account-domain SID from the local LSA policy; empty on any failure.
std::string GetMachineSid();
// GetComputerNameExW into 256 characters; false when the call fails.
bool ComputerNameEx(COMPUTER_NAME_FORMAT format, std::string& name);
// GetUserNameW into 256 characters; false when the call fails.
bool CurrentUserName(std::string& name);

}  // namespace vorq
