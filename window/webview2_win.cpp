// WebView2 binding. The interfaces below are declared here from the published
// reference: each one's documented interface id and its methods in the slot
// order of the binary interface, with unused slots as placeholders. Only the
// calls this program makes are typed.
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <atomic>
#include <functional>
#include <string>
#include <utility>

#include "core/win.h"
#include "window/webview2_win.h"

namespace vorq {

namespace {

#define VORQ_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE Unused##n() = 0;

struct EventToken {
    int64_t value;
};
struct ViewColor {
    BYTE A, R, G, B;
};

struct ICoreWebView2;

struct ICoreWebView2Settings : IUnknown {
    VORQ_UNUSED_SLOT(3)  // get_IsScriptEnabled
    VORQ_UNUSED_SLOT(4)  // put_IsScriptEnabled
    VORQ_UNUSED_SLOT(5)  // get_IsWebMessageEnabled
    VORQ_UNUSED_SLOT(6)  // put_IsWebMessageEnabled
    VORQ_UNUSED_SLOT(7)  // get_AreDefaultScriptDialogsEnabled
    VORQ_UNUSED_SLOT(8)  // put_AreDefaultScriptDialogsEnabled
    VORQ_UNUSED_SLOT(9)  // get_IsStatusBarEnabled
    virtual HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL) = 0;  // 10
    VORQ_UNUSED_SLOT(11)  // get_AreDevToolsEnabled
    virtual HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL) = 0;  // 12
    VORQ_UNUSED_SLOT(13)  // get_AreDefaultContextMenusEnabled
    virtual HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL) = 0;  // 14
    VORQ_UNUSED_SLOT(15)  // get_AreHostObjectsAllowed
    virtual HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL) = 0;  // 16
    VORQ_UNUSED_SLOT(17)  // get_IsZoomControlEnabled
    virtual HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL) = 0;  // 18
};

struct ICoreWebView2WebMessageReceivedEventArgs : IUnknown {
    VORQ_UNUSED_SLOT(3)  // get_Source
    VORQ_UNUSED_SLOT(4)  // get_WebMessageAsJson
    virtual HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR*) = 0;  // 5
};

struct ICoreWebView2NavigationStartingEventArgs : IUnknown {
    VORQ_UNUSED_SLOT(3)  // get_Uri
    VORQ_UNUSED_SLOT(4)  // get_IsUserInitiated
    VORQ_UNUSED_SLOT(5)  // get_IsRedirected
    VORQ_UNUSED_SLOT(6)  // get_RequestHeaders
    VORQ_UNUSED_SLOT(7)  // get_Cancel
    virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL) = 0;  // 8
};

struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
    VORQ_UNUSED_SLOT(3)  // get_Uri
    VORQ_UNUSED_SLOT(4)  // put_NewWindow
    VORQ_UNUSED_SLOT(5)  // get_NewWindow
    virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL) = 0;  // 6
};

// Completion and event handlers: implemented here, called by the runtime.
struct IEnvironmentCompleted : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT, struct ICoreWebView2Environment*) = 0;
};
struct IControllerCompleted : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT, struct ICoreWebView2Controller*) = 0;
};
struct IWebMessageReceived : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*) = 0;
};
struct INavigationStarting : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs*) = 0;
};
struct INewWindowRequested : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs*) = 0;
};
struct ICapturePreviewCompleted : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT) = 0;
};

