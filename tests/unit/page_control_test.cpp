#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/text.h"
#include "fake_page_view.h"
#include "window/page_control.h"

namespace vorq {
namespace {

using test::FakePageView;
using test::FakeViewFactory;
using Log = std::vector<std::string>;

struct Fixture {
    Log log;
    FakeViewFactory factory{log};
    std::string language = "zh-Hans";
    bool devTools = false;
    Log messages;
    PageHost host{factory, Services()};

    PageHostServices Services() {
        PageHostServices s;
        s.clientRect = [] { return WinRect{0, 0, 1384, 861}; };
        s.loadPage = [] { return std::u16string(u"<p>page</p>"); };
        s.languageCode = [this] { return language; };
        s.devTools = [this] { return devTools; };
        s.handleMessage = [this](const std::string& m) {
            if (m == "throw") throw std::runtime_error("boom");
            if (m == "throw-other") throw 42;
            messages.push_back(m);
        };
        s.showViewError = [this](int32_t hr) { log.push_back(Format("view error %08X", static_cast<unsigned>(hr))); };
        s.showPageError = [this](int32_t hr) { log.push_back(Format("page error %08X", static_cast<unsigned>(hr))); };
        return s;
    }
};

TEST(PageHost, SetsTheViewUpInOrder) {
    Fixture f;
    f.host.Init(nullptr, u"C:\\data\\WebView2");
    ASSERT_TRUE(f.factory.pending);
    f.factory.Complete(0);
    const Log expect = {
        "create C:\\data\\WebView2 [--disable-background-networking --disable-component-update --no-pings]",
        "settings menus=0 devtools=0 statusbar=0 zoom=1 hostobjects=0",
        "background 0C0F15",
        "bounds 0,0,1384,861",
        "subscribe",
        "script window.__VORQ_INIT={lang:'zh-Hans'};",
        "navigate <p>page</p>",
    };
    EXPECT_EQ(f.log, expect);
}

TEST(PageHost, DevToolsFlagAndInvalidLanguage) {
    Fixture f;
    f.devTools = true;
    f.language = "de_DE";
    f.host.Init(nullptr, u"d");
    f.factory.Complete(0);
    EXPECT_EQ(f.log[1], "settings menus=1 devtools=1 statusbar=0 zoom=1 hostobjects=0");
    EXPECT_EQ(f.log[5], "script window.__VORQ_INIT={};");
}

TEST(PageHost, NavigationPolicyAndMessages) {
    Fixture f;
    f.host.Init(nullptr, u"d");
    FakePageView* view = f.factory.Complete(0);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->events.navigationStarting());   // the page text itself
    EXPECT_FALSE(view->events.navigationStarting());  // links, reloads, location changes
    EXPECT_FALSE(view->events.navigationStarting());
    view->events.newWindowRequested();
    // A throwing handler never unwinds into the view.
    EXPECT_NO_THROW(view->events.webMessage("throw"));
    EXPECT_NO_THROW(view->events.webMessage("throw-other"));
    view->events.webMessage("scan");
    EXPECT_EQ(f.messages, Log{"scan"});
    f.log.clear();
    f.host.PostJson(u"{\"type\":\"status\"}");
    f.host.Resize();
    EXPECT_EQ(f.log, (Log{"post {\"type\":\"status\"}", "bounds 0,0,1384,861"}));
}

TEST(PageHost, CreationFailuresShowTheErrorOnce) {
    struct Case {
        const char* what;
        int32_t start;
        int32_t result;
        bool withView;
        const char* expect;
    };
    const Case cases[] = {
        {"the loader cannot start", static_cast<int32_t>(0x8007007E), 0, false, "view error 8007007E"},
        {"creation fails later", 0, static_cast<int32_t>(0x80070002), false, "view error 80070002"},
        {"success without a view", 0, 1, false, "view error 00000001"},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.factory.startResult = c.start;
        f.host.Init(nullptr, u"d");
        if (f.factory.pending) f.factory.Complete(c.result, c.withView);
        EXPECT_EQ(f.log.back(), c.expect) << c.what;
        EXPECT_EQ(f.host.View(), nullptr) << c.what;
        // Nothing to close, nothing posted: both are dropped quietly.
        const size_t n = f.log.size();
        f.host.PostJson(u"{}");
        f.host.Resize();
        f.host.Destroy();
        EXPECT_EQ(f.log.size(), n) << c.what;
    }
}

TEST(PageHost, RefusedPageShowsAnError) {
    Fixture f;
    f.host.Init(nullptr, u"d");
    f.factory.pending = [inner = std::move(f.factory.pending)](int32_t hr, std::unique_ptr<PageView> v) {
        static_cast<FakePageView*>(v.get())->navigateResult = static_cast<int32_t>(0x80070057);
        inner(hr, std::move(v));
    };
    f.factory.Complete(0);
    EXPECT_EQ(f.log.back(), "page error 80070057");
}

TEST(PageHost, DestroyClosesOnceAndLateViewsAreClosed) {
    Fixture f;
    f.host.Init(nullptr, u"d");
    f.factory.Complete(0);
    f.log.clear();
    f.host.Destroy();
    f.host.Destroy();
    f.host.PostJson(u"{}");
    EXPECT_EQ(f.log, Log{"close"});
    EXPECT_EQ(f.host.View(), nullptr);

    // The window closed before the view was ready: the late view is closed.
    Fixture g;
    g.host.Init(nullptr, u"d");
    g.host.Destroy();
    g.log.clear();
    g.factory.Complete(0);
    EXPECT_EQ(g.log, Log{"close"});
}

}  // namespace
}  // namespace vorq
