#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/sites.h"
#include "core/text.h"
#include "window/protocol.h"

namespace vorq {
namespace {

// Records each call as one line.
class RecordingSink : public CommandSink {
public:
    std::vector<std::string> calls;
    void StartScan() override { calls.push_back("scan"); }
    void ExportReport(bool raw, const std::u16string& title) override {
        calls.push_back(std::string(raw ? "export raw|" : "export safe|") + Utf16ToUtf8(title.data(), title.size()));
    }
    void OpenReportFile(const std::string& slot, const std::u16string& title) override {
        calls.push_back("open " + slot + "|" + Utf16ToUtf8(title.data(), title.size()));
    }
    void StartTpmKeyAction(const std::string& op) override { calls.push_back("tpmkey " + op); }
    void CopyText(const std::string& text) override { calls.push_back("copy " + text); }
    void OpenUrl(const std::string& url) override { calls.push_back("url " + url); }
    void SetLanguage(const std::string& code) override { calls.push_back("lang " + code); }
    void Elevate() override { calls.push_back("elevate"); }
    void Rendered() override { calls.push_back("rendered"); }
    void Shown(const std::string& id) override { calls.push_back("shown " + id); }
};

std::vector<std::string> Dispatch(const std::string& message) {
    RecordingSink sink;
    HandleWebMessage(message, sink);
    return sink.calls;
}

using Calls = std::vector<std::string>;

TEST(WebMessage, CommandTable) {
    struct Case {
        std::string message;
        Calls expect;
    };
    const std::string long200(200, 'x');
    const Case cases[] = {
        {"ready", {"scan"}},
        {"scan", {"scan"}},
        {"scan ", {}},
        {"Scan", {}},
        {"readyx", {}},
        {"export:safe", {"export safe|Export privacy-safe report"}},
        {"export:safe|", {"export safe|Export privacy-safe report"}},
        {"export:safe|Sichern", {"export safe|Sichern"}},
        {"export:safeXYZ|T", {"export safe|T"}},  // text before the bar is ignored
        {"export:raw", {"export raw|Export raw diagnostic report (contains identifiers)"}},
        {"export:raw|", {"export raw|Export raw diagnostic report (contains identifiers)"}},
        {"export:raw|a\tb\nc", {"export raw|a b c"}},
        {"export:raw|" + long200, {"export raw|" + std::string(120, 'x')}},
        {"export:", {}},
        {"open:A|Open report file", {"open A|Open report file"}},
        {"open:DB|Open report file", {"open DB|Open report file"}},
        {"open:DA", {"open DA|Open report file"}},
        {"open:a-9Z", {"open a-9Z|Open report file"}},
        {"open:|x", {}},
        {"open:ABCDE|x", {}},
        {"open:a b|x", {}},
        {"open:A\xC3\xA9|x", {}},
        {"open:", {}},
        {"tpmkey:create", {"tpmkey create"}},
        {"tpmkey:", {"tpmkey "}},
        {"copy:some text|with bar", {"copy some text|with bar"}},
        {"copy:", {"copy "}},
        {"openurl:" + std::string(kMakerSites[0]), {"url " + std::string(kMakerSites[0])}},
        {"openurl:" + std::string(kMakerSites[1]), {"url " + std::string(kMakerSites[1])}},
        {"openurl:https://vornixquelm.example", {}},  // without the final slash
        {"openurl:HTTPS://VORNIXQUELM.EXAMPLE/", {}},
        {"openurl:https://vornixquelm.example/ ", {}},
        {"openurl:https://vornixquelm.example/x", {}},
        {"openurl:https://evil.example/", {}},
        {"setlang:zh-Hant", {"lang zh-Hant"}},
        {"setlang:de", {"lang de"}},
        {"setlang:zh_Hant", {}},
        {"setlang:x", {}},
        {"setlang:", {}},
        {"elevate", {"elevate"}},
        {"elevate:now", {}},
        {"rendered", {"rendered"}},
        {"shown:vm", {"shown vm"}},
        {"shown:", {"shown "}},
        {"", {}},
        {"unknown", {}},
        {std::string("scan\0", 5), {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Dispatch(c.message), c.expect) << c.message;
}

TEST(WebMessage, DialogTitles) {
    // Cut by UTF-16 units: a character outside the BMP counts two.
    std::string title;
    for (int i = 0; i < 61; ++i) title += "\xF0\x9F\x98\x80";
    const std::u16string t = DialogTitleFromMessage("open:A|" + title, u"d");
    EXPECT_EQ(t.size(), 120u);
    // One unit in front: the 120th unit would be half a pair, so the pair goes.
    const std::u16string shifted = DialogTitleFromMessage("open:A|x" + title, u"d");
    EXPECT_EQ(shifted.size(), 119u);
    EXPECT_EQ(shifted.back(), 0xDE00);
    EXPECT_EQ(DialogTitleFromMessage("export:raw|\x1F" "x\x7F", u"d"), u" x\x7F");
    EXPECT_EQ(DialogTitleFromMessage("no bar", u"default"), u"default");
}

TEST(PageMessages, Builders) {
    EXPECT_EQ(ProgressMessage("FPU", 17), R"({"type":"progress","stage":"FPU","pct":17})");
    EXPECT_EQ(ProgressMessage("Done", 100), R"({"type":"progress","stage":"Done","pct":100})");
    EXPECT_EQ(StatusMessage("Saved C:\\a \"b\"\nc", "ok"),
              R"({"type":"status","level":"ok","text":"Saved C:\\a \"b\"\nc"})");
    const std::string snap = SnapshotMessage(R"({"schema":"vorq.snapshot/1"})");
    EXPECT_EQ(snap, R"({"type":"snapshot","data":{"schema":"vorq.snapshot/1"}})");
    EXPECT_EQ(snap.substr(0, 26), R"({"type":"snapshot","data":)");
}

}  // namespace
}  // namespace vorq
