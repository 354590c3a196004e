#include "core/masked_values.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <utility>

#include "core/placeholders.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr size_t kMinWhole = 3;
constexpr size_t kMinInside = 8;
constexpr size_t kMinInsideDistinct = 4;
constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

// The separators identifiers are written with.
constexpr std::array<bool, 256> kSkip = [] {
    std::array<bool, 256> skip{};
    for (unsigned char c : std::string_view("-:{} ._\\/\t\r\n=,")) skip[c] = true;
    return skip;
}();

constexpr std::array<unsigned char, 256> kFoldAscii = [] {
    std::array<unsigned char, 256> fold{};
    for (int c = 0; c < 256; ++c)
        fold[static_cast<size_t>(c)] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return fold;
}();

constexpr std::array<signed char, 256> kHexDigit = [] {
    std::array<signed char, 256> hex{};
    for (int c = 0; c < 256; ++c)
        hex[static_cast<size_t>(c)] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                                               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                                      : -1);
    return hex;
}();

// Upper-case letters of Latin with accents, Greek and Cyrillic and their lower
// case: code points first..last (every `step`-th from first) map to code point
// + delta. All of them, and their lower case, are two bytes in UTF-8.
struct CasePairs {
    char16_t first, last;
    int16_t delta;
    uint8_t step;
};
constexpr CasePairs kCasePairs[] = {
    {0x00C0, 0x00D6, 32, 1}, {0x00D8, 0x00DE, 32, 1},   {0x0100, 0x012E, 1, 2},  {0x0132, 0x0136, 1, 2},
    {0x0139, 0x0147, 1, 2},  {0x014A, 0x0176, 1, 2},    {0x0178, 0x0178, -121, 1}, {0x0179, 0x017D, 1, 2},
    {0x01CD, 0x01DB, 1, 2},  {0x01DE, 0x01EE, 1, 2},    {0x01F8, 0x021E, 1, 2},  {0x0222, 0x0232, 1, 2},
    {0x0386, 0x0386, 38, 1}, {0x0388, 0x038A, 37, 1},   {0x038C, 0x038C, 64, 1}, {0x038E, 0x038F, 63, 1},
    {0x0391, 0x03A1, 32, 1}, {0x03A3, 0x03AB, 32, 1},   {0x03C2, 0x03C2, 1, 1},  // final sigma as sigma
    {0x0400, 0x040F, 80, 1}, {0x0410, 0x042F, 32, 1},   {0x0460, 0x0480, 1, 2},  {0x048A, 0x04BE, 1, 2},
    {0x04C0, 0x04C0, 15, 1}, {0x04C1, 0x04CD, 1, 2},    {0x04D0, 0x052E, 1, 2},
};

// Lower case of every code point of two UTF-8 bytes.
constexpr std::array<char16_t, 0x800> kFoldTwoBytes = [] {
    std::array<char16_t, 0x800> fold{};
    for (size_t cp = 0; cp < fold.size(); ++cp) fold[cp] = static_cast<char16_t>(cp);
    for (const CasePairs& p : kCasePairs)
        for (size_t cp = p.first; cp <= p.last; cp += p.step)
            fold[cp] = static_cast<char16_t>(static_cast<int>(cp) + p.delta);
    return fold;
}();

struct Range {
    char32_t first, last;
};

