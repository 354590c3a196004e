#include "window/page_control.h"

#include "core/text.h"
#include "window/language.h"

namespace vorq {

namespace {
bool Failed(int32_t hr) { return hr < 0; }
}  // namespace

PageHost::PageHost(ViewFactory& factory, PageHostServices services) : factory_(factory), services_(std::move(services)) {}

void PageHost::Init(void* window, const std::u16string& userDataFolder) {
    const int32_t hr = factory_.Create(window, userDataFolder, kBrowserArguments,
                                       [this](int32_t result, std::unique_ptr<PageView> view) {
                                           OnCreated(result, std::move(view));
                                       });
    if (Failed(hr)) {
        failed_ = true;
        services_.showViewError(hr);
    }
}

void PageHost::OnCreated(int32_t result, std::unique_ptr<PageView> view) {
    if (destroyed_) {
        // The window closed while the view was being made.
        if (view) view->Close();
        return;
    }
    if (Failed(result) || !view) {
        // Shown once, whatever step failed.
        if (!failed_) services_.showViewError(result);
        failed_ = true;
        return;
    }
    if (view_) view_->Close();
    view_ = std::move(view);
    const bool devTools = services_.devTools();
    ViewSettings settings;
    settings.defaultContextMenus = devTools;
    settings.devTools = devTools;
    view_->ApplySettings(settings);
    view_->SetBackgroundColor(0x0C, 0x0F, 0x15);
    view_->SetBounds(services_.clientRect());
    ViewEvents events;
    events.webMessage = [this](const std::string& message) {
        // Nothing may unwind into the view's callbacks.
        try {
            services_.handleMessage(message);
        } catch (...) {
        }
    };
    events.navigationStarting = [this] {
        // Only the navigation that loads the page text passes.
        if (!navigationArmed_) return false;
        navigationArmed_ = false;
        return true;
    };
    events.newWindowRequested = [] {};
    view_->Subscribe(std::move(events));
    const std::string script = StartupScript(services_.languageCode());
    view_->AddScriptOnDocumentCreated(Utf8ToUtf16(script));
    const int32_t hr = view_->NavigateToString(services_.loadPage());
    if (Failed(hr)) services_.showPageError(hr);
}

void PageHost::PostJson(const std::u16string& json) {
    if (view_) view_->PostJson(json);
}

void PageHost::Resize() {
    if (view_) view_->SetBounds(services_.clientRect());
}

void PageHost::Destroy() {
    destroyed_ = true;
    if (!view_) return;
    std::unique_ptr<PageView> view = std::move(view_);
    view->Close();
}

}  // namespace vorq
