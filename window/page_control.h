// The window's side of the view: creating it, setting it up in a fixed order,
// its navigation and new-window policy, and its teardown. The window supplies
// its services through PageHostServices; everything here runs on the window's
// thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "window/page_view.h"

namespace vorq {

inline constexpr char16_t kBrowserArguments[] = u"--disable-background-networking --disable-component-update --no-pings";

struct PageHostServices {
    std::function<WinRect()> clientRect;
    std::function<std::u16string()> loadPage;
    std::function<std::string()> languageCode;
    std::function<bool()> devTools;
    // A command from the page (UTF-8).
    std::function<void(const std::string&)> handleMessage;
    // The view could not be created: the start-up error, then the window closes.
    std::function<void(int32_t)> showViewError;
    // The view refused the page text.
    std::function<void(int32_t)> showPageError;
};

class PageHost {
public:
    PageHost(ViewFactory& factory, PageHostServices services);

    void Init(void* window, const std::u16string& userDataFolder);
    // Hands a JSON text to the page; dropped when there is no view.
    void PostJson(const std::u16string& json);
    void Resize();
    // Closes and releases the view when there is one.
    void Destroy();
    PageView* View() const { return view_.get(); }

private:
    void OnCreated(int32_t result, std::unique_ptr<PageView> view);

    ViewFactory& factory_;
    PageHostServices services_;
    std::unique_ptr<PageView> view_;
    bool navigationArmed_ = true;
    bool failed_ = false;
    bool destroyed_ = false;
};

}  // namespace vorq
