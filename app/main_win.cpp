#include <windows.h>
#include <shellapi.h>

#include "app/collectors.h"
#include "core/cli.h"
#include "core/win.h"
#include "window/window_win.h"

namespace {

std::vector<std::wstring> CommandLineArguments() {
    std::vector<std::wstring> args;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return args;  // no options: the window with its defaults
    for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);
    return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    using vorq::CliOptions;
    const CliOptions options = vorq::ParseCommandLine(CommandLineArguments());
    const std::wstring title = vorq::ToWide(vorq::kProgramTitle);
    switch (options.action) {
        case CliOptions::Action::SelfTest:
            return vorq::RunSelfTest();
        case CliOptions::Action::Help:
            MessageBoxW(nullptr, vorq::ToWide(vorq::UsageText()).c_str(), title.c_str(), MB_ICONINFORMATION);
            return 0;
        case CliOptions::Action::Report:
            return vorq::RunCli(options.reportPath, options.raw, &vorq::RunCollectors);
        case CliOptions::Action::Window:
            break;
    }
    return vorq::RunWindow(options, instance, show, &vorq::RunCollectors);
}
