// The inspector window on Windows: the process-wide values the entry sets,
// the window procedure, the page host, the page messages from any thread,
// and the language file.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "core/cli.h"

namespace vorq {

// Set by the entry before the window starts (the window handle when it is made).
extern HWND MainWindow;
extern std::string LanguageCode;  // UTF-8; may be empty or invalid
extern std::wstring UiFilePath;
extern std::wstring CaptureDir;   // non-empty: capture mode
extern bool DevToolsEnabled;

inline constexpr UINT kPageMessage = WM_APP + 1;
inline constexpr char kWindowClass[] = "VornixQuelmWnd";
// WebView2 refuses a page text above 2 MiB given to NavigateToString.
inline constexpr uint64_t kPageSizeLimit = 0x200000;

RECT GetWorkArea(HMONITOR monitor);
void PlaceMainWindow(HWND hwnd);
LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void InitWebView(HWND hwnd);

// The `--ui` file when it can be read within kPageSizeLimit, else the page
// embedded as RCDATA 201 (or a one-line page saying it is missing or empty).
std::wstring LoadPageHtml(const std::wstring& uiPath);
// The whole file when it holds 1 to maxBytes bytes, less a UTF-8 byte-order mark.
bool ReadWholeFile(const std::wstring& path, std::string& out, uint64_t maxBytes);
void ShowWebViewError(HRESULT hr);

// From any thread: one JSON text to the page through kPageMessage.
void PostToPage(const std::string& json);
void PostStatus(std::string_view text, std::string_view level);
void PostProgress(const std::string& stage, int pct);
// True while a scan thread runs; read by the entry after the message loop.
bool IsScanRunning();

std::wstring GetLanguageFilePath();
std::string LoadLanguageSetting();
void SaveLanguageSetting(const std::string& code);
// The same over a given folder (the tests use their own).
std::string LoadLanguageFile(const std::wstring& path);
void SaveLanguageFile(const std::wstring& folder, const std::string& code);

// The window mode of the entry: registers the class, creates and places the
// window, runs the message loop; returns the exit code. Every scan the window
// starts runs `scan`.
int RunWindow(const CliOptions& options, HINSTANCE instance, int show, ScanFn scan);

}  // namespace vorq
