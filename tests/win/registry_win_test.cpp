#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/registry_win.h"

namespace vorq {
namespace {

// A scratch key under HKCU holding the awkward values, deleted afterwards.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = L"Software\\VornixQuelmTest-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        key_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    void Set(const wchar_t* name, DWORD type, const Bytes& data) {
        ASSERT_EQ(RegSetValueExW(key_.get(), name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    }
    // The text is stored with every unit it holds, NULs included, and nothing more.
    void SetText(const wchar_t* name, DWORD type, const std::wstring& text) {
        const auto* p = reinterpret_cast<const uint8_t*>(text.data());
        Set(name, type, Bytes(p, p + text.size() * sizeof(wchar_t)));
    }
    const wchar_t* path() const { return path_.c_str(); }

    std::wstring path_;
    UniqueHKey key_;
};

TEST_F(RegistryTest, StringsByTerminatorAndType) {
    SetText(L"plain", REG_SZ, std::wstring(L"abc", 4));
    SetText(L"terminatorOnly", REG_SZ, std::wstring(1, L'\0'));
    SetText(L"noData", REG_SZ, L"");
    SetText(L"noTerminator", REG_SZ, L"whole text");
    SetText(L"embedded", REG_SZ, std::wstring(L"ab\0cd\0", 6));
    SetText(L"expand", REG_EXPAND_SZ, std::wstring(L"%SystemRoot%\\x", 15));
    Set(L"dword", REG_DWORD, {1, 0, 0, 0});
    struct Case {
        const wchar_t* name;
        bool ok;
        std::wstring want;
    } cases[] = {
        {L"plain", true, L"abc"},
        {L"terminatorOnly", true, L""},
        {L"noData", false, L"untouched"},
        {L"noTerminator", true, L"whole text"},
        {L"embedded", true, L"ab"},
        {L"expand", true, L"%SystemRoot%\\x"},
        {L"dword", false, L"untouched"},
        {L"absent", false, L"untouched"},
    };
    for (const auto& c : cases) {
        std::wstring got = L"untouched";
        EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, path(), c.name, got), c.ok) << WStringToUtf8(c.name);
        EXPECT_EQ(got, c.want) << WStringToUtf8(c.name);
    }
    Bytes expanded;
    ASSERT_TRUE(RegReadBinary(HKEY_CURRENT_USER, path(), L"expand", expanded));
    std::string text = RegValueToText(REG_SZ, expanded.data(), expanded.size());
    EXPECT_EQ(text.find('%'), std::string::npos) << text;
    EXPECT_TRUE(text.size() > 2 && text.compare(text.size() - 2, 2, "\\x") == 0) << text;
}

TEST_F(RegistryTest, IntegersNeedTheirTypeAndSize) {
    Set(L"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12});
    Set(L"dword3", REG_DWORD, {1, 2, 3});
    Set(L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
    Set(L"bin4", REG_BINARY, {1, 0, 0, 0});
    struct Case {
        const wchar_t* name;
        bool dwordOk;
        bool qwordOk;
    } cases[] = {
        {L"dword", true, false},
        {L"dword3", false, false},
        {L"qword", false, true},
        {L"bin4", false, false},
        {L"absent", false, false},
    };
    for (const auto& c : cases) {
        uint32_t d = 7;
        uint64_t q = 7;
        EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, path(), c.name, d), c.dwordOk) << WStringToUtf8(c.name);
        EXPECT_EQ(RegReadQword(HKEY_CURRENT_USER, path(), c.name, q), c.qwordOk) << WStringToUtf8(c.name);
        if (!c.dwordOk) {
            EXPECT_EQ(d, 7u);
        }
        if (!c.qwordOk) {
            EXPECT_EQ(q, 7u);
        }
    }
    uint32_t d = 0;
    uint64_t q = 0;
    ASSERT_TRUE(RegReadDword(HKEY_CURRENT_USER, path(), L"dword", d));
    EXPECT_EQ(d, 0x12345678u);
    ASSERT_TRUE(RegReadQword(HKEY_CURRENT_USER, path(), L"qword", q));
    EXPECT_EQ(q, 0x0807060504030201ull);
}

