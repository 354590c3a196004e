#include "core/masked_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorq {
namespace {

// Masked values and one text: whether the text restates one of them, where it
// stands as an ordinary text or as a maker's name (driver company, signer,
// publisher). Every case holds for the one-lookup automaton and for the sparse
// one that very many values fall back to.
TEST(MaskedValues, Restatements) {
    constexpr MaskedValues::Place kMaker = MaskedValues::Place::Maker;
    struct Case {
        const char* what;
        std::vector<std::string> maskedValues;
        const char* text;
        bool masked;
        MaskedValues::Place place = MaskedValues::Place::Text;
    } cases[] = {
        {"equal", {"DESKTOP-7QK2L9M"}, "DESKTOP-7QK2L9M", true},
        {"equal, other case", {"DESKTOP-7QK2L9M"}, "desktop-7qk2l9m", true},
        {"contained", {"DESKTOP-7QK2L9M"}, "Bluetooth radio of DESKTOP-7QK2L9M", true},
        {"contained path", {"C:\\Users\\alice"}, "\\??\\C:\\Users\\alice\\AppData\\drv.sys", true},
        {"separators and braces", {"{4C4C4544-0042-3510-8052-B4C04F4B4E32}"}, "00044C4C454400423510 8052B4C04F4B4E32", true},
        {"MAC written otherwise", {"0A-3B-3A-C0-A5-A0"}, "gateway 0a3b.3ac0.a5a0", true},
        {"short value equal", {"Bob"}, "bob", true},
        {"short value inside another text", {"root"}, "ROOT\\WINE\\WINEBUS", false},
        {"short value inside a word", {"alice"}, "Alice's laptop", false},
        {"one character", {"1"}, "1", false},
        {"two characters", {"vm"}, "vm", false},
        {"one repeated character", {"00000000"}, "00000000", false},
        {"long, few different characters", {"4300-0000"}, "EAX 43000000 EBX 00000001", false},
        {"long, few different characters, equal", {"4300-0000"}, "43000000", true},
        {"other value", {"DESKTOP-7QK2L9M"}, "DESKTOP-7QK2L9N", false},
        {"empty text", {"DESKTOP-7QK2L9M"}, "", false},
        {"after a partial match", {"aab1aab2"}, "id aab1aab1aab2", true},
        {"one of several that begin alike", {"SN-2024-0001", "SN-2024-0002", "SN-2024-0003"}, "module SN-2024-0002", true},
        {"several that begin alike, none in the text", {"SN-2024-0001", "SN-2024-0002"}, "SN-2024-0004", false},
        // A plain word or name masks only texts equal to it, and not where a maker's name stands.
        {"organization in the OS name", {"Microsoft"}, "Microsoft Windows 10 Pro", false},
        {"organization in a registry path", {"Microsoft"}, "HKLM\\SOFTWARE\\Microsoft\\Windows NT", false},
        {"organization in a link", {"Microsoft"}, "https://learn.microsoft.com/windows", false},
        {"organization restated", {"Hollowmere Logistics"}, "hollowmere logistics", true},
        {"organization as a driver's company", {"HP Inc."}, "HP Inc.", false, kMaker},
        {"organization as a driver's signer", {"Dell Inc."}, "Dell Inc", false, kMaker},
        {"organization as a driver's chain root", {"Dell Inc."}, "DELL INC.", false, kMaker},
        {"an identifier in a maker's column", {"DESKTOP-7QK2L9M"}, "DESKTOP-7QK2L9M Test CA", true, kMaker},
        {"workgroup in a state", {"WORKGROUP"}, "workgroup WORKGROUP", false},
        {"user name in a state", {"Administrator"}, "[info] administrator (elevated)", false},
        {"owner of owner / organization", {"Marguerite Quellbrandt / Hollowmere Logistics"}, "Marguerite Quellbrandt",
         true},
        {"organization of owner / organization", {"Marguerite Quellbrandt / Hollowmere Logistics"},
         "Hollowmere Logistics", true},
        {"owner / organization inside a text", {"Marguerite Quellbrandt / Hollowmere Logistics"},
         "CN=Marguerite Quellbrandt", false},
        // Identifier structure keeps masking every text that holds it.
        {"domain inside a host name", {"corp.hollowmere.example"}, "pc-17.corp.hollowmere.example", true},
        {"e-mail address inside a text", {"m.quellbrandt@hollowmere.example"}, "UPN M.Quellbrandt@hollowmere.example",
         true},
        {"name with digits inside a text", {"jsmith2024"}, "C:\\Users\\jsmith2024\\Desktop", true},
        // A profile folder's 8.3 short form, as Windows writes %TEMP% for long user names.
        {"short profile folder", {"C:\\Users\\Johannes Quellbrandt"},
         "\\??\\C:\\Users\\JOHANN~1\\AppData\\Local\\Temp\\drv.sys", true},
        {"short profile folder with a dot", {"C:\\Users\\johannes.quellbrandt"}, "c:\\users\\johann~2\\x.sys", true},
        {"another user's short folder", {"C:\\Users\\Johannes Quellbrandt"}, "C:\\Users\\JOHANNA~1\\x.sys", false},
    };
    for (const size_t limit : {MaskedValues::kDenseLimit, size_t{0}}) {
        for (const Case& c : cases) {
            MaskedValues m(limit);
            for (const std::string& v : c.maskedValues) m.Add(v);
            m.Finish();
            EXPECT_EQ(m.Restated(c.text, c.place), c.masked) << c.what << (limit ? "" : " (sparse)");
        }
    }
}

}  // namespace
}  // namespace vorq