// Punctuation, symbols and spaces beyond ASCII: a word ends at each, as it
// does at ASCII punctuation. Combining marks and modifier letters stay inside
// words. Sorted.
constexpr Range kSeparators[] = {
    {0x00A0, 0x00A9},   {0x00AB, 0x00B4}, {0x00B6, 0x00B9}, {0x00BB, 0x00BF}, {0x00D7, 0x00D7}, {0x00F7, 0x00F7},
    {0x037E, 0x037E},   {0x0387, 0x0387}, {0x055A, 0x055F}, {0x0589, 0x058A}, {0x05BE, 0x05BE}, {0x05C0, 0x05C0},
    {0x05C3, 0x05C3},   {0x05C6, 0x05C6}, {0x05F3, 0x05F4}, {0x060C, 0x060D}, {0x061B, 0x061F}, {0x066A, 0x066D},
    {0x06D4, 0x06D4},   {0x0964, 0x0965}, {0x0970, 0x0970}, {0x0E4F, 0x0E4F}, {0x0E5A, 0x0E5B}, {0x10FB, 0x10FB},
    {0x1360, 0x1368},   {0x166D, 0x166E}, {0x1680, 0x1680}, {0x17D4, 0x17DA}, {0x1800, 0x180A}, {0x2000, 0x206F},
    {0x20A0, 0x20CF},   {0x2190, 0x2BFF}, {0x2E00, 0x2E7F}, {0x3000, 0x3004}, {0x3008, 0x3020}, {0x3030, 0x3030},
    {0x303D, 0x303D},   {0x30FB, 0x30FB}, {0xFE10, 0xFE19}, {0xFE30, 0xFE6F}, {0xFF01, 0xFF0F}, {0xFF1A, 0xFF20},
    {0xFF3B, 0xFF40},   {0xFF5B, 0xFF65}, {0xFFF9, 0xFFFD}, {0x1F000, 0x1FAFF},
};

bool IsSeparator(char32_t cp) {
    const Range* r = std::upper_bound(std::begin(kSeparators), std::end(kSeparators), cp,
                                      [](char32_t c, const Range& range) { return c < range.first; });
    return r != std::begin(kSeparators) && cp <= (r - 1)->last;
}

// Scripts written without spaces between words: Thai, Lao, Myanmar, Khmer,
// kana and Han.
bool IsSpaceless(char32_t cp) {
    return (cp >= 0x0E00 && cp <= 0x0EFF) || (cp >= 0x1000 && cp <= 0x109F) || (cp >= 0x1780 && cp <= 0x17FF) ||
           (cp >= 0x3040 && cp <= 0x30FF && cp != 0x30FB) || (cp >= 0x31F0 && cp <= 0x31FF) ||
           (cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFF66 && cp <= 0xFF9F) || (cp >= 0x20000 && cp <= 0x3FFFF);
}

bool IsContinuation(std::string_view text, size_t i) {
    return i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
}

// The code point of the UTF-8 sequence at text[i] and its length; length 0
// for a byte that starts no valid sequence.
std::pair<char32_t, size_t> Decode(std::string_view text, size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    auto b = [&](size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(text[i + k]) & 0x3Fu); };
    if (c >= 0xC2 && c < 0xE0 && IsContinuation(text, i + 1)) return {(c & 0x1Fu) << 6 | b(1), 2};
    if (c >= 0xE0 && c < 0xF0 && IsContinuation(text, i + 1) && IsContinuation(text, i + 2)) {
        const char32_t cp = (c & 0x0Fu) << 12 | b(1) << 6 | b(2);
        if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) return {cp, 3};
    } else if (c >= 0xF0 && c < 0xF5 && IsContinuation(text, i + 1) && IsContinuation(text, i + 2) &&
               IsContinuation(text, i + 3)) {
        const char32_t cp = (c & 0x07u) << 18 | b(1) << 12 | b(2) << 6 | b(3);
        if (cp >= 0x10000 && cp <= 0x10FFFF) return {cp, 4};
    }
    return {0, 0};
}

// The ASCII bytes a code point beyond ASCII folds to, as a count (0 to 2) in
// `out`; -1 when it stays itself (its lower case for two-byte code points).
// "ä", "ö", "ü" and "ß" are "ae", "oe", "ue" and "ss", as they are written
// where only ASCII goes; typographic apostrophes are "'"; fullwidth forms are
// their ASCII letters, digits and punctuation; other separators a space; and
// zero-width characters nothing.
int FoldSpecial(char32_t cp, char out[2]) {
    auto two = [&](char a, char b) { return out[0] = a, out[1] = b, 2; };
    switch (cp) {
        case 0x00C4:
        case 0x00E4: return two('a', 'e');
        case 0x00D6:
        case 0x00F6: return two('o', 'e');
        case 0x00DC:
        case 0x00FC: return two('u', 'e');
        case 0x00DF:
        case 0x1E9E: return two('s', 's');
        case 0x00AD:
        case 0x200B:
        case 0x200C:
        case 0x200D:
        case 0x2060:
        case 0xFEFF: return 0;
        case 0x00B4:
        case 0x2018:
        case 0x2019:
        case 0x201B:
        case 0x2032: return out[0] = '\'', 1;
        default: break;
    }
    if (cp >= 0xFF01 && cp <= 0xFF5E) return out[0] = static_cast<char>(kFoldAscii[cp - 0xFEE0]), 1;
    if (IsSeparator(cp)) return out[0] = ' ', 1;
    return -1;
}

