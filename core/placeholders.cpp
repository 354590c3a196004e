#include "core/placeholders.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/text.h"
#include "core/unicode_text.h"

namespace vorq {

namespace {

// Compared with the trimmed, lower-cased value.
constexpr const char* kPlaceholders[] = {
    "to be filled by o.e.m.", "to be filled by oem", "default string", "system serial number",
    "system product name", "system manufacturer", "system version", "base board serial number",
    "baseboard serial number", "chassis serial number", "chassis manufacture", "o.e.m.",
    "oem", "none", "n/a", "na",
    "not applicable", "not available", "not specified", "not defined",
    "unknown", "invalid", "empty", "default",
    "serial number", "serialnumber", "123456789", "1234567890",
    "0123456789", "01234567890", "12345678", "abcdefghij",
    "type1productconfigid", "sku", "no asset tag", "no asset information",
    "asset-1234567890", "none.", "no enclosure", "fill by oem",
    "please change", "standard", "sn12345678",
};
static_assert(std::size(kPlaceholders) == 43);

enum class DefaultKind { Network, Volume, Owner, Account };

struct WindowsDefault {
    DefaultKind kind;
    const char* language;
    const char* text;
};

#include "windows_defaults.inc"

// Case-folded NFC, trimmed: FAT keeps labels upper-case ("NEW VOLUME").
std::string Folded(std::string_view text) {
    const std::string trimmed = Trim(text);
    std::string out;
    for (size_t i = 0; i < trimmed.size();) {
        const auto [cp, length] = unicode::Decode(trimmed, i);
        if (length == 0) {  // no UTF-8: the byte as it is
            out.push_back(trimmed[i++]);
            continue;
        }
        char32_t self[1];
        for (char32_t c : unicode::FoldedDecomposition(cp, self)) unicode::Append(out, c);
        i += length;
    }
    return unicode::Nfc(out);
}

bool IsListedDefault(DefaultKind kind, std::string_view text) {
    static const std::vector<std::pair<DefaultKind, std::string>> kFolded = [] {
        std::vector<std::pair<DefaultKind, std::string>> out;
        for (const WindowsDefault& d : kWindowsDefaults) out.emplace_back(d.kind, Folded(d.text));
        return out;
    }();
    const std::string folded = Folded(text);
    return std::any_of(kFolded.begin(), kFolded.end(),
                       [&](const auto& d) { return d.first == kind && d.second == folded; });
}

}  // namespace

bool IsDefaultVolumeLabel(std::string_view label) {
    const std::string trimmed = Trim(label);
    return trimmed.empty() || IsListedDefault(DefaultKind::Volume, trimmed);
}

bool IsDefaultNetworkName(std::string_view name) {
    const std::string trimmed = Trim(name);
    if (IsListedDefault(DefaultKind::Network, trimmed)) return true;
    // Windows numbers the second network of a name from 2, without leading zeros.
    const size_t space = trimmed.rfind(' ');
    if (space == std::string::npos || space == 0 || trimmed[space - 1] == ' ' || space + 1 == trimmed.size() ||
        trimmed[space + 1] == '0')
        return false;
    const std::string_view number = std::string_view(trimmed).substr(space + 1);
    return number.size() <= 4 && std::all_of(number.begin(), number.end(), IsAsciiDigit) &&
           IsListedDefault(DefaultKind::Network, std::string_view(trimmed).substr(0, space));
}

bool IsDefaultOwnerName(std::string_view owner) { return IsListedDefault(DefaultKind::Owner, owner); }

bool IsBuiltInAccountName(std::string_view name) { return IsListedDefault(DefaultKind::Account, name); }

bool IsSetupPartitionType(std::string_view type) {
    static constexpr std::string_view kSetupTypes[] = {
        kEfiSystemPartitionType,
        "E3C9E316-0B5C-4DB8-817D-F92DF00215AE",  // Microsoft reserved
        "DE94BBA4-06D1-4D40-A16A-BFD50179D6AC",  // Windows recovery
        "0xEF",                                  // MBR: EFI system
        "0x27",                                  // MBR: recovery
    };
    const std::string trimmed = Trim(type);
    std::string_view t = trimmed;
    if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
    return std::any_of(std::begin(kSetupTypes), std::end(kSetupTypes),
                       [&](std::string_view setup) { return EqualsNoCase(t, setup); });
}

bool IsModelLabel(std::string_view label, std::string_view model) {
    const std::string trimmed = Trim(label);
    const std::vector<std::string_view> words = AsciiWords(trimmed), modelWords = AsciiWords(model);
    // Every character of the label is in a word: "T7" is the model's, "T7!" or "T7 Ana" is not.
    size_t letters = 0;
    for (std::string_view w : words) letters += w.size();
    size_t spaces = 0;
    for (char c : trimmed) spaces += c == ' ';
    if (words.empty() || letters + spaces != trimmed.size()) return false;
    return std::all_of(words.begin(), words.end(), [&](std::string_view w) {
        return std::any_of(modelWords.begin(), modelWords.end(), [&](std::string_view m) { return EqualsNoCase(w, m); });
    });
}

bool IsInternalNetworkDefault(std::string_view domain) {
    static constexpr std::string_view kDefaults[] = {"home",      "lan",  "local",    "localdomain", "fritz.box",
                                                     "home.arpa", "corp", "internal", "workgroup"};
    const std::string d = Trim(domain);
    return std::any_of(std::begin(kDefaults), std::end(kDefaults), [&](std::string_view k) { return EqualsNoCase(d, k); });
}

bool IsDefaultTypedText(std::string_view text) {
    const std::string t = Trim(text);
    return IsPlaceholderValue(t) || IsDefaultNetworkName(t) || IsDefaultVolumeLabel(t) || IsDefaultOwnerName(t) ||
           IsInternalNetworkDefault(t) || EqualsNoCase(t, "localhost");
}

bool IsPlaceholderValue(std::string_view text) {
    const std::string t = ToLower(Trim(text));
    if (t.empty()) return true;
    // Reference boards' families: "Type2 - Board Serial Number", "Type1 - TBD by OEM".
    if (t.size() > 8 && t.compare(0, 4, "type") == 0) {
        size_t i = 4;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        if (i > 4 && t.compare(i, 3, " - ") == 0) return true;
    }
    if (t.size() >= 2 && t.find_first_not_of(t[0]) == std::string::npos) return true;
    for (const char* p : kPlaceholders)
        if (t == p) return true;
    return t.size() >= 12 && t.find("to be filled") != std::string::npos;
}

}  // namespace vorq
