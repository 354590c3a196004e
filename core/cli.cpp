#include "core/cli.h"

#include "core/sites.h"

namespace vorq {

namespace {
// The options before an option that acts at once have no effect.
CliOptions Only(CliOptions::Action action) {
    CliOptions o;
    o.action = action;
    return o;
}
}  // namespace

CliOptions ParseCommandLine(const std::vector<std::wstring>& args) {
    CliOptions o;
    const size_t n = args.size();
    for (size_t i = 1; i < n; ++i) {
        const std::wstring& a = args[i];
        const bool hasValue = i + 1 < n;
        if ((a == L"--export" || a == L"--export-raw") && hasValue) {
            o.reportPath = args[++i];
            o.raw = a == L"--export-raw";
        } else if (a == L"--ui" && hasValue) {
            o.uiPath = args[++i];
        } else if (a == L"--capture" && hasValue) {
            o.captureDir = args[++i];
        } else if (a == L"--devtools") {
            o.devtools = true;
        } else if (a == L"--lang" && hasValue) {
            o.lang = args[++i];
        } else if (a == L"--selftest") {
            return Only(CliOptions::Action::SelfTest);
        } else if (a == L"--help" || a == L"-h" || a == L"/?") {
            return Only(CliOptions::Action::Help);
        }
    }
    if (!o.reportPath.empty()) o.action = CliOptions::Action::Report;
    return o;
}

std::string UsageText() {
    return "VornixQuelm by Morvel K7 [options]\n"
           "\n"
           "  (no options)            open the inspector window\n"
           "  --export <file.json>    collect without UI, write a privacy-safe report\n"
           "  --export-raw <file>     same, raw values included (keep local)\n"
           "  --lang <code>           UI language: ru en vi zh-Hans zh-Hant es pt fr de\n"
           "  --selftest              TPM-bound key round trip (temporary key, removed afterwards)\n"
           "  --devtools              enable WebView2 developer tools\n"
           "  --capture <dir>         developer: save a PNG of every tab into <dir> and exit\n"
           "  --ui <file.html>        developer: load the page from a file instead of the embedded one\n"
           "\n" +
           std::string(kMakerSites[0]) + "  \xC2\xB7  " + std::string(kMakerSites[1]);
}

}  // namespace vorq
