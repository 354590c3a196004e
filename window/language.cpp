#include "window/language.h"

#include "core/text.h"

namespace vorq {

bool IsValidLanguageCode(std::string_view code) {
    if (code.size() < 2 || code.size() > 8) return false;
    for (char c : code) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        if (!ok) return false;
    }
    return true;
}

std::string LanguageFromFileText(std::string_view bytes) {
    std::string code = Trim(bytes);
    return IsValidLanguageCode(code) ? code : std::string();
}

std::string StartupScript(std::string_view code) {
    std::string script = "window.__VORQ_INIT={";
    // Only a valid code goes in: it lands inside a quoted script literal.
    if (IsValidLanguageCode(code)) script.append("lang:'").append(code).append("'");
    script += "};";
    return script;
}

}  // namespace vorq