// Calls emit(byte) with the bytes of `text` as masking reads them: "%XX" of a
// printable ASCII character as that character, letters in lower case, and
// beyond ASCII as FoldSpecial says. Stops when emit returns false.
template <typename Emit>
inline void Fold(std::string_view text, Emit&& emit) {
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '%' && i + 2 < n) {
                const int high = kHexDigit[static_cast<unsigned char>(text[i + 1])];
                const int low = kHexDigit[static_cast<unsigned char>(text[i + 2])];
                if (high >= 0 && low >= 0 && high * 16 + low >= 0x20 && high * 16 + low < 0x7F) {
                    c = static_cast<unsigned char>(high * 16 + low);
                    i += 2;
                }
            }
            if (!emit(kFoldAscii[c])) return;
            continue;
        }
        const auto [cp, length] = Decode(text, i);
        if (length == 0) {
            if (!emit(c)) return;
            continue;
        }
        char out[2];
        const int count = FoldSpecial(cp, out);
        if (count >= 0) {
            for (int k = 0; k < count; ++k)
                if (!emit(static_cast<unsigned char>(out[k]))) return;
        } else if (length == 2) {
            const char16_t lower = kFoldTwoBytes[cp];
            if (!emit(static_cast<unsigned char>(0xC0 | lower >> 6)) ||
                !emit(static_cast<unsigned char>(0x80 | (lower & 0x3F))))
                return;
        } else {
            for (size_t k = 0; k < length; ++k)
                if (!emit(static_cast<unsigned char>(text[i + k]))) return;
        }
        i += length - 1;
    }
}

// How many code points of scripts written without spaces `text` holds.
size_t SpacelessCount(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto [cp, length] = Decode(text, i);
        if (length == 0) continue;
        count += IsSpaceless(cp) ? 1 : 0;
        i += length - 1;
    }
    return count;
}

// Letters and digits of any script (every byte of a multi-byte character).
bool IsWordByte(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80; }

uint64_t Hash(const std::string& normalized) {
    uint64_t hash = kFnvOffset;
    for (unsigned char c : normalized) hash = (hash ^ c) * kFnvPrime;
    return hash;
}

size_t DistinctBytes(const std::string& s) {
    bool seen[256] = {};
    size_t n = 0;
    for (unsigned char c : s)
        if (!seen[c]) seen[c] = true, ++n;
    return n;
}

// Too short or too uniform to identify anything.
bool IdentifiesNothing(const std::string& normalized) {
    return normalized.size() < kMinWhole || DistinctBytes(normalized) < 2;
}

// Letters (any script), spaces and the punctuation names are written with; a
// dot only where a word ends ("Inc.", not "corp.example").
bool IsPlainName(std::string_view text) {
    bool letter = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsAsciiLetter(c) || static_cast<unsigned char>(c) >= 0x80) {
            letter = true;
        } else if (c == '.') {
            if (i + 1 < text.size() && text[i + 1] != ' ' && text[i + 1] != ',') return false;
        } else if (c != ' ' && c != '\'' && c != ',' && c != '-' && c != '&' && c != '(' && c != ')') {
            return false;
        }
    }
    return letter;
}

// The non-empty labels of a DNS domain, in order.
std::vector<std::string_view> DomainLabels(std::string_view domain) {
    std::vector<std::string_view> labels;
    for (size_t from = 0; from <= domain.size();) {
        const size_t dot = std::min(domain.find('.', from), domain.size());
        if (dot > from) labels.push_back(domain.substr(from, dot - from));
        from = dot + 1;
    }
    return labels;
}

