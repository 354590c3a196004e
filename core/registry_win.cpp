#include "core/registry_win.h"

namespace vorq {

namespace {

constexpr DWORD kStringFlags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;

// Byte size of a value under the given type restriction; false when absent.
bool QuerySize(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD flags, DWORD& size) {
    size = 0;
    return RegGetValueW(root, subkey, name, flags, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

// Reads a fixed-size integer; a value of any other length counts as absent.
template <typename T>
bool ReadFixed(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD flags, T& value) {
    T v{};
    DWORD size = sizeof v;
    if (RegGetValueW(root, subkey, name, flags, nullptr, &v, &size) != ERROR_SUCCESS || size != sizeof v) return false;
    value = v;
    return true;
}

}  // namespace

bool RegReadDword(HKEY root, const wchar_t* subkey, const wchar_t* name, uint32_t& value) {
    return ReadFixed(root, subkey, name, RRF_RT_REG_DWORD, value);
}

bool RegReadQword(HKEY root, const wchar_t* subkey, const wchar_t* name, uint64_t& value) {
    return ReadFixed(root, subkey, name, RRF_RT_REG_QWORD, value);
}

bool RegReadString(HKEY root, const wchar_t* subkey, const wchar_t* name, std::wstring& value) {
    DWORD size = 0;
    if (!QuerySize(root, subkey, name, kStringFlags, size) || size == 0) return false;
    std::vector<wchar_t> buf(size / 2 + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    if (RegGetValueW(root, subkey, name, kStringFlags, nullptr, buf.data(), &bytes) != ERROR_SUCCESS) return false;
    value.assign(buf.data());  // the spare NUL ends the text even when the data has none
    return true;
}

bool RegReadMultiSz(HKEY root, const wchar_t* subkey, const wchar_t* name, std::vector<std::wstring>& value) {
    DWORD size = 0;
    if (!QuerySize(root, subkey, name, RRF_RT_REG_MULTI_SZ, size) || size == 0) return false;
    Bytes buf(size / 2 * 2 + 4, 0);  // two spare NULs end a list stored without its terminator
    DWORD bytes = static_cast<DWORD>(buf.size());
    if (RegGetValueW(root, subkey, name, RRF_RT_REG_MULTI_SZ, nullptr, buf.data(), &bytes) != ERROR_SUCCESS) return false;
    value.clear();
    for (const auto& s : SplitUtf16Strings(buf.data(), buf.size())) value.emplace_back(s.begin(), s.end());
    return true;
}

bool RegReadBinary(HKEY root, const wchar_t* subkey, const wchar_t* name, Bytes& value) {
    DWORD size = 0;
    if (!QuerySize(root, subkey, name, RRF_RT_ANY, size)) return false;
    value.assign(size, 0);
    if (size == 0) return true;
    DWORD bytes = size;
    if (RegGetValueW(root, subkey, name, RRF_RT_ANY, nullptr, value.data(), &bytes) != ERROR_SUCCESS) return false;
    if (bytes < value.size()) value.resize(bytes);
    return true;
}

std::vector<std::wstring> RegEnumSubkeys(HKEY root, const wchar_t* subkey) {
    std::vector<std::wstring> out;
    UniqueHKey key;
    if (RegOpenKeyExW(root, subkey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD len = 256;
        if (RegEnumKeyExW(key.get(), index, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (len >= 256) break;
        out.emplace_back(name, len);
    }
    return out;
}

std::vector<RegValue> RegEnumValues(HKEY root, const wchar_t* subkey, int32_t* status) {
    std::vector<RegValue> out;
    auto setStatus = [status](LONG rc) {
        if (status) *status = static_cast<int32_t>(rc);
    };
    UniqueHKey key;
    LONG rc = RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE, key.put());
    setStatus(rc);
    if (rc != ERROR_SUCCESS) return out;
    constexpr DWORD kNameChars = 512;
    wchar_t name[kNameChars];
    for (DWORD index = 0;; ++index) {
        DWORD nameLen = kNameChars;
        DWORD type = 0;
        DWORD size = 0;
        rc = RegEnumValueW(key.get(), index, name, &nameLen, nullptr, &type, nullptr, &size);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if ((rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) || nameLen > kNameChars - 1) {
            setStatus(rc == ERROR_SUCCESS ? ERROR_MORE_DATA : rc);
            break;
        }
        RegValue v;
        v.name.assign(name, nameLen);
        v.type = type;
        v.data.assign(size, 0);
        // The first call overwrote the length with the name's; without the
        // reset the second call sees too small a buffer and fails.
        nameLen = kNameChars;
        DWORD bytes = size;
        rc = RegEnumValueW(key.get(), index, name, &nameLen, nullptr, &type, v.data.empty() ? nullptr : v.data.data(), &bytes);
        if (rc != ERROR_SUCCESS) {
            setStatus(rc);
            continue;
        }
        v.type = type;
        if (bytes < v.data.size()) v.data.resize(bytes);
        out.push_back(std::move(v));
    }
    return out;
}

}  // namespace vorq
