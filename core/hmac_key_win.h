// Loading and making the per-installation HMAC key file. LoadHmacKey
// (core/report.h) caches the result for the process; the file step is exposed
// so tests can run it on a file of their own with failing services.
#pragma once

#include <windows.h>

#include <string>

#include "core/text.h"

namespace vorq {

// The platform services the key file step uses; tests replace them.
struct HmacKeyServices {
    bool (*randomBytes)(void* buf, size_t n);
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
};
HmacKeyServices DefaultHmacKeyServices();

struct HmacKeyFileResult {
    Bytes key;          // always 32 bytes
    std::string note;   // non-empty when no random bytes could be had for a new key
};

// Reads the 32-byte key at `path`; when the file or its folder is missing,
// makes a random key and saves it with CREATE_NEW. A key file is written only
// from random bytes, and a short write deletes the file so a later run tries
// again. Every other failure gives a key for this process only.
HmacKeyFileResult LoadHmacKeyFile(const std::wstring& path, const HmacKeyServices& services);

}  // namespace vorq