struct ICoreWebView2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings**) = 0;  // 3
    VORQ_UNUSED_SLOT(4)  // get_Source
    VORQ_UNUSED_SLOT(5)  // Navigate
    virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR) = 0;  // 6
    virtual HRESULT STDMETHODCALLTYPE add_NavigationStarting(INavigationStarting*, EventToken*) = 0;  // 7
    VORQ_UNUSED_SLOT(8)   // remove_NavigationStarting
    VORQ_UNUSED_SLOT(9)   // add_ContentLoading
    VORQ_UNUSED_SLOT(10)  // remove_ContentLoading
    VORQ_UNUSED_SLOT(11)  // add_SourceChanged
    VORQ_UNUSED_SLOT(12)  // remove_SourceChanged
    VORQ_UNUSED_SLOT(13)  // add_HistoryChanged
    VORQ_UNUSED_SLOT(14)  // remove_HistoryChanged
    VORQ_UNUSED_SLOT(15)  // add_NavigationCompleted
    VORQ_UNUSED_SLOT(16)  // remove_NavigationCompleted
    VORQ_UNUSED_SLOT(17)  // add_FrameNavigationStarting
    VORQ_UNUSED_SLOT(18)  // remove_FrameNavigationStarting
    VORQ_UNUSED_SLOT(19)  // add_FrameNavigationCompleted
    VORQ_UNUSED_SLOT(20)  // remove_FrameNavigationCompleted
    VORQ_UNUSED_SLOT(21)  // add_ScriptDialogOpening
    VORQ_UNUSED_SLOT(22)  // remove_ScriptDialogOpening
    VORQ_UNUSED_SLOT(23)  // add_PermissionRequested
    VORQ_UNUSED_SLOT(24)  // remove_PermissionRequested
    VORQ_UNUSED_SLOT(25)  // add_ProcessFailed
    VORQ_UNUSED_SLOT(26)  // remove_ProcessFailed
    virtual HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(LPCWSTR, IUnknown*) = 0;  // 27
    VORQ_UNUSED_SLOT(28)  // RemoveScriptToExecuteOnDocumentCreated
    virtual HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR, IUnknown*) = 0;  // 29
    virtual HRESULT STDMETHODCALLTYPE CapturePreview(int format, IStream*, ICapturePreviewCompleted*) = 0;  // 30
    VORQ_UNUSED_SLOT(31)  // Reload
    virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR) = 0;  // 32
    VORQ_UNUSED_SLOT(33)  // PostWebMessageAsString
    virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(IWebMessageReceived*, EventToken*) = 0;  // 34
    VORQ_UNUSED_SLOT(35)  // remove_WebMessageReceived
    VORQ_UNUSED_SLOT(36)  // CallDevToolsProtocolMethod
    VORQ_UNUSED_SLOT(37)  // get_BrowserProcessId
    VORQ_UNUSED_SLOT(38)  // get_CanGoBack
    VORQ_UNUSED_SLOT(39)  // get_CanGoForward
    VORQ_UNUSED_SLOT(40)  // GoBack
    VORQ_UNUSED_SLOT(41)  // GoForward
    VORQ_UNUSED_SLOT(42)  // GetDevToolsProtocolEventReceiver
    VORQ_UNUSED_SLOT(43)  // Stop
    virtual HRESULT STDMETHODCALLTYPE add_NewWindowRequested(INewWindowRequested*, EventToken*) = 0;  // 44
};

struct ICoreWebView2Controller : IUnknown {
    VORQ_UNUSED_SLOT(3)  // get_IsVisible
    VORQ_UNUSED_SLOT(4)  // put_IsVisible
    VORQ_UNUSED_SLOT(5)  // get_Bounds
    virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT) = 0;  // 6
    VORQ_UNUSED_SLOT(7)   // get_ZoomFactor
    VORQ_UNUSED_SLOT(8)   // put_ZoomFactor
    VORQ_UNUSED_SLOT(9)   // add_ZoomFactorChanged
    VORQ_UNUSED_SLOT(10)  // remove_ZoomFactorChanged
    VORQ_UNUSED_SLOT(11)  // SetBoundsAndZoomFactor
    VORQ_UNUSED_SLOT(12)  // MoveFocus
    VORQ_UNUSED_SLOT(13)  // add_MoveFocusRequested
    VORQ_UNUSED_SLOT(14)  // remove_MoveFocusRequested
    VORQ_UNUSED_SLOT(15)  // add_GotFocus
    VORQ_UNUSED_SLOT(16)  // remove_GotFocus
    VORQ_UNUSED_SLOT(17)  // add_LostFocus
    VORQ_UNUSED_SLOT(18)  // remove_LostFocus
    VORQ_UNUSED_SLOT(19)  // add_AcceleratorKeyPressed
    VORQ_UNUSED_SLOT(20)  // remove_AcceleratorKeyPressed
    VORQ_UNUSED_SLOT(21)  // get_ParentWindow
    VORQ_UNUSED_SLOT(22)  // put_ParentWindow
    VORQ_UNUSED_SLOT(23)  // NotifyParentWindowPositionChanged
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                  // 24
    virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2**) = 0;        // 25
};

