// The program's command line: option parsing (platform-free), the usage
// text, and the console report mode.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/driver.h"

namespace vorq {

inline constexpr char kProgramTitle[] = "VornixQuelm by Morvel K7";

struct CliOptions {
    enum class Action { Window, Report, SelfTest, Help };
    Action action = Action::Window;
    std::wstring reportPath;  // Report: the file as given
    bool raw = false;         // Report: "--export-raw" rather than "--export"
    // Window mode.
    std::wstring uiPath;
    std::wstring captureDir;
    std::wstring lang;
    bool devtools = false;
};

// `args` as CommandLineToArgvW splits them, the program first. Options are
// whole, case-sensitive words; a value option takes the next argument,
// whatever it is, and is ignored as the last argument; "--selftest" and the
// help options act at once; anything else is ignored.
CliOptions ParseCommandLine(const std::vector<std::wstring>& args);

// The usage lines joined by line feeds (UTF-8).
std::string UsageText();

// Windows build only below.

// Connects stdout and stderr to the parent's console unless stdout already
// goes to a file or a pipe.
void AttachParentConsole();
// Writes UTF-8 text where the program's output goes: to a console as UTF-16
// (WriteConsoleW, right whatever the console's code page), to a file or pipe
// as the UTF-8 bytes. PrintText uses standard output, or the console that
// AttachParentConsole joined.
bool WriteTextTo(void* handle, std::string_view utf8);
void PrintText(std::string_view utf8);
// The console progress callback: "  [%3d%%] %s\n".
void PrintProgress(const std::string& stage, int pct);
// The console report mode: scan with `scan`, write the report, print the
// summary. 0 when the report was written, else 1.
int RunCli(const std::wstring& path, bool raw, const ScanFn& scan);
// The TPM-bound key round trip of "--selftest"; its result is the exit code.
int RunSelfTest();

}  // namespace vorq
