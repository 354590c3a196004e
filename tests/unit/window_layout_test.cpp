#include <gtest/gtest.h>

#include "window/layout.h"
#include "window/language.h"

namespace vorq {
namespace {

TEST(WindowLayout, WantedAndInitialSizes) {
    EXPECT_EQ(WantedWindowSize(96, false), (WinSize{1400, 900}));
    EXPECT_EQ(WantedWindowSize(0, false), (WinSize{1400, 900}));  // 0 counts as 96
    EXPECT_EQ(WantedWindowSize(144, false), (WinSize{2100, 1350}));
    EXPECT_EQ(WantedWindowSize(96, true), (WinSize{1500, 1000}));
    EXPECT_EQ(WantedWindowSize(120, false), (WinSize{1750, 1125}));
    EXPECT_EQ(ScaleForDpi(1, 144), 2);  // 1.5 rounds up, as MulDiv does
    EXPECT_EQ(InitialWindowSize(144, false, {0, 0, 1920, 1040}), (WinSize{1920, 1040}));
    EXPECT_EQ(InitialWindowSize(96, false, {0, 0, 1920, 1040}), (WinSize{1400, 900}));
}

TEST(WindowLayout, FitIntoWorkArea) {
    const WinRect work{0, 0, 1920, 1040};
    struct Case {
        const char* what;
        WinRect current;
        WinSize wanted;
        WinRect work;
        WinRect expect;
    };
    const Case cases[] = {
        {"larger than the work area: the whole work area", {100, 50, 200, 150}, {2100, 1350}, work, {0, 0, 1920, 1040}},
        {"fits where it is", {100, 50, 200, 150}, {1400, 900}, work, {100, 50, 1500, 950}},
        {"left of the work area: moved right", {-300, 10, 0, 0}, {1400, 900}, work, {0, 10, 1400, 910}},
        {"sticks out on the right: ends at the right edge", {1000, 100, 0, 0}, {1400, 900}, work, {520, 100, 1920, 1000}},
        {"sticks out at the bottom", {0, 500, 0, 0}, {1400, 900}, work, {0, 140, 1400, 1040}},
        {"work area off the origin", {0, 0, 0, 0}, {1400, 900}, {1920, 40, 3840, 1080}, {1920, 40, 3320, 940}},
        {"zero size becomes 1 by 1", {10, 10, 0, 0}, {0, 0}, work, {10, 10, 11, 11}},
        {"extreme coordinates stay in range", {INT32_MIN, INT32_MAX, 0, 0}, {1400, 900}, work, {0, 140, 1400, 1040}},
    };
    for (const Case& c : cases) EXPECT_EQ(FitIntoWorkArea(c.current, c.wanted, c.work), c.expect) << c.what;
}

TEST(WindowLayout, MinimumTrackingSizeAndDpiChange) {
    EXPECT_EQ(MinTrackSize(96, {0, 0, 1920, 1040}), (WinSize{960, 620}));
    EXPECT_EQ(MinTrackSize(192, {0, 0, 1920, 1040}), (WinSize{1920, 1040}));
    EXPECT_EQ(MinTrackSize(144, {0, 0, 1280, 720}), (WinSize{1280, 720}));
    EXPECT_EQ(MinTrackSize(144, {0, 0, 3840, 2160}), (WinSize{1440, 930}));
    // A suggested rectangle from a DPI change keeps its size where it fits.
    EXPECT_EQ(FitSuggestedRect({100, 100, 1500, 1000}, {0, 0, 1920, 1040}), (WinRect{100, 100, 1500, 1000}));
    EXPECT_EQ(FitSuggestedRect({1000, 100, 3100, 1450}, {0, 0, 1920, 1040}), (WinRect{0, 0, 1920, 1040}));
    EXPECT_EQ(FitSuggestedRect({500, 500, 500, 400}, {0, 0, 1920, 1040}), (WinRect{500, 500, 501, 501}));
}

TEST(LanguageCode, FormAndStartupScript) {
    struct Case {
        const char* code;
        bool valid;
    };
    const Case cases[] = {{"de", true},       {"zh-Hans", true}, {"abcdefgh", true},  {"x", false},
                          {"de_DE", false},   {"", false},       {"abcdefghi", false}, {"de ", false},
                          {"d'e", false},     {"\xC3\xA9t", false}};
    for (const Case& c : cases) EXPECT_EQ(IsValidLanguageCode(c.code), c.valid) << c.code;
    EXPECT_EQ(StartupScript("zh-Hans"), "window.__VORQ_INIT={lang:'zh-Hans'};");
    EXPECT_EQ(StartupScript("x"), "window.__VORQ_INIT={};");
    EXPECT_EQ(StartupScript("de_DE"), "window.__VORQ_INIT={};");
    EXPECT_EQ(StartupScript("'};alert(1);//"), "window.__VORQ_INIT={};");
}

TEST(LanguageCode, FileText) {
    EXPECT_EQ(LanguageFromFileText("de\r\n"), "de");
    EXPECT_EQ(LanguageFromFileText(std::string("\0 fr\t", 5)), "fr");
    EXPECT_EQ(LanguageFromFileText("deutsch-de"), "");
    EXPECT_EQ(LanguageFromFileText("zh Hans"), "");
    EXPECT_EQ(LanguageFromFileText(""), "");
}

}  // namespace
}  // namespace vorq