bool Listed(std::string_view word, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

// Second-level labels under which a country's registry gives names
// ("hollowmere.co.uk", "example.gv.at", "hollowmere.com.au"): with a
// two-letter top-level domain, they and it are the public suffix.
bool IsSecondLevel(std::string_view label) {
    return Listed(label, {"ac",  "ad",   "asn",  "biz", "co",   "com",   "ed",  "edu",   "firm", "gen",  "go",
                          "gob", "gouv", "gov",  "govt", "gr",  "gv",    "id",  "idv",   "in",   "ind",  "info",
                          "int", "k12",  "lg",   "ltd", "me",   "mil",   "mod", "muni",  "ne",   "net",  "nhs",
                          "nic", "nom",  "or",   "org", "plc",  "police", "priv", "res", "sch",  "web"});
}

// Suffixes of two labels that hand out names to the public and that no
// country rule finds: a cloud directory's tenant domains and hosting
// services.
bool IsPublicPair(std::string_view second, std::string_view top) {
    static constexpr std::pair<std::string_view, std::string_view> kPairs[] = {
        {"onmicrosoft", "com"}, {"sharepoint", "com"}, {"azurewebsites", "net"}, {"cloudapp", "net"},
        {"blogspot", "com"},    {"github", "io"},      {"firebaseapp", "com"},   {"herokuapp", "com"},
    };
    return std::find(std::begin(kPairs), std::end(kPairs), std::make_pair(second, top)) != std::end(kPairs);
}

// Labels that name no one's domain: internal defaults and public mail and
// cloud services, whose users share them.
bool IsGenericLabel(std::string_view label) {
    return IsSecondLevel(label) ||
           Listed(label, {"corp", "local", "lan", "home", "internal", "intranet", "domain", "localdomain", "localhost",
                          "workgroup", "mshome", "gmail", "googlemail", "outlook", "hotmail", "live", "msn", "yahoo",
                          "icloud", "mac", "aol", "gmx", "mail", "proton", "protonmail", "pm", "yandex", "qq", "163",
                          "126", "microsoft", "microsoftonline", "windows", "office", "office365", "google", "apple",
                          "amazon", "azure", "onmicrosoft"});
}

// The label of a DNS domain its owner chose: the one left of its public
// suffix (the top-level domain, a country's second level such as "co.uk" or
// "gv.at", or a public pair such as "onmicrosoft.com"); none when that label
// is generic. A domain of one label is that label.
std::string DistinctiveLabel(std::string_view domain) {
    std::vector<std::string> labels;
    for (std::string_view label : DomainLabels(domain)) labels.push_back(ToLower(std::string(label)));
    const size_t n = labels.size();
    size_t suffix = n >= 2 ? 1 : 0;
    if (n >= 3 && ((labels[n - 1].size() == 2 && IsSecondLevel(labels[n - 2])) ||
                   IsPublicPair(labels[n - 2], labels[n - 1])))
        suffix = 2;
    if (n == 0) return {};
    const std::string& label = labels[n - 1 - suffix];
    return IsGenericLabel(label) ? std::string() : label;
}

// Legal forms of companies and associations ("GmbH", "Inc.", "e.V.", "Ltd",
// "SE", ...), as folded words: an organization's name without them is its
// distinctive part. Words of fewer than 3 letters are never organization
// words anyway.
bool IsLegalForm(std::string_view word) {
    return Listed(word, {"gmbh", "mbh", "ggmbh", "kgaa", "inc", "incorporated", "ltd", "limited", "llc", "llp", "plc",
                         "corp", "corporation", "company", "sas", "sarl", "spa", "srl", "sro", "kft", "zrt", "pty",
                         "pvt", "ltda", "cia", "ooo", "zao", "oao", "pao", "eurl", "sca", "scs", "bvba", "asa",
                         "oyj", "aps", "sagl", "doo", "lda", "kabushiki", "kaisha", "yugen", "eingetragener",
                         "verein"});
}

// Words too common to name one organization: generic business words and the
// names owners and organizations are given by default.
bool IsGenericWord(std::string_view word) {
    return Listed(word, {"the", "and", "und", "for", "der", "die", "das", "des", "von", "van", "den", "del", "della",
                         "dos", "ter", "ten", "bin", "ibn", "group", "gruppe", "holding", "holdings", "services",
                         "service", "solutions", "systems", "international", "global", "technologies", "technology",
                         "consulting", "computer", "computers", "software", "office", "personal", "private",
                         "organization", "organisation", "enterprise", "enterprises", "industries", "partners",
                         "home", "family", "team", "user", "users", "owner", "windows", "customer", "valued",
                         "default", "mshome", "workgroup", "none", "org"});
}

// Makers of computers, boards, components and the system: a maker's name is
// never an organization's or an owner's distinctive word, since preinstalled
// systems carry it.
bool IsMakerWord(std::string_view word) {
    return Listed(word, {"microsoft", "dell", "hp", "hpe", "hewlett", "packard", "compaq", "lenovo", "ibm", "acer",
                         "asus", "asustek", "toshiba", "dynabook", "fujitsu", "siemens", "samsung", "sony", "vaio",
                         "msi", "gigabyte", "apple", "intel", "amd", "panasonic", "lg", "huawei", "honor", "xiaomi",
                         "medion", "razer", "alienware", "gateway", "emachines", "google", "vmware", "oracle",
                         "parallels", "qemu", "innotek", "nvidia", "realtek", "qualcomm", "clevo", "schenker",
                         "tuxedo", "wortmann", "getac", "framework", "chuwi", "teclast", "positivo", "zotac",
                         "supermicro", "asrock", "biostar", "ecs", "foxconn", "pegatron", "quanta", "wistron",
                         "compal", "system76", "purism", "star", "micro"});
}

// The folded words of a text, as Words writes them.
std::vector<std::string> FoldedWords(std::string_view text) {
    std::vector<std::string> words;
    const std::string w = MaskedValues::Words(text);
    for (size_t from = 1; from < w.size();) {
        const size_t end = w.find(' ', from);
        words.push_back(w.substr(from, end - from));
        from = end + 1;
    }
    return words;
}

// A maker's name, with or without its legal form ("Dell Inc.", "HP",
// "Hewlett-Packard Company", "Micro-Star International Co., Ltd.").
bool IsMakerName(std::string_view text) {
    bool maker = false;
    for (const std::string& w : FoldedWords(text)) {
        if (IsMakerWord(w))
            maker = true;
        else if (!IsLegalForm(w) && !IsGenericWord(w) && w.size() >= 3)
            return false;
    }
    return maker;
}

// "https://Login.Windows.NET/" as "login.windows.net".
std::string AddressOf(std::string_view text) {
    std::string t = ToLower(Trim(text));
    for (std::string_view scheme : {"https://", "http://"})
        if (t.starts_with(scheme)) t.erase(0, scheme.size());
    while (!t.empty() && t.back() == '/') t.pop_back();
    return t;
}

// "DC=corp,DC=hollowmere,DC=example" for "corp.hollowmere.example".
std::string DirectoryForm(std::string_view domain) {
    std::string out;
    for (std::string_view label : DomainLabels(domain)) {
        if (!out.empty()) out.push_back(',');
        out.append("DC=").append(label);
    }
    return out;
}

// `path` up to the folder that starts at `from`, and the first six characters
// of that folder's 8.3 short name up to its "~", when the folder's own name is
// not a valid short name; else empty. The short name drops spaces and dots,
// takes the base before a last dot, and writes "+,;=[]" as "_".
std::string ShortFolder(std::string_view path, size_t from) {
    const size_t end = std::min(path.find('\\', from), path.size());
    const std::string_view folder = path.substr(from, end - from);
    const size_t dot = folder.rfind('.');
    const std::string_view base = dot == std::string_view::npos ? folder : folder.substr(0, dot);
    const size_t extension = dot == std::string_view::npos ? 0 : folder.size() - dot - 1;
    std::string shortBase;
    bool valid = base.size() <= 8 && extension <= 3;
    for (char c : base) {
        if (static_cast<unsigned char>(c) >= 0x80) return {};  // the code page decides; Windows is asked for it
        if (c == ' ' || c == '.') {
            valid = false;
            continue;
        }
        if (std::string_view("+,;=[]").find(c) != std::string_view::npos) {
            valid = false;
            c = '_';
        }
        if (shortBase.size() < 6) shortBase.push_back(c);
    }
    if (valid || shortBase.empty()) return {};
    return std::string(path.substr(0, from)) + ToUpper(shortBase) + "~";
}

// The short form of the folder below "\Users\" of any masked path.
std::string ShortUsersFolder(std::string_view path) {
    static constexpr std::string_view kUsers = "\\users\\";
    const size_t at = ToLower(std::string(path)).find(kUsers);
    return at == std::string::npos ? std::string() : ShortFolder(path, at + kUsers.size());
}

// The short form of a profile folder's own last part, wherever it is.
std::string ShortProfileFolder(std::string_view path) {
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    const size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string() : ShortFolder(path, slash + 1);
}

}  // namespace

