#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/text.h"
#include "fake_page_view.h"
#include "test_support.h"
#include "window/capture.h"

namespace vorq {
namespace {

using test::FakePageView;

std::string U8(const std::u16string& s) { return Utf16ToUtf8(s.data(), s.size()); }

// The controller over a fake view; the window's services become log lines.
struct Rig {
    std::vector<std::string> log;
    FakePageView view{log};
    bool hasView = true;
    CaptureController capture;

    explicit Rig(std::u16string folder = u"C:\\shots")
        : capture(std::move(folder), CaptureServices{[this]() -> PageView* { return hasView ? &view : nullptr; },
                                                     [this] { log.push_back("mkdir"); }, [this] { log.push_back("timer"); },
                                                     [this] { log.push_back("close"); }}) {}
    // The page answers every showTab with "shown:" and the timer runs out.
    void PageAnswers() {
        for (size_t guard = 0; guard < 100 && !log.empty() && log.back().rfind("run ", 0) == 0; ++guard) {
            capture.Shown();
            capture.TimerFired();
        }
    }
    size_t Count(const std::string& prefix) const {
        size_t n = 0;
        for (const auto& l : log) n += l.rfind(prefix, 0) == 0;
        return n;
    }
};

TEST(Capture, FileNamesFollowTheTabOrder) {
    EXPECT_EQ(U8(CaptureFileName(u"C:\\out", 0)), "C:\\out\\00-overview.png");
    EXPECT_EQ(U8(CaptureFileName(u"C:\\out", 1)), "C:\\out\\01-vm.png");
    EXPECT_EQ(U8(CaptureFileName(u"C:\\out", 14)), "C:\\out\\14-compare.png");
    EXPECT_EQ(U8(CaptureFileName(u"C:\\out", 15)), "C:\\out\\15-diff.png");
    EXPECT_EQ(U8(CaptureFileName(u"C:\\out", 17)), "C:\\out\\17-about.png");
}

TEST(Capture, TabsAreThePagesTabs) {
    const std::vector<uint8_t> bytes = test::ReadFixture("../../ui/js/shell.js");
    const std::string js(bytes.begin(), bytes.end());
    const size_t begin = js.find("const TABS = [");
    const size_t end = js.find("];", begin);
    ASSERT_NE(begin, std::string::npos);
    std::set<std::string> page;
    for (size_t at = js.find("id: '", begin); at < end; at = js.find("id: '", at + 1)) {
        const size_t from = at + 5;
        page.insert(js.substr(from, js.find('\'', from) - from));
    }
    const std::set<std::string> host(kUiTabIds.begin(), kUiTabIds.end());
    EXPECT_EQ(host.size(), kUiTabIds.size());
    EXPECT_EQ(page, host);
}

TEST(Capture, EveryTabThenClose) {
    Rig rig;
    rig.capture.Shown();  // before the first report: ignored
    rig.capture.TimerFired();
    EXPECT_TRUE(rig.log.empty());
    rig.capture.Rendered();
    ASSERT_EQ(rig.log.size(), 2u);
    EXPECT_EQ(rig.log[0], "mkdir");
    EXPECT_EQ(rig.log[1], "run window.showTab && showTab('overview', true);");
    rig.PageAnswers();
    EXPECT_EQ(rig.Count("capture "), 18u);
    EXPECT_EQ(rig.Count("timer"), 18u);
    EXPECT_EQ(rig.log.back(), "close");
    EXPECT_EQ(rig.log[rig.log.size() - 4], "run window.showTab && showTab('about', true);");
    EXPECT_EQ(rig.log[rig.log.size() - 2], "capture C:\\shots\\17-about.png");
    // A second scan's report does not start it again.
    rig.capture.Rendered();
    EXPECT_EQ(rig.log.back(), "close");
}

TEST(Capture, UnwritableFilesAndRefusedCapturesMoveOn) {
    Rig rig;
    // Every file fails to open (an unwritable folder) except the diff tab,
    // whose capture is refused at once.
    rig.view.captureStart = [](const std::string& path) {
        return path.find("15-diff") != std::string::npos ? int32_t(0x80004005) : int32_t(0x80070005);
    };
    rig.capture.Rendered();
    rig.PageAnswers();
    EXPECT_EQ(rig.Count("capture "), 18u);
    EXPECT_EQ(rig.Count("run "), 18u);
    EXPECT_EQ(rig.log.back(), "close");
    EXPECT_EQ(rig.capture.Index(), 18u);
}

TEST(Capture, OffWithoutFolderAndStalledWithoutAnswerOrView) {
    Rig off(u"");
    off.capture.Rendered();
    off.capture.Shown();
    off.capture.TimerFired();
    EXPECT_TRUE(off.log.empty());

    // A page that never answers "shown:" leaves the sequence at its tab.
    Rig silent;
    silent.capture.Rendered();
    EXPECT_EQ(silent.Count("capture "), 0u);
    EXPECT_EQ(silent.capture.Index(), 0u);

    Rig gone;
    gone.hasView = false;
    gone.capture.Rendered();
    gone.capture.Shown();
    gone.capture.TimerFired();
    EXPECT_EQ(gone.log, (std::vector<std::string>{"mkdir", "timer"}));
}

}  // namespace
}  // namespace vorq