struct ICoreWebView2Controller2 : ICoreWebView2Controller {
    VORQ_UNUSED_SLOT(26)  // get_DefaultBackgroundColor
    virtual HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(ViewColor) = 0;  // 27
};

struct ICoreWebView2Environment : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(HWND, IControllerCompleted*) = 0;  // 3
};

struct ICoreWebView2EnvironmentOptions : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR*) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Language(LPWSTR*) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR*) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL*) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL) = 0;
};

struct ICoreWebView2EnvironmentOptions3 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_IsCustomCrashReportingEnabled(BOOL*) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsCustomCrashReportingEnabled(BOOL) = 0;
};

constexpr GUID kIidEnvironmentOptions = {0x2fde08a8, 0x1e9a, 0x4766, {0x8c, 0x05, 0x95, 0xa9, 0xce, 0xb9, 0xd1, 0xc5}};
constexpr GUID kIidEnvironmentOptions3 = {0x4a5c436e, 0xa9e3, 0x4a2e, {0x89, 0xc3, 0x91, 0x0d, 0x35, 0x13, 0xf5, 0xcc}};
constexpr GUID kIidEnvironmentCompleted = {0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};
constexpr GUID kIidControllerCompleted = {0x6c4819f3, 0xc9b7, 0x4260, {0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c}};
constexpr GUID kIidController2 = {0xc979903e, 0xd4ca, 0x4228, {0x92, 0xeb, 0x47, 0xee, 0x3f, 0xa9, 0x6e, 0xab}};
constexpr GUID kIidWebMessageReceived = {0x57213f19, 0x00e6, 0x49fa, {0x8e, 0x07, 0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2}};
constexpr GUID kIidNavigationStarting = {0x9adbe429, 0xf36d, 0x432b, {0x9d, 0xdc, 0xf8, 0x88, 0x1f, 0xbd, 0x76, 0xe3}};
constexpr GUID kIidNewWindowRequested = {0xd4c185fe, 0xc81c, 0x4989, {0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51}};
constexpr GUID kIidCapturePreviewCompleted = {0x697e05e9, 0x3d8f, 0x45fa, {0x96, 0xf4, 0x8f, 0xfe, 0x1e, 0xde, 0xda, 0xf5}};

// Reference counting shared by the objects this side implements.
template <typename Base>
class ComObject : public Base {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

protected:
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> refs_{1};
};

// A handler interface `Iface` whose Invoke forwards to a function; nothing
// thrown reaches the runtime.
template <typename Iface, const GUID& Iid, typename... Args>
class Handler final : public ComObject<Iface> {
public:
    explicit Handler(std::function<void(Args...)> fn) : fn_(std::move(fn)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, Iid)) {
            *out = static_cast<Iface*>(this);
            this->AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE Invoke(Args... args) override {
        try {
            fn_(args...);
        } catch (...) {
        }
        return S_OK;
    }

private:
    std::function<void(Args...)> fn_;
};

using EnvironmentCompleted = Handler<IEnvironmentCompleted, kIidEnvironmentCompleted, HRESULT, ICoreWebView2Environment*>;
using ControllerCompleted = Handler<IControllerCompleted, kIidControllerCompleted, HRESULT, ICoreWebView2Controller*>;
using WebMessageReceived =
    Handler<IWebMessageReceived, kIidWebMessageReceived, ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*>;
using NavigationStarting =
    Handler<INavigationStarting, kIidNavigationStarting, ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs*>;
using NewWindowRequested =
    Handler<INewWindowRequested, kIidNewWindowRequested, ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs*>;
using CapturePreviewCompleted = Handler<ICapturePreviewCompleted, kIidCapturePreviewCompleted, HRESULT>;

LPWSTR CoTaskCopy(const std::wstring& s) {
    auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
    if (p) std::copy(s.c_str(), s.c_str() + s.size() + 1, p);
    return p;
}