bool IsBuiltInAccount(std::string_view name) {
    static constexpr std::string_view kBuiltIn[] = {"administrator", "admin",          "guest",
                                                    "user",          "owner",          "defaultaccount",
                                                    "defaultuser0",  "wdagutilityaccount", "root"};
    const std::string n = MaskedValues::Normalized(name);
    return std::find(std::begin(kBuiltIn), std::end(kBuiltIn), n) != std::end(kBuiltIn);
}

bool IsPublicServiceAddress(std::string_view text) {
    const std::string a = AddressOf(text);
    return Listed(a, {"login.windows.net", "login.microsoftonline.com", "login.microsoft.com", "login.live.com",
                      "sts.windows.net", "device.login.microsoftonline.com", "enterpriseregistration.windows.net",
                      "enrollment.manage.microsoft.com",
                      "enrollment.manage.microsoft.com/enrollmentserver/discovery.svc", "manage.microsoft.com",
                      "portal.manage.microsoft.com", "m.manage.microsoft.com", "r.manage.microsoft.com",
                      "graph.microsoft.com", "graph.windows.net", "microsoftonline.com"});
}

bool IdentifiesNobody(std::string_view value) {
    if (IsPlaceholderValue(value) || IsBuiltInAccount(value) || IsPublicServiceAddress(value)) return true;
    const std::string t = ToLower(Trim(value));
    // The profile folder of a built-in account or Windows' shared ones: "C:\Users\root", "C:\Users\Public".
    if (t.size() > 10 && t[1] == ':' && t.compare(2, 7, "\\users\\") == 0) {
        const std::string folder = t.substr(9, t.find_last_not_of('\\') - 8);
        if (folder.find('\\') == std::string::npos &&
            (IsBuiltInAccount(folder) || Listed(folder, {"public", "default", "default user", "all users"})))
            return true;
    }
    return Listed(t, {"<none>", "(none)", "none", "-", "--", "<unknown>", "(unknown)", "not present", "not set",
                      "(not set)", "null", "(null)", "no serial", "no serial number", "(no serial)", "<no serial>"});
}

