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

// Letter case is folded beyond ASCII, on both sides, as Unicode's full case
// folding does it.
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
        {"a name without its accents", {"Jürgen Quellbrandt"}, "JURGEN QUELLBRANDT", true},
        {"Vietnamese", {"NGUYỄN Thị Hồng"}, "Nguyễn thị hồng", true},
        {"Turkish dotted capital I", {"İSMAİL Yılmaz"}, "İsmail Yılmaz", true},
        {"Turkish dotted capital I, written in ASCII", {"İSMAİL Yılmaz"}, "ISMAIL YILMAZ", true},
        {"Greek capitals without tonos", {"Νίκος Παπαδόπουλος"}, "ΝΙΚΟΣ ΠΑΠΑΔΟΠΟΥΛΟΣ", true},
        {"Armenian", {"Արամ Պետրոսյան"}, "ԱՐԱՄ ՊԵՏՐՈՍՅԱՆ", true},
        {"an identifier keeps its accents", {"JÜRGEN-7QK2L9M"}, "JURGEN-7QK2L9M", false},
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
         "WDKTestCert jquellbrandt,133512345678901234", true},
        // A name's words mask no maker's text: which maker texts are masked
        // would tell the word back.
        {"account in a maker's text", {{"jquellbrandt", kAccount}}, "WDKTestCert jquellbrandt,133512345678901234",
         false, kMaker},
        {"account in an e-mail address", {{"jquellbrandt", kAccount}}, "JQUELLBRANDT@hollowmere.example", true},
        {"account inside a longer word", {{"jquellbrandt", kAccount}}, "jquellbrandtx", false},
        {"the same name as a plain value", {"jquellbrandt"}, "HOLLOWMERE\\jquellbrandt", false},
        {"non-ASCII account", {{"Jürgen", kAccount}}, "HOLLOWMERE\\JÜRGEN", true},
        {"built-in account", {{"Administrator", kAccount}}, "running as Administrator (elevated)", false},
        {"built-in account in another case", {{"DEFAULTACCOUNT", kAccount}}, "DefaultAccount disabled", false},
        {"the tests' account", {{"root", kAccount}}, "ROOT\\WINE\\WINEBUS", false},
        {"built-in account restated whole", {{"Guest", kAccount}}, "guest", false},
        {"computer name in a certificate", {{"HOLLOWPC", kComputer}}, "CN=hollowpc", true},
        {"computer name in a maker's text", {{"HOLLOWPC", kComputer}}, "CN=hollowpc", false, kMaker},
        {"computer name inside a longer word", {{"HOLLOWPC", kComputer}}, "HOLLOWPCS", false},
        {"two-letter computer name", {{"vm", kComputer}}, "vm guest", false},
        {"NetBIOS domain", {{"HOLLOWMERE", ValueKind::NetbiosDomain}}, "HOLLOWMERE\\mq", true},
        {"NetBIOS domain in a CA's name", {{"HOLLOWMERE", ValueKind::NetbiosDomain}}, "hollowmere-DC01-CA", true},
        {"NetBIOS domain in a maker's text", {{"HOLLOWMERE", ValueKind::NetbiosDomain}}, "hollowmere-DC01-CA", false,
         kMaker},
    };
    ExpectRestated(cases);
}

// Owner and organization in one cell: each part masks by its own shape. A
// workgroup is masked as an organization's name, its words as whole words.
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
        {"workgroup inside another text", {{"HOLLOWNET", ValueKind::Organization}}, "HOLLOWNET share", true},
        {"workgroup inside a longer word", {{"HOLLOWNET", ValueKind::Organization}}, "HOLLOWNETS", false},
    };
    ExpectRestated(cases);
}

