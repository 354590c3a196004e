#include <gtest/gtest.h>

#include <string>

#include "core/cli.h"
#include "core/win.h"

namespace vorq {
namespace {

// Non-ASCII text such as a report path reaches a console as the characters
// themselves, whatever its code page, and a file as UTF-8 bytes.
const char kLine[] = "  Saved privacy-safe snapshot: C:\\Berichte\\Gr\xC3\xBC\xC3\x9F" "e-\xE9\x9B\xAA.json\n";
const wchar_t kWide[] = L"  Saved privacy-safe snapshot: C:\\Berichte\\Gr\u00fc\u00dfe-\u96ea.json";

TEST(ConsoleText, ConsoleGetsCharactersWhateverItsCodePage) {
    UniqueFile con(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    if (!con) {
        AllocConsole();
        con.reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!con || !GetConsoleScreenBufferInfo(con.get(), &info)) {
        // Wine gives a console only to a program on a terminal; the console_text run has one.
        ASSERT_EQ(GetEnvironmentVariableW(L"VORQ_REQUIRE_CONSOLE", nullptr, 0), 0u) << "no console";
        GTEST_SKIP() << "no console in this session";
    }
    const UINT codePage = GetConsoleOutputCP();
    SetConsoleOutputCP(437);
    const COORD start = {0, info.dwCursorPosition.Y};
    SetConsoleCursorPosition(con.get(), start);
    ASSERT_TRUE(WriteTextTo(con.get(), kLine));
    SetConsoleOutputCP(codePage);
    std::wstring shown(wcslen(kWide), L'\0');
    DWORD read = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(con.get(), shown.data(), static_cast<DWORD>(shown.size()), start, &read));
    shown.resize(read);
    EXPECT_EQ(shown, kWide);
}

TEST(ConsoleText, FileGetsUtf8Bytes) {
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring path = std::wstring(tmp) + L"vorq-console-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    {
        UniqueFile f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(f);
        ASSERT_TRUE(WriteTextTo(f.get(), kLine));
    }
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    std::string bytes(256, '\0');
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(f.get(), bytes.data(), 256, &got, nullptr));
    bytes.resize(got);
    EXPECT_EQ(bytes, kLine);
}

}  // namespace
}  // namespace vorq