std::string MaskedValues::Normalized(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    Fold(text, [&](unsigned char c) {
        if (!kSkip[c]) out.push_back(static_cast<char>(c));
        return true;
    });
    return out;
}

std::string MaskedValues::Words(std::string_view text) {
    std::string out = " ";
    Fold(text, [&](unsigned char c) {
        if (IsWordByte(c))
            out.push_back(static_cast<char>(c));
        else if (out.back() != ' ')
            out.push_back(' ');
        return true;
    });
    if (out.back() != ' ') out.push_back(' ');
    return out;
}

MaskedValues::MaskedValues(const std::vector<Value>& values, size_t denseLimit) {
    for (const Value& v : values) Add(v.text, v.kind);
    inside_.Build(denseLimit);
    words_.Build(denseLimit);
    wordStart_ = words_.Step(0, ' ');
    empty_ = whole_.empty() && names_.empty() && inside_.Empty() && words_.Empty();
}

void MaskedValues::Add(std::string_view value, ValueKind kind) {
    if (IdentifiesNobody(value)) return;
    static constexpr std::string_view kJoin = " / ";
    std::vector<std::string_view> parts;
    for (size_t from = 0;;) {
        const size_t at = value.find(kJoin, from);
        parts.push_back(value.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) break;
        from = at + kJoin.size();
    }
    if (parts.size() > 1) {
        for (std::string_view part : parts) AddByShape(part);
        // Plain names joined are one name; a joined value of other shapes is one by its own shape.
        if (std::all_of(parts.begin(), parts.end(), IsPlainName)) {
            const std::string n = Normalized(value);
            nameHash_.insert(Hash(n));
            names_.insert(n);
        } else {
            AddByShape(value);
        }
        return;
    }
    AddByShape(value);
    switch (kind) {
        case ValueKind::Account:
        case ValueKind::Computer:
        case ValueKind::Chosen:
        case ValueKind::NetbiosDomain: AddName(value); break;
        case ValueKind::DnsDomain:
            AddByShape(DirectoryForm(value));
            AddDomain(value);
            break;
        case ValueKind::Owner: AddOwner(value); break;
        case ValueKind::Organization: AddOrganization(value); break;
        case ValueKind::ProfileFolder: {
            const std::string shortForm = ShortProfileFolder(value);
            if (!shortForm.empty()) AddInside(Normalized(shortForm));
            break;
        }
        case ValueKind::Plain: break;
    }
}

