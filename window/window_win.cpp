#include "window/window_win.h"

#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstring>
#include <utility>
#include <memory>

#include "collectors/trust/tpm_key.h"
#include "core/driver.h"
#include "core/file_write_win.h"
#include "core/report.h"
#include "core/win.h"
#include "window/capture.h"
#include "window/key_action.h"
#include "window/language.h"
#include "window/layout.h"
#include "window/page_control.h"
#include "window/protocol.h"
#include "window/report_files_win.h"
#include "window/scan.h"
#include "window/webview2_win.h"

namespace vorq {

HWND MainWindow = nullptr;
std::string LanguageCode;
std::wstring UiFilePath;
std::wstring CaptureDir;
bool DevToolsEnabled = false;

namespace {

constexpr COLORREF kBackground = RGB(0x0C, 0x0F, 0x15);
constexpr UINT_PTR kCaptureTimer = 1;

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

WinRect ToWinRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

UINT WindowDpi(HWND hwnd) {
    const UINT dpi = GetDpiForWindow(hwnd);
    return dpi ? dpi : 96;
}

bool ComEntered(HRESULT hr) { return hr == S_OK || hr == S_FALSE; }

// The scan the entry handed to RunWindow, set before the window exists.
ScanFn WindowScan;

// Both live until the process ends: detached threads and late view callbacks
// may still reach them while the entry returns.
ScanController& Scans() {
    static ScanController* scans = new ScanController([] {
        ScanServices s;
        s.collect = WindowScan;
        s.report = [](const Snapshot& snapshot) { return WriteSnapshotJson(snapshot, kReportUi); };
        s.post = [](const std::string& json) { PostToPage(json); };
        s.enterThread = [] { return ComEntered(CoInitializeEx(nullptr, COINIT_MULTITHREADED)); };
        s.leaveThread = [](bool entered) {
            if (entered) CoUninitialize();
        };
        return s;
    }());
    return *scans;
}

// The window's persisted key, one thread per action.
std::shared_ptr<const KeyActionServices> KeyActions() {
    static const auto services = [] {
        auto s = std::make_shared<KeyActionServices>();
        s->run = [](const std::string& operation) { return TpmKeyResultToJson(RunTpmKeyAction(operation)); };
        s->post = [](const std::string& json) { PostToPage(json); };
        s->startScan = [] { Scans().StartScan(); };
        s->enterThread = [] { return ComEntered(CoInitializeEx(nullptr, COINIT_MULTITHREADED)); };
        s->leaveThread = [](bool entered) {
            if (entered) CoUninitialize();
        };
        return std::shared_ptr<const KeyActionServices>(std::move(s));
    }();
    return services;
}

void ShowStartupError(const std::string& text) {
    MessageBoxW(MainWindow, ToWide(text).c_str(), ToWide(kProgramTitle).c_str(), MB_ICONERROR);
    PostMessageW(MainWindow, WM_CLOSE, 0, 0);
}

void ShowPageError(HRESULT hr) {
    ShowStartupError("The page could not be shown (" + WithoutFinalStop(HResultText(hr)) + ").");
}

void PutOnClipboard(const std::string& text) {
    const std::wstring w = ToWide(text);
    if (!OpenClipboard(MainWindow)) return;
    EmptyClipboard();
    const size_t bytes = (w.size() + 1) * sizeof(wchar_t);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (mem) {
        void* p = GlobalLock(mem);
        if (p) {
            std::memcpy(p, w.c_str(), bytes);
            GlobalUnlock(mem);
            if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
        } else {
            GlobalFree(mem);
        }
    }
    CloseClipboard();
}

ReportFileServices ReportFiles() {
    ReportFileServices s = WindowReportFileServices(MainWindow);
    s.lastSnapshot = [] { return Scans().LastSnapshot(); };
    s.report = [](const Snapshot& snapshot, bool raw) { return WriteSnapshotJson(snapshot, raw ? kReportRaw : kReportSafe); };
    s.post = [](const std::string& json) { PostToPage(json); };
    return s;
}

CaptureController& Capture();

// The page's commands on the window's thread.
class WindowCommands final : public CommandSink {
public:
    void StartScan() override { Scans().StartScan(); }
    void ExportReport(bool raw, const std::u16string& title) override { ExportReportFile(ReportFiles(), raw, title); }
    void OpenReportFile(const std::string& slot, const std::u16string& title) override {
        OpenReportFileForPage(ReportFiles(), slot, title);
    }
    void StartTpmKeyAction(const std::string& operation) override { StartKeyAction(KeyActions(), operation); }
    void CopyText(const std::string& text) override { PutOnClipboard(text); }
    void OpenUrl(const std::string& url) override {
        ShellExecuteW(MainWindow, L"open", ToWide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    void SetLanguage(const std::string& code) override {
        LanguageCode = code;
        SaveLanguageSetting(code);
    }
    void Elevate() override {
        const std::wstring exe = GetExePath();
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof(info);
        info.hwnd = MainWindow;
        info.lpVerb = L"runas";
        info.lpFile = exe.c_str();
        info.nShow = SW_SHOWNORMAL;
        if (ShellExecuteExW(&info)) PostMessageW(MainWindow, WM_CLOSE, 0, 0);
    }
    void Rendered() override { Capture().Rendered(); }
    void Shown(const std::string&) override { Capture().Shown(); }
};

PageHost& Host() {
    static PageHost* host = [] {
        // Kept with the loader until the process ends, like the host itself.
        static ViewFactory* factory = MakeWebView2Factory().release();
        static WindowCommands commands;
        PageHostServices s;
        s.clientRect = [] {
            RECT r{};
            GetClientRect(MainWindow, &r);
            return ToWinRect(r);
        };
        s.loadPage = [] { return U16(LoadPageHtml(UiFilePath)); };
        s.languageCode = [] { return LanguageCode; };
        s.devTools = [] { return DevToolsEnabled; };
        s.handleMessage = [](const std::string& message) { HandleWebMessage(message, commands); };
        s.showViewError = [](int32_t hr) { ShowWebViewError(hr); };
        s.showPageError = [](int32_t hr) { ShowPageError(hr); };
        return new PageHost(*factory, std::move(s));
    }();
    return *host;
}

CaptureController& Capture() {
    static CaptureController* capture = new CaptureController(U16(CaptureDir), [] {
        CaptureServices s;
        s.view = [] { return Host().View(); };
        s.createFolder = [] { CreateDirectoryW(CaptureDir.c_str(), nullptr); };
        s.startTimer = [] { SetTimer(MainWindow, kCaptureTimer, kCaptureSettleMs, nullptr); };
        s.closeWindow = [] { PostMessageW(MainWindow, WM_CLOSE, 0, 0); };
        return s;
    }());
    return *capture;
}

}  // namespace

RECT GetWorkArea(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (monitor && GetMonitorInfoW(monitor, &info) && info.rcWork.left < info.rcWork.right &&
        info.rcWork.top < info.rcWork.bottom)
        return info.rcWork;
    RECT r{};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0) && r.left < r.right && r.top < r.bottom) return r;
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    return RECT{0, 0, cx > 1 ? cx : 1, cy > 1 ? cy : 1};
}

void PlaceMainWindow(HWND hwnd) {
    RECT current{};
    if (!GetWindowRect(hwnd, &current)) return;
    const WinSize wanted = WantedWindowSize(WindowDpi(hwnd), !CaptureDir.empty());
    const RECT work = GetWorkArea(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
    const WinRect r = FitIntoWorkArea(ToWinRect(current), wanted, ToWinRect(work));
    SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE | SWP_NOZORDER);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kPageMessage: {
            std::unique_ptr<std::u16string> text(reinterpret_cast<std::u16string*>(lParam));
            if (text) Host().PostJson(*text);
            return 0;
        }
        case WM_TIMER:
            if (wParam == kCaptureTimer) {
                KillTimer(hwnd, kCaptureTimer);
                Capture().TimerFired();
            }
            return 0;
        case WM_SIZE:
            Host().Resize();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            const RECT work = GetWorkArea(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
            const WinSize min = MinTrackSize(WindowDpi(hwnd), ToWinRect(work));
            info->ptMinTrackSize.x = min.width;
            info->ptMinTrackSize.y = min.height;
            return 0;
        }
        case WM_DPICHANGED: {
            const RECT suggested = *reinterpret_cast<const RECT*>(lParam);
            const RECT work = GetWorkArea(MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST));
            const WinRect r = FitSuggestedRect(ToWinRect(suggested), ToWinRect(work));
            SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE | SWP_NOZORDER);
            return 0;
        }
        case WM_DESTROY:
            Host().Destroy();
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void InitWebView(HWND) { Host().Init(MainWindow, U16(GetAppDataDir() + L"\\WebView2")); }

