// A recording stand-in for the web view: every call becomes one line, events
// can be raised, and the creation outcome is chosen by the test.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/text.h"
#include "window/page_view.h"

namespace vorq::test {

class FakePageView : public PageView {
public:
    explicit FakePageView(std::vector<std::string>& log) : log_(log) {}
    ViewEvents events;
    int32_t navigateResult = 0;
    // The immediate result of a capture by file; a failure never reports an end.
    std::function<int32_t(const std::string& path)> captureStart;

    void ApplySettings(const ViewSettings& s) override {
        log_.push_back(Format("settings menus=%d devtools=%d statusbar=%d zoom=%d hostobjects=%d", s.defaultContextMenus,
                              s.devTools, s.statusBar, s.zoomControl, s.hostObjects));
    }
    void SetBackgroundColor(uint8_t r, uint8_t g, uint8_t b) override {
        log_.push_back(Format("background %02X%02X%02X", r, g, b));
    }
    void SetBounds(const WinRect& b) override {
        log_.push_back(Format("bounds %d,%d,%d,%d", b.left, b.top, b.right, b.bottom));
    }
    void Subscribe(ViewEvents e) override {
        events = std::move(e);
        log_.push_back("subscribe");
    }
    void AddScriptOnDocumentCreated(const std::u16string& s) override { log_.push_back("script " + U8(s)); }
    int32_t NavigateToString(const std::u16string& html) override {
        log_.push_back("navigate " + U8(html));
        return navigateResult;
    }
    void PostJson(const std::u16string& json) override { log_.push_back("post " + U8(json)); }
    void RunScript(const std::u16string& s) override { log_.push_back("run " + U8(s)); }
    int32_t CapturePng(const std::u16string& path, std::function<void(int32_t)> done) override {
        log_.push_back("capture " + U8(path));
        const int32_t hr = captureStart ? captureStart(U8(path)) : 0;
        if (hr >= 0) done(hr);
        return hr;
    }
    void Close() override { log_.push_back("close"); }

private:
    static std::string U8(const std::u16string& s) { return Utf16ToUtf8(s.data(), s.size()); }
    std::vector<std::string>& log_;
};

// Creation is finished by the test: Complete() runs the pending callback.
class FakeViewFactory : public ViewFactory {
public:
    explicit FakeViewFactory(std::vector<std::string>& log) : log_(log) {}
    int32_t startResult = 0;
    std::function<void(int32_t, std::unique_ptr<PageView>)> pending;

    int32_t Create(void*, const std::u16string& folder, const std::u16string& args,
                   std::function<void(int32_t, std::unique_ptr<PageView>)> done) override {
        log_.push_back("create " + Utf16ToUtf8(folder.data(), folder.size()) + " [" + Utf16ToUtf8(args.data(), args.size()) + "]");
        if (startResult < 0) return startResult;
        pending = std::move(done);
        return 0;
    }
    // Finishes creation with a new fake view (or none), returning it.
    FakePageView* Complete(int32_t result, bool withView = true) {
        auto view = withView ? std::make_unique<FakePageView>(log_) : nullptr;
        FakePageView* raw = view.get();
        auto done = std::move(pending);
        done(result, std::move(view));
        return raw;
    }

private:
    std::vector<std::string>& log_;
};

}  // namespace vorq::test
