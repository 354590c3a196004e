#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/cli.h"
#include "core/file_write_win.h"
#include "core/win.h"
#include "window/report_files_win.h"
#include "window/window_win.h"

namespace vorq {
namespace {

// A fresh folder under the temporary folder, removed with its files.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* name) {
        wchar_t tmp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, tmp);
        path = std::wstring(tmp) + name + std::to_wstring(GetCurrentProcessId());
        Remove();
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~TempFolder() { Remove(); }
    void Remove() {
        WIN32_FIND_DATAW d{};
        HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &d);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileW((path + L"\\" + d.cFileName).c_str());
            } while (FindNextFileW(h, &d));
            FindClose(h);
        }
        RemoveDirectoryW(path.c_str());
    }
    std::wstring path;
};

TEST(LanguageFile, RoundTripAndBadFiles) {
    TempFolder dir(L"vorq-lang-");
    const std::wstring file = dir.path + L"\\language.txt";
    EXPECT_EQ(LoadLanguageFile(file), "");  // no file yet
    SaveLanguageFile(dir.path, "zh-Hant");
    EXPECT_EQ(LoadLanguageFile(file), "zh-Hant");
    SaveLanguageFile(dir.path, "pt");  // replaced, not overwritten in place
    EXPECT_EQ(LoadLanguageFile(file), "pt");

    struct Case {
        std::string bytes;
        const char* expect;
    };
    const Case cases[] = {
        {"de\r\n", "de"},
        {"\xEF\xBB\xBF" "fr", "fr"},
        {"deutsch-de", ""},
        {"", ""},
        {std::string(62, ' ') + "de", "de"},  // 64 bytes: read
        {std::string(63, ' ') + "de", ""},    // 65 bytes: too long
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileReplacing(file, c.bytes));
        EXPECT_EQ(LoadLanguageFile(file), c.expect) << c.bytes;
    }

    // The folder is made again when it was deleted.
    dir.Remove();
    SaveLanguageFile(dir.path, "es");
    EXPECT_EQ(LoadLanguageFile(file), "es");
}

TEST(PageText, UiFileLimitsAndFallback) {
    TempFolder dir(L"vorq-page-");
    const std::wstring file = dir.path + L"\\page.html";
    // The test program has no embedded page, which makes the fallback visible.
    const std::wstring missing = L"<html><body>UI resource missing</body></html>";
    EXPECT_EQ(LoadPageHtml(L""), missing);
    EXPECT_EQ(LoadPageHtml(dir.path + L"\\none.html"), missing);

    std::string page(kPageSizeLimit, 'a');
    page.replace(0, 9, "<p>\xC3\xA9</p>");
    ASSERT_TRUE(WriteFileReplacing(file, page));
    const std::wstring shown = LoadPageHtml(file);
    EXPECT_EQ(shown.size(), kPageSizeLimit - 1);  // the two-byte character is one unit
    EXPECT_EQ(shown.substr(0, 9), L"<p>\u00e9</p>a");

    ASSERT_TRUE(WriteFileReplacing(file, page + "a"));  // one byte above the view's limit
    EXPECT_EQ(LoadPageHtml(file), missing);

    ASSERT_TRUE(WriteFileReplacing(file, "\xEF\xBB\xBF"));  // only the mark: an empty page
    EXPECT_EQ(LoadPageHtml(file), L"");
    ASSERT_TRUE(WriteFileReplacing(file, ""));
    EXPECT_EQ(LoadPageHtml(file), missing);
}

TEST(PageText, ReadWholeFileLimits) {
    TempFolder dir(L"vorq-read-");
    const std::wstring file = dir.path + L"\\f.bin";
    ASSERT_TRUE(WriteFileReplacing(file, "\xEF\xBB\xBFok"));
    std::string out;
    EXPECT_TRUE(ReadWholeFile(file, out, 5));
    EXPECT_EQ(out, "ok");
    EXPECT_FALSE(ReadWholeFile(file, out, 4));
    EXPECT_FALSE(ReadWholeFile(dir.path + L"\\none", out, 100));
}


// Export and open over the window's real file services, with the dialogs
// answered by the test.
struct FileRig {
    std::string chosen;
    std::vector<std::string> posted;
    ReportFileServices services = WindowReportFileServices(nullptr);
    FileRig() {
        services.lastSnapshot = [] { return std::make_shared<const Snapshot>(); };
        services.report = [](const Snapshot&, bool raw) { return std::string(raw ? "{\"raw\":1}" : "{\"safe\":1}"); };
        services.saveDialog = [this](const std::u16string&, const std::string&) { return std::optional<std::string>(chosen); };
        services.openDialog = [this](const std::u16string&) { return std::optional<std::string>(chosen); };
        services.post = [this](const std::string& json) { posted.push_back(json); };
    }
};

std::string ReadBack(const std::wstring& path) {
    std::string out;
    return ReadWholeFile(path, out, 1 << 20) ? out : std::string("<unreadable>");
}

TEST(ReportFiles, ExportReplacesOnlyAfterAWholeWrite) {
    TempFolder dir(L"vorq-export-");
    FileRig rig;
    const std::wstring file = dir.path + L"\\r.json";
    rig.chosen = WStringToUtf8(file);
    ExportReportFile(rig.services, false, u"t");
    EXPECT_EQ(ReadBack(file), "{\"safe\":1}");
    ASSERT_EQ(rig.posted.size(), 1u);
    EXPECT_NE(rig.posted[0].find("\"level\":\"ok\",\"text\":\"Saved "), std::string::npos) << rig.posted[0];

    // A read-only target: the write fails with the error of that step and the report stays.
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    ExportReportFile(rig.services, true, u"t");
    EXPECT_EQ(ReadBack(file), "{\"safe\":1}");
    ASSERT_EQ(rig.posted.size(), 2u);
    EXPECT_NE(rig.posted[1].find("\"level\":\"bad\",\"text\":\"Could not write "), std::string::npos) << rig.posted[1];
    EXPECT_NE(rig.posted[1].find("r.json: error 5"), std::string::npos) << rig.posted[1];
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ReportFiles, OpenChecksSizeAndEncodingFirst) {
    TempFolder dir(L"vorq-open-");
    const std::wstring good = dir.path + L"\\good.json";
    const std::wstring latin = dir.path + L"\\latin.json";
    const std::wstring big = dir.path + L"\\big.json";
    ASSERT_TRUE(WriteFileReplacing(good, "\xEF\xBB\xBF{\"schema\":\"vorq.snapshot/1\"}"));
    ASSERT_TRUE(WriteFileReplacing(latin, "{\"x\":\"M\xFCller\"}"));
    ASSERT_TRUE(WriteFileReplacing(big, std::string(kOpenFileLimit + 1, ' ')));
    FileRig rig;
    for (const std::wstring& f : {good, latin, big}) {
        rig.chosen = WStringToUtf8(f);
        OpenReportFileForPage(rig.services, "DA", u"t");
    }
    ASSERT_EQ(rig.posted.size(), 3u);
    EXPECT_EQ(rig.posted[0], R"({"type":"file","slot":"DA","name":"good.json","text":"{\"schema\":\"vorq.snapshot/1\"}"})");
    EXPECT_NE(rig.posted[1].find("latin.json: not UTF-8 text\"}"), std::string::npos) << rig.posted[1];
    EXPECT_NE(rig.posted[2].find("\"text\":\"Could not read "), std::string::npos) << rig.posted[2];
    EXPECT_EQ(rig.posted[2].substr(rig.posted[2].size() - 10), "big.json\"}");
}

}  // namespace
}  // namespace vorq