TEST_F(RegistryTest, MultiStringsEndAtAnEmptyItem) {
    SetText(L"withEmpty", REG_MULTI_SZ, std::wstring(L"a\0\0b\0\0", 6));
    SetText(L"normal", REG_MULTI_SZ, std::wstring(L"one\0two\0\0", 9));
    SetText(L"unterminated", REG_MULTI_SZ, std::wstring(L"x\0y", 3));
    struct Case {
        const wchar_t* name;
        std::vector<std::wstring> want;
        const char* text;
    } cases[] = {
        {L"withEmpty", {L"a"}, "a"},
        {L"normal", {L"one", L"two"}, "one; two"},
        {L"unterminated", {L"x", L"y"}, "x; y"},
    };
    std::vector<RegValue> values = RegEnumValues(HKEY_CURRENT_USER, path());
    for (const auto& c : cases) {
        std::vector<std::wstring> got{L"old"};
        EXPECT_TRUE(RegReadMultiSz(HKEY_CURRENT_USER, path(), c.name, got));
        EXPECT_EQ(got, c.want) << WStringToUtf8(c.name);
        bool seen = false;
        for (const auto& v : values)
            if (v.name == c.name) {
                seen = true;
                EXPECT_EQ(RegValueToText(v), c.text);
            }
        EXPECT_TRUE(seen) << WStringToUtf8(c.name);
    }
    std::vector<std::wstring> untouched{L"old"};
    EXPECT_FALSE(RegReadMultiSz(HKEY_CURRENT_USER, path(), L"absent", untouched));
    EXPECT_EQ(untouched, std::vector<std::wstring>{L"old"});
}

TEST_F(RegistryTest, EnumeratedValuesKeepTypeAndData) {
    Bytes b64(64, 0xAB), b65(65, 0xCD);
    Set(L"b64", REG_BINARY, b64);
    Set(L"b65", REG_BINARY, b65);
    Set(L"d3", REG_DWORD, {1, 2, 3});
    Set(nullptr, REG_SZ, {'d', 0, 0, 0});
    int32_t status = -1;
    std::vector<RegValue> values = RegEnumValues(HKEY_CURRENT_USER, path(), &status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(values.size(), 4u);
    std::map<std::wstring, std::string> texts;
    for (const auto& v : values) texts[v.name] = RegValueToText(v);
    EXPECT_EQ(texts[L"b64"], HexEncode(b64));
    EXPECT_EQ(texts[L"b65"], HexEncode(b65.data(), 64) + "\xE2\x80\xA6");
    EXPECT_EQ(texts[L"d3"], "010203");
    EXPECT_EQ(texts[L""], "d");
    Bytes raw;
    ASSERT_TRUE(RegReadBinary(HKEY_CURRENT_USER, path(), L"b65", raw));
    EXPECT_EQ(raw, b65);
    Set(L"empty", REG_BINARY, {});
    raw = {1};
    EXPECT_TRUE(RegReadBinary(HKEY_CURRENT_USER, path(), L"empty", raw));
    EXPECT_TRUE(raw.empty());
    raw = {1};
    EXPECT_FALSE(RegReadBinary(HKEY_CURRENT_USER, path(), L"absent", raw));
    EXPECT_EQ(raw, Bytes{1});
}

TEST_F(RegistryTest, LongValueNameStopsTheWalk) {
    Set(L"first", REG_DWORD, {1, 0, 0, 0});
    std::wstring longName(600, L'n');
    Set(longName.c_str(), REG_DWORD, {2, 0, 0, 0});
    Set(L"last", REG_DWORD, {3, 0, 0, 0});
    int32_t status = 0;
    std::vector<RegValue> values = RegEnumValues(HKEY_CURRENT_USER, path(), &status);
    EXPECT_EQ(status, ERROR_MORE_DATA);
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values[0].name, L"first");
    for (const auto& v : values) EXPECT_NE(v.name, longName);
}

TEST_F(RegistryTest, SubkeysInOrderUntilANameTooLong) {
    for (const wchar_t* name : {L"alpha", L"beta"}) {
        UniqueHKey sub;
        ASSERT_EQ(RegCreateKeyExW(key_.get(), name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.put(), nullptr), ERROR_SUCCESS);
    }
    EXPECT_EQ(RegEnumSubkeys(HKEY_CURRENT_USER, path()), (std::vector<std::wstring>{L"alpha", L"beta"}));
    std::wstring longName(256, L'z');
    UniqueHKey sub;
    LONG rc = RegCreateKeyExW(key_.get(), longName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.put(), nullptr);
    if (rc == ERROR_SUCCESS) {
        EXPECT_EQ(RegEnumSubkeys(HKEY_CURRENT_USER, path()), (std::vector<std::wstring>{L"alpha", L"beta"}));
    }
    const wchar_t* absent = L"Software\\VornixQuelmTest-absent";
    EXPECT_TRUE(RegEnumSubkeys(HKEY_CURRENT_USER, absent).empty());
    int32_t status = 0;
    EXPECT_TRUE(RegEnumValues(HKEY_CURRENT_USER, absent, &status).empty());
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace vorq
