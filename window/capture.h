// Capture mode: after the first report the window shows every tab in turn,
// waits for the page to confirm it, lets it settle and saves a PNG of the
// view, then closes. The view, the settle timer and the window's closing are
// injected; everything runs on the window's thread.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "window/page_view.h"

namespace vorq {

// The page's tab ids (TABS in ui/js/shell.js) in capture order.
inline constexpr std::array<const char*, 18> kUiTabIds = {
    "overview", "vm", "signals", "cpu", "firmware", "storage", "network", "display", "devices",
    "tpm", "platform", "microsoft", "windows", "drivers", "compare", "diff", "json", "about"};

inline constexpr unsigned kCaptureSettleMs = 600;

// `folder` + "\" + "00-overview.png" ... "17-about.png".
std::u16string CaptureFileName(const std::u16string& folder, size_t index);

struct CaptureServices {
    std::function<PageView*()> view;
    // Creates the capture folder (one level; an existing one is fine).
    std::function<void()> createFolder;
    // Starts the settle timer; its end calls TimerFired.
    std::function<void()> startTimer;
    std::function<void()> closeWindow;
};

class CaptureController {
public:
    // An empty folder means capture mode is off and every call does nothing.
    CaptureController(std::u16string folder, CaptureServices services);

    // The page applied a report: the first one starts the sequence.
    void Rendered();
    // The page shows the tab it was asked for.
    void Shown();
    // The settle time is over: capture the current tab.
    void TimerFired();

    bool Started() const { return started_; }
    size_t Index() const { return index_; }

private:
    void ShowNextTab();
    void CaptureNow();
    void Advance(size_t from);

    std::u16string folder_;
    CaptureServices services_;
    bool started_ = false;
    size_t index_ = 0;
};

}  // namespace vorq