void MaskedValues::AddByShape(std::string_view value) {
    if (IdentifiesNobody(value)) return;
    std::string n = Normalized(value);
    if (IdentifiesNothing(n)) return;
    if (IsPlainName(value)) {
        nameHash_.insert(Hash(n));
        names_.insert(std::move(n));
        return;
    }
    const std::string shortForm = ShortUsersFolder(value);
    if (!shortForm.empty()) AddInside(Normalized(shortForm));
    if (n.size() >= kMinInside && DistinctBytes(n) >= kMinInsideDistinct) {
        AddInside(std::move(n));
    } else {
        wholeHash_.insert(Hash(n));
        whole_.insert(std::move(n));
    }
}

void MaskedValues::AddName(std::string_view value) {
    if (IdentifiesNothing(Normalized(value))) return;
    std::string w = Words(value);
    words_.Insert(w);
    patterns_.words.push_back(std::move(w));
    if (SpacelessCount(value) >= 2) AddInside(Normalized(value));
}

void MaskedValues::AddWord(const std::string& folded) {
    if (folded.size() < kMinWhole || DistinctBytes(folded) < 2) return;
    if (SpacelessCount(folded) > 0) {
        if (SpacelessCount(folded) >= 2) AddInside(Normalized(folded));
        return;
    }
    std::string w = " " + folded + " ";
    words_.Insert(w);
    patterns_.words.push_back(std::move(w));
}

void MaskedValues::AddDomain(std::string_view domain) {
    const std::string label = DistinctiveLabel(domain);
    if (label.empty()) return;
    AddName(label);
    // Each part of "hollowmere-group" on its own.
    const std::vector<std::string> parts = FoldedWords(label);
    if (parts.size() > 1)
        for (const std::string& part : parts)
            if (!IsGenericWord(part) && !IsGenericLabel(part) && !IsMakerWord(part)) AddWord(part);
}

void MaskedValues::AddOwner(std::string_view owner) {
    if (IsMakerName(owner)) return;
    const size_t at = owner.find('@');
    if (at != std::string_view::npos) {
        AddDomain(owner.substr(at + 1));
        owner = owner.substr(0, at);
    }
    if (Listed(Normalized(owner), {"user", "windowsuser", "owner", "customer", "valuedcustomer", "default",
                                   "defaultuser", "pc", "home", "benutzer", "utilisateur", "usuario", "utente",
                                   "gebruiker", "uzytkownik", "polzovatel", "proprietario", "propietario"}))
        return;
    for (const std::string& w : FoldedWords(owner))
        if (!IsGenericWord(w) && !IsMakerWord(w)) AddWord(w);
}

void MaskedValues::AddOrganization(std::string_view organization) {
    const size_t at = organization.find('@');
    if (at != std::string_view::npos) return AddDomain(organization.substr(at + 1));
    // A domain: a dot between labels and no space.
    if (organization.find(' ') == std::string_view::npos && organization.find('.') != std::string_view::npos &&
        organization.find('.') + 1 < organization.size())
        return AddDomain(organization);
    for (const std::string& w : FoldedWords(organization))
        if (!IsLegalForm(w) && !IsGenericWord(w) && !IsMakerWord(w)) AddWord(w);
}

void MaskedValues::AddInside(std::string normalized) {
    inside_.Insert(normalized);
    patterns_.inside.push_back(std::move(normalized));
}

