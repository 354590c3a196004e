// The page's text commands and the host's JSON messages. The matching is
// pure: each command reaches one call of a CommandSink, which the window
// implements (and the tests record).
#pragma once

#include <string>
#include <string_view>

namespace vorq {

class CommandSink {
public:
    virtual ~CommandSink() = default;
    virtual void StartScan() = 0;
    virtual void ExportReport(bool raw, const std::u16string& title) = 0;
    // `slot` has passed IsValidSlot.
    virtual void OpenReportFile(const std::string& slot, const std::u16string& title) = 0;
    virtual void StartTpmKeyAction(const std::string& operation) = 0;
    virtual void CopyText(const std::string& text) = 0;
    // `url` is one of kMakerSites.
    virtual void OpenUrl(const std::string& url) = 0;
    // `code` has passed IsValidLanguageCode.
    virtual void SetLanguage(const std::string& code) = 0;
    virtual void Elevate() = 0;
    virtual void Rendered() = 0;
    virtual void Shown(const std::string& tabId) = 0;
};

inline constexpr char16_t kExportSafeTitle[] = u"Export privacy-safe report";
inline constexpr char16_t kExportRawTitle[] = u"Export raw diagnostic report (contains identifiers)";
inline constexpr char16_t kOpenReportTitle[] = u"Open report file";
inline constexpr size_t kDialogTitleLimit = 120;  // UTF-16 units

// Matches one command (UTF-8) in table order and calls the sink; anything
// unknown or malformed is ignored.
void HandleWebMessage(std::string_view message, CommandSink& sink);

// The text after the first '|' when something follows it, control units
// shown as blanks and cut to kDialogTitleLimit units (one less where the cut
// would split a surrogate pair); else the default.
std::u16string DialogTitleFromMessage(std::string_view message, std::u16string_view defaultTitle);

// 1 to 4 characters, each an ASCII letter, digit or '-'.
bool IsValidSlot(std::string_view slot);

// True only for an exact entry of kMakerSites.
bool IsMakerSite(std::string_view url);

// {"type":"progress","stage":...,"pct":...}
std::string ProgressMessage(std::string_view stage, int pct);
// {"type":"status","level":...,"text":...}
std::string StatusMessage(std::string_view text, std::string_view level);
// A "bad" status that also tells the page the scan ended without a report:
// {"type":"status","level":"bad","text":...,"scan":"failed"}. The page tests
// the field, never the text, which it may show translated.
std::string ScanFailedMessage(std::string_view text);
// {"type":"snapshot","data":<report>} with the report inserted as JSON text.
std::string SnapshotMessage(std::string_view report);

}  // namespace vorq
