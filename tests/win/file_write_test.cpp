#include <gtest/gtest.h>

#include <string>

#include "core/file_write_win.h"
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

// Files in the target's folder whose names start with the target's name and
// a dot: the temporary files a write may have left behind.
int Leftovers(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((path + L".*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    // The pattern also matches the target itself (an empty extension).
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    int n = 0;
    do n += name != found.cFileName;
    while (FindNextFileW(h, &found));
    FindClose(h);
    return n;
}

std::wstring TempFolder() {
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    return tmp;
}

TEST(WriteFileReplacing, CreatesAndReplaces) {
    const std::wstring path = TempFolder() + L"vorq-write-\u00e9-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    for (const std::string& text : {std::string("a longer first text"), std::string("short\0x", 7), std::string()}) {
        ASSERT_TRUE(WriteFileReplacing(path, text));
        EXPECT_EQ(ReadBack(path), text);
        EXPECT_EQ(Leftovers(path), 0);
    }
    DeleteFileW(path.c_str());
}

TEST(WriteFileReplacing, FailureKeepsTheOldFile) {
    const std::wstring folder = TempFolder() + L"vorq-keep-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring readOnly = folder + L"\\read-only.json";
    const std::wstring dir = folder + L"\\a-folder";
    ASSERT_TRUE(WriteFileReplacing(readOnly, "{\"old\":1}"));
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    struct Case {
        const wchar_t* name;
        std::wstring path;
    } cases[] = {
        {L"read-only target", readOnly},
        {L"target is a folder", dir},
        {L"missing folder", folder + L"\\no-such-folder\\r.json"},
    };
    for (const Case& c : cases) {
        DWORD error = 0;
        EXPECT_FALSE(WriteFileReplacing(c.path, "{\"new\":2}", &error)) << c.name;
        EXPECT_NE(error, 0u) << c.name;
        EXPECT_EQ(Leftovers(c.path), 0) << c.name;
    }
    EXPECT_EQ(ReadBack(readOnly), "{\"old\":1}");
    EXPECT_EQ(GetFileAttributesW(dir.c_str()) & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(readOnly.c_str());
    RemoveDirectoryW(dir.c_str());
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str())) << "the folder holds only what the test made";
}

}  // namespace
}  // namespace vorq
