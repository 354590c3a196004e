#include <gtest/gtest.h>

#include <string>

#include "core/cli.h"
#include "core/win.h"

namespace vorq {
namespace {

std::string ReadBack(const std::wstring& path) {
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string out(256, '\0');
    DWORD got = 0;
    if (!f || !ReadFile(f.get(), out.data(), 256, &got, nullptr)) return "<unreadable>";
    out.resize(got);
    return out;
}

TEST(WriteStringToFile, CreatesReplacesAndFails) {
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring path = std::wstring(tmp) + L"vorq-write-\u00e9-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    ASSERT_TRUE(WriteStringToFile(path, "a longer first text"));
    EXPECT_EQ(ReadBack(path), "a longer first text");
    ASSERT_TRUE(WriteStringToFile(path, std::string("short\0x", 7)));  // replaced, not overwritten in place
    EXPECT_EQ(ReadBack(path), std::string("short\0x", 7));
    ASSERT_TRUE(WriteStringToFile(path, ""));
    EXPECT_EQ(ReadBack(path), "");
    DeleteFileW(path.c_str());
    EXPECT_FALSE(WriteStringToFile(std::wstring(tmp) + L"vorq-no-such-folder\\r.json", "x"));
}

}  // namespace
}  // namespace vorq
