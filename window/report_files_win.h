// The Windows services of report export and open: the common file dialogs
// owned by the main window, the replacing write, the bounded read, local time.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "window/report_files.h"

namespace vorq {

// Dialogs, files and clock; the caller adds lastSnapshot, report and post.
ReportFileServices WindowReportFileServices(HWND owner);

// The file services alone (paths in UTF-8), for the tests.
FileWriteResult WriteReportFile(const std::string& path, std::string_view bytes);
std::optional<std::string> ReadReportFile(const std::string& path, uint64_t maxBytes);

}  // namespace vorq
