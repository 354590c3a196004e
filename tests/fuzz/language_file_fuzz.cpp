// Any bytes as the saved language file: the code read is empty or valid, and
// the start-up script built from it carries it only in its fixed form.
#include <cstdlib>
#include <string>
#include <string_view>

#include "window/language.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string code = vorq::LanguageFromFileText(bytes);
    if (!code.empty() && !vorq::IsValidLanguageCode(code)) abort();
    const std::string script = vorq::StartupScript(code);
    const std::string expected =
        code.empty() ? "window.__VORQ_INIT={};" : "window.__VORQ_INIT={lang:'" + code + "'};";
    if (script != expected) abort();
    // The file's bytes handed over unread must not reach the script either.
    const std::string direct = vorq::StartupScript(bytes);
    if (direct != (vorq::IsValidLanguageCode(bytes) ? "window.__VORQ_INIT={lang:'" + std::string(bytes) + "'};"
                                                    : std::string("window.__VORQ_INIT={};")))
        abort();
    return 0;
}