// One pass over the text, folded as the values were: its letters and digits
// step the automaton of whole words, the rest of it without separators the
// automaton of values inside texts and a hash kept for the values it must
// equal.
bool MaskedValues::Restated(std::string_view text, Place place) const {
    if (text.empty() || empty_) return false;
    // A maker's text is no restatement of a name's words.
    const bool words = place == Place::Text && !words_.Empty(), inside = !inside_.Empty();
    uint64_t hash = kFnvOffset;
    int state = 0, word = wordStart_;
    bool boundary = true, found = false;
    Fold(text, [&](unsigned char c) {
        if (words) {
            if (IsWordByte(c)) {
                word = words_.Step(word, c);
                boundary = false;
                found = words_.End(word);
            } else if (!boundary) {
                word = words_.Step(word, ' ');
                boundary = true;
                found = words_.End(word);
            }
        }
        if (kSkip[c] || found) return !found;
        hash = (hash ^ c) * kFnvPrime;
        if (inside) {
            state = inside_.Step(state, c);
            found = inside_.End(state);
        }
        return !found;
    });
    if (found || (words && !boundary && words_.End(words_.Step(word, ' ')))) return true;
    const bool whole = wholeHash_.count(hash) != 0;
    const bool name = place == Place::Text && nameHash_.count(hash) != 0;
    return (whole || name) && Equals(Normalized(text), place);
}

void MaskedValues::Automaton::Insert(const std::string& text) {
    int node = 0;
    for (char c : text) {
        int child = Next(node, c);
        if (child < 0) {
            child = static_cast<int>(nodes_.size());
            nodes_[static_cast<size_t>(node)].next.emplace_back(c, child);
            nodes_.emplace_back();
        }
        node = child;
    }
    nodes_[static_cast<size_t>(node)].end = true;
}

int MaskedValues::Automaton::Next(int node, char c) const {
    for (const auto& [k, child] : nodes_[static_cast<size_t>(node)].next)
        if (k == c) return child;
    return -1;
}

int MaskedValues::Automaton::Step(int state, unsigned char c) const {
    if (!delta_.empty()) return delta_[static_cast<size_t>(state) * classCount_ + class_[c]];
    int next;
    while ((next = Next(state, static_cast<char>(c))) < 0 && state != 0)
        state = nodes_[static_cast<size_t>(state)].fail;
    return next < 0 ? 0 : next;
}

// Failure links shallowest node first, so a node's failure node is complete
// (and has its dense row) before the node needs it.
void MaskedValues::Automaton::Build(size_t denseLimit) {
    std::vector<int> order;
    for (const auto& edge : nodes_[0].next) order.push_back(edge.second);
    for (size_t at = 0; at < order.size(); ++at) {
        const int node = order[at];
        for (const auto& [c, child] : nodes_[static_cast<size_t>(node)].next) {
            int f = nodes_[static_cast<size_t>(node)].fail;
            while (f != 0 && Next(f, c) < 0) f = nodes_[static_cast<size_t>(f)].fail;
            const int target = Next(f, c);
            Node& n = nodes_[static_cast<size_t>(child)];
            n.fail = target < 0 ? 0 : target;
            n.end = n.end || nodes_[static_cast<size_t>(n.fail)].end;
            order.push_back(child);
        }
    }
    classCount_ = 1;
    for (const Node& n : nodes_)
        for (const auto& edge : n.next) {
            unsigned char& cls = class_[static_cast<unsigned char>(edge.first)];
            if (cls == 0) cls = static_cast<unsigned char>(classCount_++);
        }
    if (nodes_.size() == 1 || nodes_.size() * classCount_ > denseLimit) return;
    std::vector<char> byteOf(classCount_);
    for (size_t c = 0; c < class_.size(); ++c)
        if (class_[c] != 0) byteOf[class_[c]] = static_cast<char>(c);
    delta_.assign(nodes_.size() * classCount_, 0);
    auto fill = [&](int node) {
        const size_t row = static_cast<size_t>(node) * classCount_;
        const size_t fail = static_cast<size_t>(nodes_[static_cast<size_t>(node)].fail) * classCount_;
        for (size_t cls = 1; cls < classCount_; ++cls) {
            const int child = Next(node, byteOf[cls]);
            delta_[row + cls] = child >= 0 ? child : node == 0 ? 0 : delta_[fail + cls];
        }
    };
    fill(0);
    for (int node : order) fill(node);
}

}  // namespace vorq