// A DNS domain masks its distinctive label as a word and its directory form;
// "=", "," and the escapes "%40" and "%20" hide no value.
TEST(MaskedValues, DomainInEveryForm) {
    const Named domain{"corp.hollowmere.example", ValueKind::DnsDomain};
    const Case cases[] = {
        {"label in a CA's name", {domain}, "hollowmere-DC01-CA", true},
        {"label where a maker's name stands", {domain}, "Hollowmere Root CA", false, kMaker},
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

// Names in every script and form, where a name is looked for inside a longer
// text: Unicode punctuation ends words, scripts without spaces hold names
// anywhere, and German letters fold as they are written in ASCII.
TEST(MaskedValues, NamesInEveryScript) {
    constexpr ValueKind kAccount = ValueKind::Account, kComputer = ValueKind::Computer, kChosen = ValueKind::Chosen;
    const Case cases[] = {
        {"typographic apostrophe ends the word", {{"Ana", kChosen}}, "Ana’s Drucker", true},
        {"guillemets", {{"Kowalczyk", kChosen}}, "«Kowalczyk» Laser", true},
        {"middle dot", {{"Ana", kAccount}}, "Ana·PC", true},
        {"fullwidth punctuation", {{"Ana", kAccount}}, "Ana（Laser）", true},
        {"fullwidth letters", {{"Ana", kAccount}}, "Ａｎａ PC", true},
        {"ideographic space", {{"Ana", kAccount}}, "Ana　PC", true},
        {"a letter beyond ASCII joins the word", {{"Ana", kAccount}}, "Anań PC", false},
        {"Han inside a longer text", {{"王小明", kAccount}}, "王小明的打印机",
         true},
        {"Han as a chosen text", {{"王小明", kChosen}}, "资料（王小明）", true},
        {"Han, another name", {{"王小明", kAccount}}, "王小红的打印机", false},
        {"one Han character masks nothing else", {{"明", kComputer}}, "明天", false},
        {"kana", {{"さくら", kComputer}}, "さくらのプリンタ", true},
        {"Thai", {{"สมชาย", kAccount}}, "เครื่องของสมชาย", true},
        {"Cyrillic word", {{"Иван", kAccount}}, "Принтер ИВАНА", false},
        {"Cyrillic whole word", {{"Иван", kAccount}}, "Принтер (ИВАН)", true},
        {"Greek capitals without tonos", {{"Νίκος", kChosen}}, "ΝΙΚΟΣ-PC", true},
        {"Greek with its accent", {{"Νίκος", kChosen}}, "ΝΊΚΟΣ-PC", true},
        {"u umlaut as ue", {{"Jürgen", kAccount}}, "Juergen", true},
        {"u umlaut as ue in capitals", {{"Jürgen", kAccount}}, "JUERGEN-PC", true},
        {"ue as u umlaut", {{"Juergen", kComputer}}, "JÜRGEN-PC", true},
        {"sharp s as ss", {{"Weiß", ValueKind::Organization}}, "WEISS ELEKTRO BÜRO", true},
        {"capital sharp s", {{"Weiss", kChosen}}, "WEIẞ", true},
        {"a and o umlauts", {{"März Öl", kChosen}}, "Maerz Oel", true},
        {"u umlaut without its dots", {{"Jürgen", kAccount}}, "Jurgen", true},
    };
    ExpectRestated(cases);
}

// Texts are compared in NFC: a name decomposed (as some file systems and web
// forms write it) is the name composed, both ways, as a word and inside an
// identifier.
TEST(MaskedValues, CanonicalEquivalence) {
    constexpr ValueKind kAccount = ValueKind::Account;
    const Case cases[] = {
        {"decomposed text, composed name", {{"Jörg", kAccount}}, "JO\u0308RG-PC", true},
        {"composed text, decomposed name", {{"Jo\u0308rg", kAccount}}, "Jörg’s PC", true},
        {"decomposed identifier inside a text", {"Jörg-7QK2L9M"}, "pc Jo\u0308rg-7QK2L9M", true},
        {"marks in another order", {"Ệ-7QK2L9M-Ư"}, "e\u0302\u0323-7QK2L9M-U\u031B", true},
        {"Hangul jamo", {{"민수", kAccount}}, "\u1106\u1175\u11AB\u1109\u116E PC", true},
    };
    ExpectRestated(cases);
}

// A word ends at every punctuation, symbol, space and control character of
// Unicode, and at a mark that follows one (an emoji's variation selector);
// letters, numbers and marks inside a word stay in it; format characters are
// left out.
TEST(MaskedValues, WordBoundariesFromGeneralCategories) {
    constexpr ValueKind kChosen = ValueKind::Chosen;
    const Case cases[] = {
        {"trade mark sign", {{"Ana", kChosen}}, "™Ana", true},
        {"emoji with a variation selector", {{"Ana", kChosen}}, "❤️Ana", true},
        {"modifier letter apostrophe", {{"Ana", kChosen}}, "Anaʼs Drucker", true},
        {"mathematical operator", {{"Ana", kChosen}}, "Ana∙PC", true},
        {"superscript digit stays in the word", {{"Ana", kChosen}}, "Ana²", false},
        {"vulgar fraction stays in the word", {{"Ana", kChosen}}, "Ana½", false},
        {"circled digit stays in the word", {{"Ana", kChosen}}, "①Ana", false},
        {"soft hyphen left out", {{"Ana", kChosen}}, "A\u00ADna PC", true},
        {"zero-width joiner left out", {{"Ana", kChosen}}, "An\u200Da PC", true},
        {"an accent joins the word", {{"Ana", kChosen}}, "Anaś PC", false},
    };
    ExpectRestated(cases);
}

// Names are compared also without accents, in their compatibility forms and
// with the letters that do not decompose spelled in ASCII, as host names,
// ports and addresses write them; German umlauts both ways.
TEST(MaskedValues, NamesWithoutAccents) {
    constexpr ValueKind kAccount = ValueKind::Account, kOwner = ValueKind::Owner;
    const Case cases[] = {
        {"stroke", {{"Paweł Wróbel", kOwner}}, "PAWEL-PC", true},
        {"acute", {{"Paweł Wróbel", kOwner}}, "Wrobel Drucker", true},
        {"o with stroke", {{"Søren", kAccount}}, "SOREN-LAPTOP", true},
        {"acute on e", {{"José", kAccount}}, "JOSE-PC", true},
        {"thorn", {{"Þórdís", kAccount}}, "thordis-pc", true},
        {"ligature", {{"Cæcilie", kAccount}}, "CAECILIE", true},
        {"dotless i", {{"Yılmaz", kOwner}}, "YILMAZ-NB", true},
        {"German umlaut as ue", {{"Jürgen", kAccount}}, "jurgen + juergen", true},
        {"umlaut spelled in the masked name", {{"Müller", kOwner}}, "Mueller Laser", true},
        {"fullwidth", {{"Ana", kAccount}}, "ＡＮＡ-PC", true},
        {"another name", {{"Søren", kAccount}}, "SØRENSEN", false},
    };
    ExpectRestated(cases);
}

// Particles attached to a name: Korean writes them after it, Arabic and
// Hebrew one-letter prefixes before it; harakat, niqqud and tatweel are left
// out.
TEST(MaskedValues, NamesWithAttachedParticles) {
    constexpr ValueKind kAccount = ValueKind::Account;
    const Case cases[] = {
        {"Korean particle", {{"민수", kAccount}}, "민수의 노트북", true},
        {"Korean name inside another word", {{"민수", kAccount}}, "김민수 노트북", false},
        {"Arabic preposition", {{"ليلى", kAccount}}, "حاسوب لليلى", true},
        {"Arabic conjunction and article", {{"ليلى", kAccount}}, "والليلى", true},
        {"Arabic with harakat", {{"ليلى", kAccount}}, "لَيْلَى", true},
        {"Arabic with tatweel", {{"ليلى", kAccount}}, "ليـــلى", true},
        {"Arabic, no prefix", {{"ليلى", kAccount}}, "ماليلى", false},
        {"Hebrew preposition", {{"דנה", kAccount}}, "המחשב לדנה", true},
        {"Hebrew, two prefixes", {{"דנה", kAccount}}, "ולדנה", true},
        {"Hebrew with niqqud", {{"דנה", kAccount}}, "דָּנָה", true},
        {"Hebrew, no prefix", {{"דנה", kAccount}}, "אדנה", false},
    };
    ExpectRestated(cases);
}

// "%XX" runs are read as the UTF-8 they spell; an address's local part gives
// its names split at dots and digits.
TEST(MaskedValues, EscapesAndAddresses) {
    constexpr ValueKind kAccount = ValueKind::Account;
    const Case cases[] = {
        {"escaped Latin", {{"Jürgen", kAccount}}, "https://example.test/u/J%C3%BCrgen", true},
        {"escaped Cyrillic", {{"Иван", kAccount}}, "q=%D0%98%D0%B2%D0%B0%D0%BD", true},
        {"escaped combining mark", {{"José", kAccount}}, "Jose%CC%81-PC", true},
        {"an escape that spells no UTF-8", {{"Jürgen", kAccount}}, "J%C3rgen", false},
        {"digits in the local part", {{"p.quellbrandt1984@hollowmere.example", ValueKind::Owner}}, "Quellbrandt-PC",
         true},
    };
    ExpectRestated(cases);
}

// Registrable domains from the Public Suffix List, its ICANN and private
// sections, with punycode labels decoded; home routers' and internal defaults
// name no organization.
TEST(MaskedValues, PublicSuffixList) {
    constexpr ValueKind kDns = ValueKind::DnsDomain;
    const Case cases[] = {
        {"third level of a country", {{"hollowmere.nsw.edu.au", kDns}}, "Hollowmere Library", true},
        {"third level is no label", {{"hollowmere.nsw.edu.au", kDns}}, "NSW Health", false},
        {"school district", {{"hollowmere.k12.ca.us", kDns}}, "HOLLOWMERE-DC01", true},
        {"hosting tenant", {{"hollowmere.web.app", kDns}}, "Hollowmere Kiosk", true},
        {"hosting service is no label", {{"hollowmere.web.app", kDns}}, "Web App", false},
        {"pages tenant", {{"hollowmere.pages.dev", kDns}}, "hollowmere-docs", true},
        {"punycode", {{"www.xn--mnchen-3ya.de", kDns}}, "MÜNCHEN-FS01", true},
        {"punycode without accents", {{"www.xn--mnchen-3ya.de", kDns}}, "Muenchen Drucker", true},
        {"wildcard: a public suffix itself", {{"hollowmere.kawasaki.jp", kDns}}, "Hollowmere", false},
        {"exception to a wildcard", {{"www.city.kawasaki.jp", kDns}}, "CITY-FS", true},
        {"home router", {{"fritz.box", kDns}}, "Fritz Quellbrandt", false},
        {"internal default", {{"pc.localdomain", kDns}}, "PC", false},
        {"a company's internal default", {{"corp", kDns}}, "Corp Laser", false},
    };
    ExpectRestated(cases);
}

// The registered owner masks its given name and surname each as whole words,
// unless it is generic or a maker; an organization its distinctive words,
// from its name without the legal form or from its domain; a DNS domain the
// label left of its public suffix.
TEST(MaskedValues, OwnerOrganizationAndDomainWords) {
    constexpr ValueKind kOwner = ValueKind::Owner, kOrg = ValueKind::Organization, kDns = ValueKind::DnsDomain;
    const Case cases[] = {
        {"given name", {{"Ana Kowalczyk", kOwner}}, "Ana's Printer", true},
        {"surname", {{"Ana Kowalczyk", kOwner}}, "Headset (Kowalczyk AirPods Pro Hands-Free)", true},
        {"surname inside a longer word", {{"Ana Kowalczyk", kOwner}}, "Kowalczyks", false},
        {"Irish surname", {{"Sean O'Brien", kOwner}}, "Brien’s laptop", true},
        {"owner in Han", {{"王小明", kOwner}}, "王小明的资料", true},
        {"a name particle is no name", {{"Jan van der Berg", kOwner}}, "van der Waals", false},
        {"generic owner", {{"Windows User", kOwner}}, "Windows Update", false},
        {"default owner names nobody, restated or not", {{"Windows User", kOwner}}, "windows user", false},
        {"built-in owner", {{"Owner", kOwner}}, "Owner", false},
        {"maker as owner", {{"HP Inc.", kOwner}}, "HP Inc. Printer", false},
        {"e-mail owner's name", {{"ana.quellbrandt@hollowmere.com", kOwner}}, "Quellbrandt-PC", true},
        {"e-mail owner's organization", {{"ana.quellbrandt@hollowmere.com", kOwner}}, "Hollowmere 3.OG Farbe", true},
        {"organization without its legal form", {{"Hollowmere GmbH", kOrg}}, "Hollowmere", true},
        {"organization's word in a longer text", {{"Hollowmere GmbH", kOrg}}, "Hollowmere 3.OG Farbe", true},
        {"legal form is no word", {{"Hollowmere GmbH", kOrg}}, "Muster GmbH", false},
        {"organization's words with sharp s", {{"Weiß Elektro GmbH", kOrg}}, "WEISS ELEKTRO BÜRO", true},
        {"e.V.", {{"Sportverein Quellbrandt e.V.", kOrg}}, "Quellbrandt Halle", true},
        {"Ltd.", {{"Hollowmere Ltd.", kOrg}}, "Brother Industries, Ltd.", false},
        {"generic business words", {{"Hollowmere Services Group", kOrg}}, "Services and Controller Group", false},
        {"maker as organization", {{"Microsoft", kOrg}}, "Microsoft Windows 10 Pro", false},
        {"maker with a legal form", {{"Dell Inc.", kOrg}}, "Dell Touchpad", false},
        {"maker as organization, its own cell", {{"Dell Inc.", kOrg}}, "Dell Inc.", true},
        {"e-mail's domain", {{"ana@hollowmere.com", kOrg}}, "HOLLOWMERE-NAS", true},
        {"public mail domain", {{"ana@gmail.com", kOrg}}, "Gmail Notifier", false},
        {"tenant domain", {{"hollowmere.onmicrosoft.com", kOrg}}, "Hollowmere Laptop", true},
        {"hyphenated domain label", {{"hollowmere-group.com", kOrg}}, "Hollowmere Drucker", true},
        {"hyphenated label whole", {{"hollowmere-group.com", kOrg}}, "hollowmere-group share", true},
        {"hyphenated label's generic part", {{"hollowmere-group.com", kOrg}}, "Group Policy Client", false},
        {"country's second level", {{"example.gv.at", kDns}}, "EXAMPLE-DC01", true},
        {"a second level is no label", {{"example.gv.at", kDns}}, "GV Studio", false},
        {"ltd.uk", {{"hollowmere.ltd.uk", kDns}}, "Hollowmere FS", true},
        {"ltd.uk leaves makers readable", {{"hollowmere.ltd.uk", kDns}}, "Realtek Semiconductor Co., Ltd.", false},
        {"com.au", {{"pc1.hollowmere.com.au", kDns}}, "hollowmere-CA", true},
        {"a two-letter top-level domain alone", {{"hollowmere.de", kDns}}, "HOLLOWMERE\\ana", true},
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
        {"<none>", {"<none>"}, "<none>", false},
        {"a public service's address", {"https://login.windows.net/"}, "login.windows.net", false},
    };
    ExpectRestated(cases);
}

// A sensitive value that names nobody is shown: placeholders, built-in and
// generic values, public services' addresses.
TEST(MaskedValues, IdentifiesNobody) {
    const struct {
        const char* value;
        bool nobody;
    } cases[] = {
        {"To Be Filled By O.E.M.", true},
        {"<none>", true},
        {"no serial", true},
        {"root", true},
        {"Administrator", true},
        {"login.windows.net", true},
        {"https://enrollment.manage.microsoft.com/EnrollmentServer/Discovery.svc", true},
        {"https://login.windows.net/5f2b9c1e-0000-4a4a-9c9c-111122223333", false},
        {"ana.quellbrandt@hollowmere.com", false},
        {"PF3ABCD7", false},
        {"C:\\Users\\root", true},
        {"C:\\Users\\Public\\", true},
        {"C:\\Users\\jquellbrandt", false},
        {"C:\\Users\\root\\Desktop\\ana.txt", false},
        {"jquellbrandt", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IdentifiesNobody(c.value), c.nobody) << c.value;
}

}  // namespace
}  // namespace vorq