void ShowWebViewError(HRESULT hr) {
    ShowStartupError("Microsoft Edge WebView2 Runtime could not be started (" + WithoutFinalStop(HResultText(hr)) +
                     ").\n\nInstall the WebView2 Runtime, or collect a snapshot without the UI:\n"
                     "VornixQuelm.exe --export snapshot.json");
}

bool ReadWholeFile(const std::wstring& path, std::string& out, uint64_t maxBytes) {
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f.get(), &size) || size.QuadPart <= 0 || static_cast<uint64_t>(size.QuadPart) > maxBytes ||
        size.QuadPart > MAXDWORD)
        return false;
    out.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!ReadFile(f.get(), out.data(), static_cast<DWORD>(out.size()), &got, nullptr) || got != out.size()) return false;
    if (out.size() >= 3 && out.compare(0, 3, "\xEF\xBB\xBF") == 0) out.erase(0, 3);
    return true;
}

std::wstring LoadPageHtml(const std::wstring& uiPath) {
    std::string text;
    if (!uiPath.empty() && ReadWholeFile(uiPath, text, kPageSizeLimit)) return ToWide(text);
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(self, MAKEINTRESOURCEW(201), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!res) return L"<html><body>UI resource missing</body></html>";
    HGLOBAL loaded = LoadResource(self, res);
    const auto* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    const DWORD size = SizeofResource(self, res);
    if (!data || size == 0) return L"<html><body>UI resource empty</body></html>";
    std::string_view page(data, size);
    if (page.size() >= 3 && page.substr(0, 3) == "\xEF\xBB\xBF") page.remove_prefix(3);
    return ToWide(std::string(page));
}

