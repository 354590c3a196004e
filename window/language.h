// The page language code: its form check, the saved file's reading, and the
// start-up script that hands the code to the page. The host never interprets
// the code beyond its form.
#pragma once

#include <string>
#include <string_view>

namespace vorq {

// 2 to 8 bytes, each an ASCII letter, digit or '-'.
bool IsValidLanguageCode(std::string_view code);

// The code held by a language file's bytes: trimmed, and empty unless valid.
std::string LanguageFromFileText(std::string_view bytes);

// The script run before the page: window.__VORQ_INIT={lang:'de'}; with a
// valid code, window.__VORQ_INIT={}; otherwise.
std::string StartupScript(std::string_view code);

// Read limit of the language file.
inline constexpr size_t kLanguageFileLimit = 64;

}  // namespace vorq
