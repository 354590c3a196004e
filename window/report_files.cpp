#include "window/report_files.h"

#include "core/json.h"
#include "core/text.h"
#include "window/protocol.h"

namespace vorq {

std::string DefaultExportName(bool raw, const LocalTime& t) {
    return Format("vorq-%s-%04u%02u%02u-%02u%02u.json", raw ? "raw" : "report", t.year, t.month, t.day, t.hour, t.minute);
}

std::string FileNameOfPath(std::string_view path) {
    const size_t sep = path.find_last_of("\\/");
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string FileMessage(std::string_view slot, std::string_view name, std::string_view text) {
    JsonWriter w;
    w.BeginObject();
    w.WriteString("type", "file");
    w.WriteString("slot", slot);
    w.WriteString("name", name);
    w.WriteString("text", text);
    w.EndObject();
    return w.Take();
}

void ExportReportFile(const ReportFileServices& s, bool raw, const std::u16string& title) {
    const std::shared_ptr<const Snapshot> snapshot = s.lastSnapshot();
    if (!snapshot) return;
    const std::optional<std::string> path = s.saveDialog(title, DefaultExportName(raw, s.localTime()));
    if (!path) return;
    const FileWriteResult written = s.writeFile(*path, s.report(*snapshot, raw));
    if (written.ok)
        s.post(StatusMessage("Saved " + *path, "ok"));
    else
        s.post(StatusMessage("Could not write " + *path + ": " + written.error, "bad"));
}

void OpenReportFileForPage(const ReportFileServices& s, const std::string& slot, const std::u16string& title) {
    const std::optional<std::string> path = s.openDialog(title);
    if (!path) return;
    const std::optional<std::string> text = s.readFile(*path, kOpenFileLimit);
    if (!text) {
        s.post(StatusMessage("Could not read " + *path, "bad"));
        return;
    }
    // The message would carry replacement characters in place of the bytes;
    // the page is told instead that this is no report text.
    if (!IsWellFormedUtf8(*text)) {
        s.post(StatusMessage("Could not read " + *path + ": not UTF-8 text", "bad"));
        return;
    }
    s.post(FileMessage(slot, FileNameOfPath(*path), *text));
}

}  // namespace vorq
