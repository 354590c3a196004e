// The web view that shows the page, behind an interface of the program's own:
// exactly what the window uses of it. The WebView2 binding implements it on
// Windows; the tests use a recording fake. HRESULT values travel as int32_t.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "window/layout.h"

namespace vorq {

struct ViewSettings {
    bool defaultContextMenus = false;
    bool devTools = false;
    bool statusBar = false;
    bool zoomControl = true;
    bool hostObjects = false;
};

struct ViewEvents {
    // A message the page posted as a string, in UTF-8.
    std::function<void(const std::string&)> webMessage;
    // A navigation is starting: true lets it go on, false cancels it.
    std::function<bool()> navigationStarting;
    // The page asked for a new window; none is ever opened.
    std::function<void()> newWindowRequested;
};

class PageView {
public:
    virtual ~PageView() = default;
    virtual void ApplySettings(const ViewSettings& settings) = 0;
    // Painted before the page draws; ignored where the view cannot do it.
    virtual void SetBackgroundColor(uint8_t r, uint8_t g, uint8_t b) = 0;
    virtual void SetBounds(const WinRect& bounds) = 0;
    virtual void Subscribe(ViewEvents events) = 0;
    virtual void AddScriptOnDocumentCreated(const std::u16string& script) = 0;
    // The call's result: the view refuses a page above its size limit.
    virtual int32_t NavigateToString(const std::u16string& html) = 0;
    virtual void PostJson(const std::u16string& json) = 0;
    virtual void RunScript(const std::u16string& script) = 0;
    // Writes a PNG preview of the view to `path`; `done` gets the result.
    virtual int32_t CapturePng(const std::u16string& path, std::function<void(int32_t)> done) = 0;
    virtual void Close() = 0;
};

class ViewFactory {
public:
    virtual ~ViewFactory() = default;
    // Starts creating a view in `window`. `done` runs later on the window's
    // thread with the outcome and, on success, the view. A failure to start
    // is returned and `done` never runs.
    virtual int32_t Create(void* window, const std::u16string& userDataFolder, const std::u16string& browserArguments,
                           std::function<void(int32_t, std::unique_ptr<PageView>)> done) = 0;
};

}  // namespace vorq
