#include <gtest/gtest.h>

#include "core/cli.h"

namespace vorq {
namespace {

using Action = CliOptions::Action;

TEST(CommandLine, ParsesOptions) {
    struct Case {
        std::vector<std::wstring> args;  // after the program name
        Action action;
        std::wstring path;
        bool raw;
    } cases[] = {
        {{}, Action::Window, L"", false},
        {{L"--export", L"r.json"}, Action::Report, L"r.json", false},
        {{L"--export-raw", L"r.json"}, Action::Report, L"r.json", true},
        {{L"--export"}, Action::Window, L"", false},                            // value missing: ignored
        {{L"--export", L"a.json", L"--export-raw", L"b.json"}, Action::Report, L"b.json", true},
        {{L"--export-raw", L"a.json", L"--export", L"b.json"}, Action::Report, L"b.json", false},
        {{L"--export", L"--help"}, Action::Report, L"--help", false},          // any next argument is the value
        {{L"--export", L""}, Action::Window, L"", false},                       // empty path opens the window
        {{L"--export", L"r.json", L"--help"}, Action::Help, L"", false},
        {{L"--help", L"--export", L"r.json"}, Action::Help, L"", false},
        {{L"-h"}, Action::Help, L"", false},
        {{L"/?"}, Action::Help, L"", false},
        {{L"--selftest", L"--help"}, Action::SelfTest, L"", false},
        {{L"--export", L"r.json", L"--selftest"}, Action::SelfTest, L"", false},
        {{L"--EXPORT", L"r.json"}, Action::Window, L"", false},                 // case-sensitive
        {{L"--unknown", L"--export", L"r.json", L"extra"}, Action::Report, L"r.json", false},
        {{L"-help"}, Action::Window, L"", false},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> args{L"VornixQuelm.exe"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CliOptions o = ParseCommandLine(args);
        std::string shown;
        for (const std::wstring& a : c.args) shown += std::string(a.begin(), a.end()) + " ";
        EXPECT_EQ(o.action, c.action) << shown;
        EXPECT_EQ(o.reportPath, c.path) << shown;
        EXPECT_EQ(o.raw, c.raw) << shown;
    }
}

TEST(CommandLine, WindowOptionsKeepTheLastValue) {
    CliOptions o = ParseCommandLine({L"x", L"--lang", L"de", L"--ui", L"p.html", L"--devtools", L"--capture", L"c1",
                                     L"--capture", L"c2", L"--lang", L"not a code!", L"--ui"});
    EXPECT_EQ(o.action, Action::Window);
    EXPECT_EQ(o.lang, L"not a code!");  // validated by the window, not here
    EXPECT_EQ(o.uiPath, L"p.html");
    EXPECT_EQ(o.captureDir, L"c2");
    EXPECT_TRUE(o.devtools);
    EXPECT_EQ(ParseCommandLine({}).action, Action::Window);  // no arguments at all
}

TEST(CommandLine, UsageText) {
    const std::string u = UsageText();
    EXPECT_EQ(u.rfind("VornixQuelm by Morvel K7 [options]\n\n  (no options)            open the inspector window\n", 0), 0u);
    EXPECT_NE(u.find("\n  --ui <file.html>        developer: load the page from a file instead of the embedded one\n\n"),
              std::string::npos);
    EXPECT_NE(u.back(), '\n');
    EXPECT_NE(u.substr(u.rfind('\n')).find("  \xC2\xB7  "), std::string::npos);
}

}  // namespace
}  // namespace vorq
