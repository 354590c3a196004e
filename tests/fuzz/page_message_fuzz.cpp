// Any bytes as a message from the page: at most one command reaches the host,
// and only with the arguments its checks allow (a valid slot, a maker site, a
// valid language code, a dialog title of bounded length without control units).
#include <cstdlib>
#include <string>
#include <string_view>

#include "window/language.h"
#include "window/protocol.h"

namespace {

struct CountingSink : vorq::CommandSink {
    int calls = 0;
    static void CheckTitle(const std::u16string& title) {
        if (title.empty() || title.size() > vorq::kDialogTitleLimit) abort();
        for (char16_t u : title)
            if (u < 0x20) abort();
    }
    void StartScan() override { ++calls; }
    void ExportReport(bool, const std::u16string& title) override {
        ++calls;
        CheckTitle(title);
    }
    void OpenReportFile(const std::string& slot, const std::u16string& title) override {
        ++calls;
        if (!vorq::IsValidSlot(slot)) abort();
        CheckTitle(title);
    }
    void StartTpmKeyAction(const std::string&) override { ++calls; }
    void CopyText(const std::string&) override { ++calls; }
    void OpenUrl(const std::string& url) override {
        ++calls;
        if (!vorq::IsMakerSite(url)) abort();
    }
    void SetLanguage(const std::string& code) override {
        ++calls;
        if (!vorq::IsValidLanguageCode(code)) abort();
    }
    void Elevate() override { ++calls; }
    void Rendered() override { ++calls; }
    void Shown(const std::string&) override { ++calls; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    CountingSink sink;
    vorq::HandleWebMessage(message, sink);
    if (sink.calls > 1) abort();
    CountingSink::CheckTitle(vorq::DialogTitleFromMessage(message, u"default"));
    return 0;
}
