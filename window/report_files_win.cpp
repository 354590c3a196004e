#include "window/report_files_win.h"

#include <commdlg.h>

#include <vector>

#include "core/file_write_win.h"
#include "core/text.h"
#include "core/win.h"
#include "window/window_win.h"

namespace vorq {

namespace {

// Two pairs, each text and pattern NUL-terminated, the list ending in a second NUL.
constexpr wchar_t kFilter[] = L"JSON report (*.json)\0*.json\0All files (*.*)\0*.*\0";

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

std::optional<std::string> RunDialog(HWND owner, const std::u16string& title, const std::string& initialName, bool save) {
    std::vector<wchar_t> file(MAX_PATH, L'\0');
    const std::wstring initial = ToWide(initialName);
    if (initial.size() < file.size()) std::copy(initial.begin(), initial.end(), file.begin());
    const std::wstring caption = Wide(title);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kFilter;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = caption.c_str();
    BOOL ok;
    if (save) {
        ofn.lpstrDefExt = L"json";
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
        ok = GetSaveFileNameW(&ofn);
    } else {
        ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
        ok = GetOpenFileNameW(&ofn);
    }
    // Cancelled, or the dialog could not run: nothing happens either way.
    if (!ok) return std::nullopt;
    return WStringToUtf8(file.data());
}

}  // namespace

FileWriteResult WriteReportFile(const std::string& path, std::string_view bytes) {
    DWORD error = 0;
    if (WriteFileReplacing(ToWide(path), bytes, &error)) return {true, ""};
    return {false, Win32ErrorText(error)};
}

std::optional<std::string> ReadReportFile(const std::string& path, uint64_t maxBytes) {
    std::string text;
    if (!ReadWholeFile(ToWide(path), text, maxBytes)) return std::nullopt;
    return text;
}

ReportFileServices WindowReportFileServices(HWND owner) {
    ReportFileServices s;
    s.localTime = [] {
        SYSTEMTIME t{};
        GetLocalTime(&t);
        return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute};
    };
    s.saveDialog = [owner](const std::u16string& title, const std::string& name) { return RunDialog(owner, title, name, true); };
    s.openDialog = [owner](const std::u16string& title) { return RunDialog(owner, title, std::string(), false); };
    s.writeFile = WriteReportFile;
    s.readFile = ReadReportFile;
    return s;
}

}  // namespace vorq
