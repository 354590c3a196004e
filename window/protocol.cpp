#include "window/protocol.h"

#include "core/json.h"
#include "core/sites.h"
#include "core/text.h"
#include "window/language.h"

namespace vorq {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

bool IsValidSlot(std::string_view slot) {
    if (slot.empty() || slot.size() > 4) return false;
    for (char c : slot) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        if (!ok) return false;
    }
    return true;
}

bool IsMakerSite(std::string_view url) {
    for (std::string_view site : kMakerSites)
        if (url == site) return true;
    return false;
}

std::u16string DialogTitleFromMessage(std::string_view message, std::u16string_view defaultTitle) {
    const size_t bar = message.find('|');
    if (bar == std::string_view::npos || bar + 1 >= message.size()) return std::u16string(defaultTitle);
    std::u16string title = Utf8ToUtf16(message.substr(bar + 1));
    for (char16_t& u : title)
        if (u < 0x20) u = u' ';
    if (title.size() > kDialogTitleLimit) {
        // A character outside the basic plane stays whole or goes whole.
        const char16_t last = title[kDialogTitleLimit - 1];
        title.resize(last >= 0xD800 && last <= 0xDBFF ? kDialogTitleLimit - 1 : kDialogTitleLimit);
    }
    return title;
}

void HandleWebMessage(std::string_view message, CommandSink& sink) {
    if (message == "ready" || message == "scan") {
        sink.StartScan();
    } else if (StartsWith(message, "export:safe")) {
        sink.ExportReport(false, DialogTitleFromMessage(message, kExportSafeTitle));
    } else if (StartsWith(message, "export:raw")) {
        sink.ExportReport(true, DialogTitleFromMessage(message, kExportRawTitle));
    } else if (StartsWith(message, "open:")) {
        const std::string_view rest = message.substr(5);
        const std::string_view slot = rest.substr(0, rest.find('|'));
        if (IsValidSlot(slot)) sink.OpenReportFile(std::string(slot), DialogTitleFromMessage(message, kOpenReportTitle));
    } else if (StartsWith(message, "tpmkey:")) {
        sink.StartTpmKeyAction(std::string(message.substr(7)));
    } else if (StartsWith(message, "copy:")) {
        sink.CopyText(std::string(message.substr(5)));
    } else if (StartsWith(message, "openurl:")) {
        const std::string_view url = message.substr(8);
        if (IsMakerSite(url)) sink.OpenUrl(std::string(url));
    } else if (StartsWith(message, "setlang:")) {
        const std::string_view code = message.substr(8);
        if (IsValidLanguageCode(code)) sink.SetLanguage(std::string(code));
    } else if (message == "elevate") {
        sink.Elevate();
    } else if (message == "rendered") {
        sink.Rendered();
    } else if (StartsWith(message, "shown:")) {
        sink.Shown(std::string(message.substr(6)));
    }
}

std::string ProgressMessage(std::string_view stage, int pct) {
    JsonWriter w;
    w.BeginObject();
    w.WriteString("type", "progress");
    w.WriteString("stage", stage);
    w.WriteInt("pct", pct);
    w.EndObject();
    return w.Take();
}

std::string StatusMessage(std::string_view text, std::string_view level) {
    JsonWriter w;
    w.BeginObject();
    w.WriteString("type", "status");
    w.WriteString("level", level);
    w.WriteString("text", text);
    w.EndObject();
    return w.Take();
}

std::string ScanFailedMessage(std::string_view text) {
    JsonWriter w;
    w.BeginObject();
    w.WriteString("type", "status");
    w.WriteString("level", "bad");
    w.WriteString("text", text);
    w.WriteString("scan", "failed");
    w.EndObject();
    return w.Take();
}

std::string SnapshotMessage(std::string_view report) {
    std::string out;
    out.reserve(report.size() + 27);
    out.append("{\"type\":\"snapshot\",\"data\":").append(report).append("}");
    return out;
}

}  // namespace vorq
