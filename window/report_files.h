// Report export and open for the page: the save and open dialogs, the file
// writes and reads are injected, so the whole path from the page's command
// to the message it gets back runs in the host tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/snapshot.h"

namespace vorq {

// Opened files are untrusted and go whole into one page message.
inline constexpr uint64_t kOpenFileLimit = 0x4000000;  // 64 MiB

struct LocalTime {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

struct FileWriteResult {
    bool ok = false;
    std::string error;  // the system's text for the step that failed
};

struct ReportFileServices {
    // The last finished scan; null before the first.
    std::function<std::shared_ptr<const Snapshot>()> lastSnapshot;
    // The report text of a Snapshot, privacy-safe or raw.
    std::function<std::string(const Snapshot&, bool raw)> report;
    std::function<LocalTime()> localTime;
    // The dialogs: the chosen path (UTF-8), or nothing when cancelled.
    std::function<std::optional<std::string>(const std::u16string& title, const std::string& defaultName)> saveDialog;
    std::function<std::optional<std::string>(const std::u16string& title)> openDialog;
    // Replaces the file only once every byte is written.
    std::function<FileWriteResult(const std::string& path, std::string_view bytes)> writeFile;
    // The whole file when it holds 1 to maxBytes bytes (less a UTF-8 byte-order mark).
    std::function<std::optional<std::string>(const std::string& path, uint64_t maxBytes)> readFile;
    // One JSON message to the page.
    std::function<void(const std::string&)> post;
};

// "vorq-report-20260303-0905.json" (privacy-safe) or "vorq-raw-...".
std::string DefaultExportName(bool raw, const LocalTime& t);
// The part of a path after its last folder separator.
std::string FileNameOfPath(std::string_view path);
// {"type":"file","slot":...,"name":...,"text":...}
std::string FileMessage(std::string_view slot, std::string_view name, std::string_view text);

// Nothing before the first scan; a cancelled dialog ends silently; else one
// status message: "Saved <path>" or "Could not write <path>: <error>".
void ExportReportFile(const ReportFileServices& s, bool raw, const std::u16string& title);
// A cancelled dialog ends silently; a file that is empty, above
// kOpenFileLimit, unreadable or not UTF-8 gives "Could not read <path>..."
// and nothing else reaches the page; otherwise the "file" message.
void OpenReportFileForPage(const ReportFileServices& s, const std::string& slot, const std::u16string& title);

}  // namespace vorq
