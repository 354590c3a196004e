#include "core/masked_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorq {
namespace {

constexpr MaskedValues::Place kMaker = MaskedValues::Place::Maker;

// A masked value and what it names; a bare text is a plain value.
struct Named {
    Named(const char* t, ValueKind k = ValueKind::Plain) : text(t), kind(k) {}
    std::string text;
    ValueKind kind;
};

struct Case {
    const char* what;
    std::vector<Named> maskedValues;
    const char* text;
    bool masked;
    MaskedValues::Place place = MaskedValues::Place::Text;
};

// Every case holds for the one-lookup automaton and for the sparse one that
// very many values fall back to.
template <size_t N>
void ExpectRestated(const Case (&cases)[N]) {
    for (const size_t limit : {MaskedValues::kDenseLimit, size_t{0}}) {
        for (const Case& c : cases) {
            std::vector<MaskedValues::Value> values;
            for (const Named& v : c.maskedValues) values.push_back({v.text, v.kind});
            const MaskedValues m(values, limit);
            EXPECT_EQ(m.Restated(c.text, c.place), c.masked) << c.what << (limit ? "" : " (sparse)");
        }
    }
}

// Masked values and one text: whether the text restates one of them, where it
// stands as an ordinary text or as a maker's name (driver company, signer,
// publisher).
TEST(MaskedValues, Restatements) {
    const Case cases[] = {
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
    ExpectRestated(cases);
}

// Letter case is folded beyond ASCII, on both sides: Latin with accents,
// Greek and Cyrillic.
TEST(MaskedValues, LetterCaseBeyondAscii) {
    const Case cases[] = {
        {"Latin with accents", {"Jürgen Quellbrandt"}, "JÜRGEN QUELLBRANDT", true},
        {"upper case masked, lower case restated", {"ÖLWERKE QUELLBRANDT"}, "Ölwerke Quellbrandt", true},
        {"Latin Extended-A", {"Łukasz Żółć"}, "ŁUKASZ ŻÓŁĆ", true},
        {"Y with diaeresis", {"Ÿvonne"}, "ÿvonne", true},
        {"Cyrillic computer name", {"ПК-Ивана-01"}, "ПК-ИВАНА-01", true},
        {"Cyrillic inside a text", {"ПК-Ивана-01"}, "Bluetooth radio of ПК-ИВАНА-01", true},
        {"Cyrillic Yo", {"Алёна"}, "АЛЁНА", true},
        {"Greek with a final sigma", {"Οδυσσέας"}, "ΟΔΥΣΣΈΑΣ", true},
        {"an accent is another letter", {"Jürgen Quellbrandt"}, "JURGEN QUELLBRANDT", false},
        {"a cut UTF-8 character", {"Jürgen Quellbrandt"}, "J\xC3 QUELLBRANDT", false},
    };
    ExpectRestated(cases);
}

// The account name (unless built in or generic), the computer name and the
// NetBIOS domain mask every text holding them as a whole word, makers'
// columns included.
TEST(MaskedValues, ChosenNamesAsWholeWords) {
    constexpr ValueKind kAccount = ValueKind::Account, kComputer = ValueKind::Computer;
    const Case cases[] = {
        {"account in a domain login", {{"jquellbrandt", kAccount}}, "HOLLOWMERE\\jquellbrandt", true},
        {"account in a test-signing certificate", {{"jquellbrandt", kAccount}},
         "WDKTestCert jquellbrandt,133512345678901234", true, kMaker},
        {"account in an e-mail address", {{"jquellbrandt", kAccount}}, "JQUELLBRANDT@hollowmere.example", true},
        {"account inside a longer word", {{"jquellbrandt", kAccount}}, "jquellbrandtx", false},
        {"the same name as a plain value", {"jquellbrandt"}, "HOLLOWMERE\\jquellbrandt", false},
        {"non-ASCII account", {{"Jürgen", kAccount}}, "HOLLOWMERE\\JÜRGEN", true},
        {"built-in account", {{"Administrator", kAccount}}, "running as Administrator (elevated)", false},
        {"built-in account in another case", {{"DEFAULTACCOUNT", kAccount}}, "DefaultAccount disabled", false},
        {"the tests' account", {{"root", kAccount}}, "ROOT\\WINE\\WINEBUS", false},
        {"built-in account restated whole", {{"Guest", kAccount}}, "guest", true},
        {"computer name in a certificate", {{"HOLLOWPC", kComputer}}, "CN=hollowpc", true, kMaker},
        {"computer name inside a longer word", {{"HOLLOWPC", kComputer}}, "HOLLOWPCS", false},
        {"two-letter computer name", {{"vm", kComputer}}, "vm guest", false},
        {"NetBIOS domain", {{"HOLLOWMERE", ValueKind::NetbiosDomain}}, "HOLLOWMERE\\mq", true},
        {"NetBIOS domain in a CA's name", {{"HOLLOWMERE", ValueKind::NetbiosDomain}}, "hollowmere-DC01-CA", true,
         kMaker},
    };
    ExpectRestated(cases);
}

// Owner and organization in one cell: each part masks by its own shape. A
// workgroup is masked as an organization's name.
TEST(MaskedValues, OwnerAndOrganization) {
    const Case cases[] = {
        {"e-mail owner inside a text", {"m.quellbrandt@hollowmere.example / Hollowmere Logistics"},
         "UPN m.quellbrandt@hollowmere.example", true},
        {"organization beside an e-mail owner", {"m.quellbrandt@hollowmere.example / Hollowmere Logistics"},
         "HOLLOWMERE LOGISTICS", true},
        {"organization with digits inside a text", {"Marguerite Quellbrandt / Hollowmere 24 GmbH"},
         "Invoice Hollowmere 24 GmbH", true},
        {"owner beside an organization with digits", {"Marguerite Quellbrandt / Hollowmere 24 GmbH"},
         "marguerite quellbrandt", true},
        {"owner's name inside another text", {"Marguerite Quellbrandt / Hollowmere 24 GmbH"},
         "CN=Marguerite Quellbrandt", false},
        {"workgroup", {{"HOLLOWNET", ValueKind::Organization}}, "hollownet", true},
        {"workgroup where a maker's name stands", {{"HOLLOWNET", ValueKind::Organization}}, "HOLLOWNET", false,
         kMaker},
        {"workgroup inside another text", {{"HOLLOWNET", ValueKind::Organization}}, "HOLLOWNET share", false},
    };
    ExpectRestated(cases);
}

// A DNS domain masks its distinctive label as a word and its directory form;
// "=", "," and the escapes "%40" and "%20" hide no value.
TEST(MaskedValues, DomainInEveryForm) {
    const Named domain{"corp.hollowmere.example", ValueKind::DnsDomain};
    const Case cases[] = {
        {"label in a CA's name", {domain}, "hollowmere-DC01-CA", true},
        {"label where a maker's name stands", {domain}, "Hollowmere Root CA", true, kMaker},
        {"label inside a longer word", {domain}, "hollowmeres", false},
        {"directory form", {domain}, "DC=corp, DC=hollowmere, DC=example", true},
        {"directory form in a longer name", {domain}, "CN=pc17,OU=Desktops,DC=corp,DC=hollowmere,DC=example", true},
        {"host name", {domain}, "pc-17.corp.hollowmere.example", true},
        {"generic label", {{"corp.local", ValueKind::DnsDomain}}, "Example Corp", false},
        {"label before a second level", {{"hollowmere.co.uk", ValueKind::DnsDomain}}, "HOLLOWMERE-FS01", true},
        {"second level is no label", {{"hollowmere.co.uk", ValueKind::DnsDomain}}, "Co Ltd", false},
        {"escaped at sign", {"m.quellbrandt@hollowmere.example"}, "mailto:m.quellbrandt%40hollowmere.example", true},
        {"escaped space", {"Marguerite Quellbrandt"}, "Marguerite%20Quellbrandt", true},
        {"equals sign and comma", {"A1B2-C3D4"}, "id=A1B2,C3D4", true},
        {"a per cent sign that escapes nothing", {"A1B2-C3D4"}, "A1B2%ZZC3D4", false},
    };
    ExpectRestated(cases);
}

// Profile folders anywhere, and the short forms Windows gave them.
TEST(MaskedValues, ProfileFolderShortNames) {
    constexpr ValueKind kProfile = ValueKind::ProfileFolder;
    const Case cases[] = {
        {"Windows' short form of a non-ASCII folder",
         {{"C:\\Users\\Jürgen Quellbrandt", kProfile}, {"C:\\Users\\JRGENQ~1", kProfile}},
         "C:\\Users\\JRGENQ~1\\AppData\\Local\\Temp\\x.sys", true},
        {"hashed short form after four collisions",
         {{"C:\\Users\\Johannes Quellbrandt", kProfile}, {"C:\\Users\\JOA1F4~1", kProfile}},
         "c:\\users\\joa1f4~1\\ntuser.dat", true},
        {"predicted short form outside C:\\Users", {{"D:\\Profiles\\Johannes Quellbrandt", kProfile}},
         "D:\\Profiles\\JOHANN~1\\x.sys", true},
        {"folder outside C:\\Users inside a text", {{"D:\\Profiles\\Johannes Quellbrandt\\", kProfile}},
         "\\??\\D:\\Profiles\\Johannes Quellbrandt\\drv.sys", true},
        {"another folder's short form", {{"D:\\Profiles\\Johannes Quellbrandt", kProfile}},
         "D:\\Profiles\\JOHANNA~1\\x.sys", false},
    };
    ExpectRestated(cases);
}

// What firmware writes for an unset field identifies nothing, even as a
// sensitive value.
TEST(MaskedValues, PlaceholdersMaskNothingElse) {
    const Case cases[] = {
        {"To Be Filled By O.E.M.", {"To Be Filled By O.E.M."}, "To Be Filled By O.E.M.", false},
        {"Default string", {"Default string"}, "DEFAULT STRING", false},
        {"System Serial Number", {"System Serial Number"}, "System Serial Number", false},
        {"Not Specified", {"Not Specified"}, "Not Specified", false},
        {"None", {"None"}, "None", false},
        {"digits in order", {"0123456789"}, "0123456789", false},
        {"a real serial beside one", {"To Be Filled By O.E.M.", "PF3ABCD7"}, "PF3ABCD7", true},
        {"a placeholder as an account name", {{"Default string", ValueKind::Account}}, "user Default string",
         false},
    };
    ExpectRestated(cases);
}

}  // namespace
}  // namespace vorq
