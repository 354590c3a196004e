#include "window/capture.h"

#include "core/text.h"

namespace vorq {

std::u16string CaptureFileName(const std::u16string& folder, size_t index) {
    const char* id = index < kUiTabIds.size() ? kUiTabIds[index] : "tab";
    return folder + u"\\" + Utf8ToUtf16(Format("%02zu-%s.png", index, id));
}

CaptureController::CaptureController(std::u16string folder, CaptureServices services)
    : folder_(std::move(folder)), services_(std::move(services)) {}

void CaptureController::Rendered() {
    if (folder_.empty() || started_) return;  // a later scan does not start it again
    started_ = true;
    services_.createFolder();
    ShowNextTab();
}

void CaptureController::Shown() {
    if (started_) services_.startTimer();
}

void CaptureController::TimerFired() {
    if (started_) CaptureNow();
}

void CaptureController::ShowNextTab() {
    PageView* view = services_.view();
    if (!view) return;
    if (index_ >= kUiTabIds.size()) {
        services_.closeWindow();
        return;
    }
    view->RunScript(u"window.showTab && showTab('" + Utf8ToUtf16(kUiTabIds[index_]) + u"', true);");
}

void CaptureController::CaptureNow() {
    PageView* view = services_.view();
    if (!view || index_ >= kUiTabIds.size()) return;
    const size_t index = index_;
    const int32_t hr = view->CapturePng(CaptureFileName(folder_, index), [this, index](int32_t) { Advance(index); });
    // A file that cannot be made, or a capture refused at once, skips the tab.
    if (hr < 0) Advance(index);
}

// Moves on from tab `from` once, whether the capture's end is reported, its
// start failed, or both.
void CaptureController::Advance(size_t from) {
    if (index_ != from) return;
    ++index_;
    ShowNextTab();
}

}  // namespace vorq