// The environment options: an object the caller provides.
class EnvironmentOptions final : public ComObject<ICoreWebView2EnvironmentOptions>, public ICoreWebView2EnvironmentOptions3 {
public:
    explicit EnvironmentOptions(std::wstring args) : args_(std::move(args)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIidEnvironmentOptions)) {
            *out = static_cast<ICoreWebView2EnvironmentOptions*>(this);
        } else if (IsEqualIID(riid, kIidEnvironmentOptions3)) {
            *out = static_cast<ICoreWebView2EnvironmentOptions3*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ComObject<ICoreWebView2EnvironmentOptions>::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return ComObject<ICoreWebView2EnvironmentOptions>::Release(); }

    HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* v) override { return Out(v, args_); }
    HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR v) override { return Put(args_, v); }
    HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* v) override { return Out(v, language_); }
    HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR v) override { return Put(language_, v); }
    HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* v) override { return Out(v, target_); }
    HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR v) override { return Put(target_, v); }
    HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* v) override {
        if (!v) return E_POINTER;
        *v = FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_IsCustomCrashReportingEnabled(BOOL* v) override {
        if (!v) return E_POINTER;
        *v = customCrashReporting_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_IsCustomCrashReportingEnabled(BOOL v) override {
        customCrashReporting_ = v;
        return S_OK;
    }

private:
    static HRESULT Out(LPWSTR* v, const std::wstring& s) {
        if (!v) return E_POINTER;
        *v = CoTaskCopy(s);
        return *v ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Put(std::wstring& s, LPCWSTR v) {
        s = v ? v : L"";
        return S_OK;
    }
    std::wstring args_;
    std::wstring language_;
    // The runtime release that carries every interface used here.
    std::wstring target_ = L"86.0.616.0";
    BOOL customCrashReporting_ = FALSE;
};

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

class WebView2View final : public PageView {
public:
    explicit WebView2View(ICoreWebView2Controller* controller) {
        controller->AddRef();
        controller_.attach(controller);
        controller_->get_CoreWebView2(view_.put());
    }
    ~WebView2View() override { Close(); }

    void ApplySettings(const ViewSettings& s) override {
        ComPtr<ICoreWebView2Settings> settings;
        if (!view_ || FAILED(view_->get_Settings(settings.put())) || !settings) return;
        settings->put_AreDefaultContextMenusEnabled(s.defaultContextMenus);
        settings->put_AreDevToolsEnabled(s.devTools);
        settings->put_IsStatusBarEnabled(s.statusBar);
        settings->put_IsZoomControlEnabled(s.zoomControl);
        settings->put_AreHostObjectsAllowed(s.hostObjects);
    }
    void SetBackgroundColor(uint8_t r, uint8_t g, uint8_t b) override {
        ComPtr<ICoreWebView2Controller2> c2;
        if (controller_ && SUCCEEDED(controller_->QueryInterface(kIidController2, c2.put_void())) && c2)
            c2->put_DefaultBackgroundColor(ViewColor{0xFF, r, g, b});
    }
    void SetBounds(const WinRect& b) override {
        if (controller_) controller_->put_Bounds(RECT{b.left, b.top, b.right, b.bottom});
    }
    void Subscribe(ViewEvents events) override {
        if (!view_) return;
        auto shared = std::make_shared<ViewEvents>(std::move(events));
        EventToken token{};
        auto* message = new WebMessageReceived([shared](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
            LPWSTR text = nullptr;
            // A message posted as JSON has no string form: ignored.
            if (args && SUCCEEDED(args->TryGetWebMessageAsString(&text)) && text) {
                const std::string utf8 = ToUtf8Ptr(text);
                CoTaskMemFree(text);
                if (shared->webMessage) shared->webMessage(utf8);
            } else if (text) {
                CoTaskMemFree(text);
            }
        });
        view_->add_WebMessageReceived(message, &token);
        message->Release();
        auto* navigation = new NavigationStarting([shared](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
            const bool allow = shared->navigationStarting && shared->navigationStarting();
            if (!allow && args) args->put_Cancel(TRUE);
        });
        view_->add_NavigationStarting(navigation, &token);
        navigation->Release();
        auto* newWindow = new NewWindowRequested([shared](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
            if (args) args->put_Handled(TRUE);
            if (shared->newWindowRequested) shared->newWindowRequested();
        });
        view_->add_NewWindowRequested(newWindow, &token);
        newWindow->Release();
    }
    void AddScriptOnDocumentCreated(const std::u16string& script) override {
        if (view_) view_->AddScriptToExecuteOnDocumentCreated(W(script), nullptr);
    }
    int32_t NavigateToString(const std::u16string& html) override {
        return view_ ? view_->NavigateToString(W(html)) : E_POINTER;
    }
    void PostJson(const std::u16string& json) override {
        if (view_) view_->PostWebMessageAsJson(W(json));
    }
    void RunScript(const std::u16string& script) override {
        if (view_) view_->ExecuteScript(W(script), nullptr);
    }
    int32_t CapturePng(const std::u16string& path, std::function<void(int32_t)> done) override {
        if (!view_) return E_POINTER;
        IStream* raw = nullptr;
        HRESULT hr = SHCreateStreamOnFileEx(W(path), STGM_CREATE | STGM_WRITE, FILE_ATTRIBUTE_NORMAL, TRUE, nullptr, &raw);
        if (FAILED(hr) || !raw) return FAILED(hr) ? hr : E_FAIL;
        // The handler owns the stream; the file closes when the handler goes.
        std::shared_ptr<IStream> stream(raw, [](IStream* s) { s->Release(); });
        auto* handler = new CapturePreviewCompleted([stream, done](HRESULT result) {
            if (done) done(result);
        });
        hr = view_->CapturePreview(0 /* PNG */, raw, handler);
        handler->Release();
        return hr;
    }
    void Close() override {
        if (controller_) controller_->Close();
        view_.reset();
        controller_.reset();
    }

private:
    ComPtr<ICoreWebView2Controller> controller_;
    ComPtr<ICoreWebView2> view_;
};

using CreateEnvironmentFn = HRESULT(STDAPICALLTYPE*)(LPCWSTR, LPCWSTR, ICoreWebView2EnvironmentOptions*,
                                                     IEnvironmentCompleted*);

class WebView2Factory final : public ViewFactory {
public:
    int32_t Create(void* window, const std::u16string& userDataFolder, const std::u16string& browserArguments,
                   std::function<void(int32_t, std::unique_ptr<PageView>)> done) override {
        if (!loader_) {
            // Only the copy beside the program, never one found on the search path.
            std::wstring path = GetExePath();
            const size_t slash = path.find_last_of(L"\\/");
            path = (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + L"WebView2Loader.dll";
            loader_.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
            if (!loader_) return HRESULT_FROM_WIN32(GetLastError());
        }
        auto create = GetProc<CreateEnvironmentFn>(loader_.get(), "CreateCoreWebView2EnvironmentWithOptions");
        if (!create) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);

        HWND hwnd = static_cast<HWND>(window);
        auto* options = new EnvironmentOptions(std::wstring(W(browserArguments)));
        ComPtr<ICoreWebView2EnvironmentOptions3> options3;
        if (SUCCEEDED(options->QueryInterface(kIidEnvironmentOptions3, options3.put_void())) && options3)
            options3->put_IsCustomCrashReportingEnabled(TRUE);
        auto* completed = new EnvironmentCompleted([hwnd, done](HRESULT hr, ICoreWebView2Environment* env) {
            if (FAILED(hr) || !env) {
                done(hr, nullptr);
                return;
            }
            auto* controllerDone = new ControllerCompleted([done](HRESULT hr2, ICoreWebView2Controller* controller) {
                if (FAILED(hr2) || !controller) {
                    done(hr2, nullptr);
                    return;
                }
                done(hr2, std::make_unique<WebView2View>(controller));
            });
            // A call refused at once never completes: report it, or the window stays blank.
            const HRESULT started = env->CreateCoreWebView2Controller(hwnd, controllerDone);
            controllerDone->Release();
            if (FAILED(started)) done(started, nullptr);
        });
        const HRESULT hr = create(nullptr, W(userDataFolder), options, completed);
        completed->Release();
        options->Release();
        return hr;
    }

private:
    UniqueModule loader_;
};

}  // namespace

std::unique_ptr<ViewFactory> MakeWebView2Factory() { return std::make_unique<WebView2Factory>(); }

}  // namespace vorq
