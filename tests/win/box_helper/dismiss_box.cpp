// Test helper: waits for the program's main window and for a message box with
// the given caption, prints what they show, and closes the box with OK.
// Usage: dismiss_box <caption> <window class> <seconds>
// Exit codes: 0 box found and closed, 2 no box in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring Text(HWND h) {
    wchar_t buf[4096] = {};
    GetWindowTextW(h, buf, 4096);
    return buf;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM out) {
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    const std::wstring text = Text(child);
    if (lstrcmpiW(cls, L"Static") == 0 && !text.empty()) *reinterpret_cast<std::wstring*>(out) += text;
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 64;
    const std::wstring caption = argv[1];
    const std::wstring windowClass = argv[2];
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(_wtoi(argv[3])) * 1000;
    bool sawWindow = false;
    while (GetTickCount() < deadline) {
        if (!sawWindow && FindWindowW(windowClass.c_str(), nullptr)) {
            sawWindow = true;
            std::printf("window: %s\n", Utf8(windowClass).c_str());
        }
        HWND box = FindWindowW(L"#32770", caption.c_str());
        if (box) {
            Sleep(300);  // let the box finish drawing its text
            std::wstring text;
            EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&text));
            std::printf("caption: %s\ntext:\n%s\n", Utf8(Text(box)).c_str(), Utf8(text).c_str());
            std::fflush(stdout);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(200);
    }
    std::printf("no message box within the time\n");
    return 2;
}
