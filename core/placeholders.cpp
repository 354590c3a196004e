#include "core/placeholders.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "core/text.h"

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

}  // namespace

bool IsDefaultVolumeLabel(std::string_view label) {
    // Setup's and makers' labels for the Windows, boot and recovery
    // partitions, and what Windows' format gives when none is typed.
    static constexpr std::string_view kDefaults[] = {
        "Windows",    "System Reserved", "System-reserviert", "Réservé au système", "Reservado para el sistema",
        "Recovery",   "Recovery Image",  "Windows RE tools",  "WINRETOOLS",         "OS",
        "SYSTEM",     "SYSTEM_DRV",      "Local Disk",        "New Volume",         "Neues Volume",
        "EFI",        "ESP",             "Boot",
    };
    const std::string trimmed = Trim(label);
    return trimmed.empty() || std::any_of(std::begin(kDefaults), std::end(kDefaults),
                                          [&](std::string_view d) { return EqualsNoCase(trimmed, d); });
}

bool IsDefaultTypedText(std::string_view text) {
    static constexpr std::string_view kDefaults[] = {"localhost", "home", "lan", "fritz.box", "local",
                                                     "localdomain", "home.arpa"};
    const std::string t = Trim(text);
    return IsPlaceholderValue(t) || std::any_of(std::begin(kDefaults), std::end(kDefaults),
                                                [&](std::string_view d) { return EqualsNoCase(t, d); });
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