void PostToPage(const std::string& json) {
    // Converted once here; the window procedure hands the same text to the view.
    auto* text = new std::u16string(Utf8ToUtf16(json));
    if (!MainWindow || !PostMessageW(MainWindow, kPageMessage, 0, reinterpret_cast<LPARAM>(text))) delete text;
}

void PostStatus(std::string_view text, std::string_view level) { PostToPage(StatusMessage(text, level)); }

void PostProgress(const std::string& stage, int pct) { PostToPage(ProgressMessage(stage, pct)); }

bool IsScanRunning() { return Scans().Running(); }

std::wstring GetLanguageFilePath() { return GetAppDataDir() + L"\\language.txt"; }

std::string LoadLanguageFile(const std::wstring& path) {
    std::string text;
    if (!ReadWholeFile(path, text, kLanguageFileLimit)) return std::string();
    return LanguageFromFileText(text);
}

void SaveLanguageFile(const std::wstring& folder, const std::string& code) {
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteFileReplacing(folder + L"\\language.txt", code);
}

std::string LoadLanguageSetting() { return LoadLanguageFile(GetLanguageFilePath()); }

void SaveLanguageSetting(const std::string& code) { SaveLanguageFile(GetAppDataDir(), code); }

int RunWindow(const CliOptions& options, HINSTANCE instance, int show, ScanFn scan) {
    WindowScan = std::move(scan);
    LanguageCode = WStringToUtf8(options.lang);
    UiFilePath = options.uiPath;
    CaptureDir = options.captureDir;
    DevToolsEnabled = options.devtools;
    if (LanguageCode.empty()) LanguageCode = LoadLanguageSetting();
    if (FAILED(OleInitialize(nullptr))) return 1;

    const std::wstring className = ToWide(kWindowClass);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(101));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(101), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    wc.hbrBackground = CreateSolidBrush(kBackground);
    wc.lpszClassName = className.c_str();
    RegisterClassExW(&wc);

    UINT dpi = GetDpiForSystem();
    if (dpi == 0) dpi = 96;
    const RECT work = GetWorkArea(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
    const WinSize size = InitialWindowSize(dpi, !CaptureDir.empty(), ToWinRect(work));
    MainWindow = CreateWindowExW(0, className.c_str(), ToWide(kProgramTitle).c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, size.width, size.height, nullptr, nullptr, instance, nullptr);
    if (!MainWindow) return 1;
    PlaceMainWindow(MainWindow);

    // The dark title bar, from the system folder's dwmapi.dll only; the library stays loaded.
    if (HMODULE dwm = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        using SetAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
        if (auto set = GetProc<SetAttributeFn>(dwm, "DwmSetWindowAttribute")) {
            const BOOL dark = TRUE;
            set(MainWindow, 20 /* DWMWA_USE_IMMERSIVE_DARK_MODE */, &dark, sizeof(dark));
        }
    }
    ShowWindow(MainWindow, show);
    UpdateWindow(MainWindow);
    InitWebView(MainWindow);

    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    OleUninitialize();
    const int code = static_cast<int>(msg.wParam);
    // A running scan thread must not keep the process alive.
    if (IsScanRunning()) ExitProcess(static_cast<UINT>(code));
    return code;
}

}  // namespace vorq
