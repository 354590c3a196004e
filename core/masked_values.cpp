#include "core/masked_values.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <utility>

#include "core/placeholders.h"
#include "core/text.h"
#include "core/unicode_text.h"

namespace vorq {

namespace {

using unicode::Class;

constexpr size_t kMinWhole = 3;
constexpr size_t kMinInside = 8;
constexpr size_t kMinInsideDistinct = 4;
constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

// The separators identifiers are written with: left out of the compared
// form, where other ASCII punctuation ("@", "(") stays inside it.
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

// The class of each ASCII character, as the tables give it: letters,
// digits, and separators (punctuation, symbols, space, controls).
constexpr std::array<Class, 128> kAsciiClass = [] {
    std::array<Class, 128> cls{};
    for (int c = 0; c < 128; ++c)
        cls[static_cast<size_t>(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ? Class::Letter
                                      : c >= '0' && c <= '9'                             ? Class::Number
                                                                                         : Class::Separator;
    return cls;
}();

// The code point a run of "%XX" escapes at text[i] spells in UTF-8, and the
// length of its escapes; length 0 when they spell none.
std::pair<char32_t, size_t> Escaped(std::string_view text, size_t i) {
    char bytes[4];
    size_t count = 0;
    for (size_t at = i; count < 4 && at + 2 < text.size() && text[at] == '%'; at += 3) {
        const int high = kHexDigit[static_cast<unsigned char>(text[at + 1])];
        const int low = kHexDigit[static_cast<unsigned char>(text[at + 2])];
        if (high < 0 || low < 0) break;
        bytes[count++] = static_cast<char>(high * 16 + low);
    }
    if (count == 0) return {0, 0};
    const auto [cp, length] = unicode::Decode(std::string_view(bytes, count), 0);
    return {cp, length * 3};
}

// Calls take(cp, class) with the code points of `text` as masking reads them:
// "%XX" escapes that spell UTF-8 as what they spell, bytes that are no UTF-8
// as raw bytes, in NFC of the full case folding of the NFD (so canonically
// equivalent texts read alike: the fold of U+0345 moves it among marks),
// format characters left out; a mark after a separator or at the start is a
// separator. Stops when take returns false.
template <typename Take>
bool FoldText(std::string_view text, Take&& take) {
    unicode::Composer decomposed(false), composed;
    bool inWord = false;
    auto emit = [&](char32_t cp) {
        Class cls = cp < 0x80 ? kAsciiClass[cp] : unicode::ClassOf(cp);
        if (cls == Class::Ignored) return true;
        if (cls == Class::Mark && !inWord) cls = Class::Separator;
        inWord = cls != Class::Separator;
        return take(cp, cls);
    };
    auto fold = [&](char32_t cp) {
        char32_t self[1];
        for (char32_t d : unicode::FoldedDecomposition(cp, self))
            if (!composed.Push(d, emit)) return false;
        return true;
    };
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // ASCII before ASCII composes with nothing.
        if (c < 0x80 && c != '%' && (i + 1 == n || (static_cast<unsigned char>(text[i + 1]) < 0x80 && text[i + 1] != '%'))) {
            if (!decomposed.Empty() && (!decomposed.Flush(fold) || !composed.Flush(emit))) return false;
            if (!composed.Flush(emit) || !emit(kFoldAscii[c])) return false;
            continue;
        }
        auto [cp, length] = c == '%' ? Escaped(text, i) : unicode::Decode(text, i);
        if (length == 0) {
            cp = c < 0x80 ? c : unicode::kRawByte + c;
            length = 1;
        }
        char32_t self[1];
        for (char32_t d : unicode::Decomposition(cp, self))
            if (!decomposed.Push(d, fold)) return false;
        i += length - 1;
    }
    return decomposed.Flush(fold) && composed.Flush(emit);
}

// Feeds one folded code point to the sink of the identifier form: its bytes
// as a word's, or as a separator's (the byte when ASCII, else 0).
template <typename Sink>
void IdentifierForm(Sink& sink, char32_t cp, Class cls) {
    if (cls == Class::Separator) return sink.Separator(cp < 0x80 ? static_cast<unsigned char>(cp) : 0);
    char utf8[4];
    const size_t count = unicode::Encode(cp, utf8);
    for (size_t k = 0; k < count; ++k) sink.Word(static_cast<unsigned char>(utf8[k]));
}

// The same in the name form, with German's "ae", "oe" and "ue" when `german`.
template <typename Sink>
void NameForm(Sink& sink, char32_t cp, Class cls, bool german) {
    if (cp < 0x80) return IdentifierForm(sink, cp, cls);  // folded ASCII is its own name form
    if (cls == Class::Separator) return sink.Separator(0);
    char32_t self[1];
    for (char32_t x : unicode::NameForm(cp, self)) IdentifierForm(sink, x, unicode::ClassOf(x));
    if (german && unicode::IsUmlaut(cp)) sink.Word('e');
}

// A form as a string: separators of `kSkip` and beyond ASCII left out, others
// kept; none at either end when `trim` (as whole values are compared, so
// punctuation around a text hides no value).
struct Compact {
    bool trim = true;
    std::string out;
    size_t kept = 0;
    void Word(unsigned char b) {
        out.push_back(static_cast<char>(b));
        kept = out.size();
    }
    void Separator(unsigned char b) {
        if (b != 0 && !kSkip[b] && (kept > 0 || !trim)) out.push_back(static_cast<char>(b));
    }
    std::string Take() {
        if (trim) out.resize(kept);
        return std::move(out);
    }
};

// A form as words: each run of separators one space, a space at either end.
struct Spaced {
    std::string out = " ";
    void Word(unsigned char b) { out.push_back(static_cast<char>(b)); }
    void Separator(unsigned char) {
        if (out.back() != ' ') out.push_back(' ');
    }
    std::string Take() {
        Separator(0);
        return std::move(out);
    }
};

// The same as a hash, as Restated compares texts with the whole values.
struct CompactHash {
    uint64_t hash = kFnvOffset, kept = kFnvOffset;
    bool started = false;
    void Word(unsigned char b) {
        hash = (hash ^ b) * kFnvPrime;
        kept = hash;
        started = true;
    }
    void Separator(unsigned char b) {
        if (b != 0 && !kSkip[b] && started) hash = (hash ^ b) * kFnvPrime;
    }
};

// The identifier form with the separators around it, as values are looked
// for inside texts.
std::string InsideForm(std::string_view text) {
    Compact c{false, {}, 0};
    FoldText(text, [&](char32_t cp, Class cls) { return IdentifierForm(c, cp, cls), true; });
    return c.Take();
}

std::string NameCompact(std::string_view text, bool german) {
    Compact c;
    FoldText(text, [&](char32_t cp, Class cls) { return NameForm(c, cp, cls, german), true; });
    return c.Take();
}

// How many code points of scripts written without spaces `text` holds.
size_t SpacelessCount(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto [cp, length] = unicode::Decode(text, i);
        if (length == 0) continue;
        count += unicode::IsSpaceless(cp) ? 1 : 0;
        i += length - 1;
    }
    return count;
}

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

#include "public_suffixes.inc"

// Whether the Public Suffix List holds `rule` (a wildcard as "*.", an
// exception as "!"); rules of one label are not kept.
bool SuffixRule(std::string_view rule) {
    constexpr size_t count = std::size(kSuffixAt) - 1;
    size_t low = 0, high = count;
    while (low < high) {
        const size_t mid = (low + high) / 2;
        const std::string_view at(kSuffixText + kSuffixAt[mid], kSuffixAt[mid + 1] - kSuffixAt[mid]);
        const int order = at.compare(rule);
        if (order == 0) return true;
        if (order < 0)
            low = mid + 1;
        else
            high = mid;
    }
    // Cloud directories' tenant domains, which the list does not hold.
    return Listed(rule, {"onmicrosoft.com", "sharepoint.com"});
}

// A punycode label ("xn--mnchen-3ya") as the UTF-8 it encodes; empty when it
// is no valid punycode.
std::string Punycode(std::string_view encoded) {
    constexpr uint32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700;
    std::u32string out;
    const size_t dash = encoded.rfind('-');
    size_t in = 0;
    if (dash != std::string_view::npos) {
        for (char c : encoded.substr(0, dash)) {
            if (static_cast<unsigned char>(c) >= 0x80) return {};
            out.push_back(static_cast<unsigned char>(c));
        }
        in = dash + 1;
    }
    uint32_t n = 128, bias = 72;
    uint64_t i = 0;
    while (in < encoded.size()) {
        const uint64_t old = i;
        uint64_t w = 1;
        for (uint32_t k = kBase;; k += kBase) {
            if (in >= encoded.size()) return {};
            const char c = encoded[in++];
            const uint32_t digit = c >= '0' && c <= '9'   ? static_cast<uint32_t>(c - '0' + 26)
                                   : c >= 'a' && c <= 'z' ? static_cast<uint32_t>(c - 'a')
                                   : c >= 'A' && c <= 'Z' ? static_cast<uint32_t>(c - 'A')
                                                          : kBase;
            if (digit >= kBase) return {};
            i += digit * w;
            const uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
            if (digit < t) break;
            w *= kBase - t;
            if (i > 0x10FFFF * uint64_t{64} || w > 0x10FFFF * uint64_t{64}) return {};
        }
        uint64_t delta = old == 0 ? i / kDamp : (i - old) / 2;
        delta += delta / (out.size() + 1);
        uint32_t k = 0;
        while (delta > ((kBase - kTMin) * kTMax) / 2) {
            delta /= kBase - kTMin;
            k += kBase;
        }
        bias = static_cast<uint32_t>(k + (kBase - kTMin + 1) * delta / (delta + kSkew));
        n += static_cast<uint32_t>(i / (out.size() + 1));
        i %= out.size() + 1;
        if (n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF)) return {};
        out.insert(out.begin() + static_cast<ptrdiff_t>(i), static_cast<char32_t>(n));
        ++i;
    }
    std::string utf8;
    for (char32_t c : out) unicode::Append(utf8, c);
    return utf8;
}

// A domain's label as the list writes it: punycode decoded, case folded, NFC.
std::string ListLabel(std::string_view label) {
    std::string decoded;
    if (label.size() > 4 && ToLower(std::string(label.substr(0, 4))) == "xn--") decoded = Punycode(label.substr(4));
    const std::string_view text = decoded.empty() ? label : std::string_view(decoded);
    std::string out;
    FoldText(text, [&](char32_t cp, Class) { return unicode::Append(out, cp), true; });
    return out;
}

// Labels that name no one's domain: internal defaults and public mail and
// cloud services, whose users share them.
bool IsGenericLabel(std::string_view label) {
    return IsInternalNetworkDefault(label) ||
           Listed(label, {"intranet", "domain", "localhost", "mshome", "gmail", "googlemail", "outlook", "hotmail",
                          "live", "msn", "yahoo", "icloud", "mac", "aol", "gmx", "mail", "proton", "protonmail", "pm",
                          "yandex", "qq", "163", "126", "microsoft", "microsoftonline", "windows", "office",
                          "office365", "google", "apple", "amazon", "azure", "onmicrosoft"});
}

// The label of a DNS domain its owner chose: the one left of its public
// suffix (the Public Suffix List's longest rule, exceptions first, else the
// last label), decoded from punycode; none when the domain is a public suffix
// itself, an internal default or a generic label. A domain of one label is
// that label.
std::string DistinctiveLabel(std::string_view domain) {
    std::vector<std::string> labels;
    for (std::string_view label : DomainLabels(domain)) labels.push_back(ListLabel(label));
    const size_t n = labels.size();
    if (n == 0) return {};
    auto join = [&](size_t from) {
        std::string s = labels[from];
        for (size_t k = from + 1; k < n; ++k) s.append(".").append(labels[k]);
        return s;
    };
    size_t suffix = n - 1;
    for (size_t i = 0; i + 1 < n; ++i) {
        const std::string rest = join(i);
        if (SuffixRule("!" + rest)) {
            suffix = i + 1;
            break;
        }
        if (SuffixRule(rest) || SuffixRule("*." + join(i + 1))) {
            suffix = i;
            break;
        }
    }
    if (n == 1) suffix = 1;
    if (suffix == 0) return {};
    const std::string& label = labels[suffix - 1];
    return IsInternalNetworkDefault(join(suffix - 1)) || IsGenericLabel(label) ? std::string() : label;
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
std::vector<std::string> FoldedWords(std::string_view text, bool german = false) {
    std::vector<std::string> words;
    const std::string w = MaskedValues::Words(text, german);
    for (size_t from = 1; from < w.size();) {
        const size_t end = w.find(' ', from);
        words.push_back(w.substr(from, end - from));
        from = end + 1;
    }
    return words;
}

// Folded words split where digits stand, the digits left out.
std::vector<std::string> SplitAtDigits(const std::vector<std::string>& words) {
    std::vector<std::string> out;
    for (const std::string& w : words) {
        std::string part;
        for (size_t i = 0; i < w.size();) {
            const auto [cp, length] = unicode::Decode(w, i);
            const size_t step = length ? length : 1;
            if (length && unicode::ClassOf(cp) == Class::Number) {
                if (!part.empty()) out.push_back(std::move(part));
                part.clear();
            } else {
                part.append(w, i, step);
            }
            i += step;
        }
        if (!part.empty()) out.push_back(std::move(part));
    }
    return out;
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

bool IsBuiltInAccount(std::string_view name) {
    static constexpr std::string_view kBuiltIn[] = {"administrator", "admin",          "guest",
                                                    "user",          "owner",          "defaultaccount",
                                                    "defaultuser0",  "wdagutilityaccount", "root"};
    const std::string n = MaskedValues::Normalized(name);
    return std::find(std::begin(kBuiltIn), std::end(kBuiltIn), n) != std::end(kBuiltIn);
}

bool IsBuiltInRid(std::string_view rid) { return rid == "500" || rid == "501" || rid == "503" || rid == "504"; }

bool IsBuiltInAccountSid(std::string_view sid, std::string_view machineSid) {
    const size_t dash = sid.rfind('-');
    return !machineSid.empty() && dash == machineSid.size() && sid.starts_with(machineSid) &&
           IsBuiltInRid(sid.substr(dash + 1));
}

bool IsUnrenamedBuiltInAccount(std::string_view sid, std::string_view machineSid, std::string_view name) {
    return IsBuiltInAccountSid(sid, machineSid) && IsBuiltInAccountName(name);
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
    Compact c;
    FoldText(text, [&](char32_t cp, Class cls) { return IdentifierForm(c, cp, cls), true; });
    return c.Take();
}

std::string MaskedValues::Words(std::string_view text, bool german) {
    Spaced s;
    FoldText(text, [&](char32_t cp, Class cls) { return NameForm(s, cp, cls, german), true; });
    return s.Take();
}

MaskedValues::MaskedValues(const std::vector<Value>& values, size_t denseLimit) {
    for (const Value& v : values) Add(v.text, v.kind);
    inside_.Build(denseLimit);
    words_.Build(denseLimit);
    wordStart_ = words_.Step(0, ' ');
    empty_ = whole_.empty() && names_.empty() && inside_.Empty() && words_.Empty();
}

void MaskedValues::Add(std::string_view value, ValueKind kind) {
    // A default Windows or a maker writes where a person may type ("Windows
    // User" as the owner) is shown where it stands, so it masks nothing.
    if (IdentifiesNobody(value) || ((kind == ValueKind::Owner || kind == ValueKind::Chosen) && IsDefaultTypedText(value)))
        return;
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
        if (std::all_of(parts.begin(), parts.end(), IsPlainName))
            AddPlainName(value);
        else
            AddByShape(value);
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
            if (!shortForm.empty()) AddInside(InsideForm(shortForm));
            break;
        }
        case ValueKind::Plain: break;
    }
}

void MaskedValues::AddByShape(std::string_view value) {
    if (IdentifiesNobody(value)) return;
    std::string n = Normalized(value);
    if (IdentifiesNothing(n)) return;
    if (IsPlainName(value)) return AddPlainName(value);
    const std::string shortForm = ShortUsersFolder(value);
    if (!shortForm.empty()) AddInside(InsideForm(shortForm));
    if (n.size() >= kMinInside && DistinctBytes(n) >= kMinInsideDistinct) {
        AddInside(std::move(n));
    } else {
        wholeHash_.insert(Hash(n));
        whole_.insert(std::move(n));
    }
}

void MaskedValues::AddPlainName(std::string_view value) {
    for (const bool german : {false, true}) {
        std::string n = NameCompact(value, german);
        nameHash_.insert(Hash(n));
        names_.insert(std::move(n));
    }
}

void MaskedValues::AddName(std::string_view value) {
    if (IdentifiesNothing(Normalized(value))) return;
    AddWords(Words(value), Words(value, true));
    if (SpacelessCount(value) >= 2) AddInside(InsideForm(value));
}

void MaskedValues::AddWord(const std::string& folded, const std::string& german) {
    if (folded.size() < kMinWhole || DistinctBytes(folded) < 2) return;
    if (SpacelessCount(folded) > 0) {
        if (SpacelessCount(folded) >= 2) AddInside(InsideForm(folded));
        return;
    }
    AddWords(" " + folded + " ", " " + german + " ");
}

// Words as Words writes them, in both spellings, and after the prefixes their
// script attaches: one or two, a prefix of more than one letter (the Arabic
// article) only last.
void MaskedValues::AddWords(const std::string& words, const std::string& german) {
    const auto [first, length] = unicode::Decode(words, 1);
    const auto script = static_cast<uint8_t>(length ? unicode::ScriptOf(first) : unicode::Script::Other);
    std::vector<std::string> prefixes = {""};
    if (script == static_cast<uint8_t>(unicode::Script::Arabic) || script == static_cast<uint8_t>(unicode::Script::Hebrew)) {
        for (const unicode::NamePrefix& p : unicode::NamePrefixes()) {
            if (p.script != script) continue;
            prefixes.push_back(p.text);
            for (const unicode::NamePrefix& q : unicode::NamePrefixes())
                if (q.script == script && unicode::Decode(p.text, 0).second == std::string_view(p.text).size())
                    prefixes.push_back(std::string(p.text) + q.text);
        }
    }
    for (const std::string* w : {&words, &german}) {
        if (w == &german && german == words) break;
        for (const std::string& prefix : prefixes) {
            std::string pattern = " " + prefix + w->substr(1);
            words_.Insert(pattern);
            patterns_.words.push_back(std::move(pattern));
        }
    }
}

void MaskedValues::AddDomain(std::string_view domain) {
    const std::string label = DistinctiveLabel(domain);
    if (label.empty()) return;
    AddName(label);
    // Each part of "hollowmere-group" on its own.
    const std::vector<std::string> parts = FoldedWords(label), german = FoldedWords(label, true);
    if (parts.size() > 1)
        for (size_t k = 0; k < parts.size(); ++k)
            if (!IsGenericWord(parts[k]) && !IsGenericLabel(parts[k]) && !IsMakerWord(parts[k]))
                AddWord(parts[k], german[k]);
}

void MaskedValues::AddOwner(std::string_view owner) {
    if (IsMakerName(owner)) return;
    const size_t at = owner.find('@');
    const bool address = at != std::string_view::npos;
    if (address) {
        AddDomain(owner.substr(at + 1));
        owner = owner.substr(0, at);
    }
    if (Listed(NameCompact(owner, false), {"user", "windowsuser", "owner", "customer", "valuedcustomer", "default",
                                           "defaultuser", "pc", "home", "benutzer", "utilisateur", "usuario",
                                           "utente", "gebruiker", "uzytkownik", "polzovatel", "proprietario",
                                           "propietario"}) ||
        IsDefaultOwnerName(owner))
        return;
    // An address's local part also splits at digits: "p.name1984".
    std::vector<std::string> words = FoldedWords(owner), german = FoldedWords(owner, true);
    if (address) {
        words = SplitAtDigits(words);
        german = SplitAtDigits(german);
    }
    for (size_t k = 0; k < words.size() && k < german.size(); ++k)
        if (!IsGenericWord(words[k]) && !IsMakerWord(words[k])) AddWord(words[k], german[k]);
}

void MaskedValues::AddOrganization(std::string_view organization) {
    const size_t at = organization.find('@');
    if (at != std::string_view::npos) return AddDomain(organization.substr(at + 1));
    // A domain: a dot between labels and no space.
    if (organization.find(' ') == std::string_view::npos && organization.find('.') != std::string_view::npos &&
        organization.find('.') + 1 < organization.size())
        return AddDomain(organization);
    const std::vector<std::string> words = FoldedWords(organization), german = FoldedWords(organization, true);
    for (size_t k = 0; k < words.size(); ++k)
        if (!IsLegalForm(words[k]) && !IsGenericWord(words[k]) && !IsMakerWord(words[k])) AddWord(words[k], german[k]);
}

void MaskedValues::AddInside(std::string normalized) {
    inside_.Insert(normalized);
    patterns_.inside.push_back(std::move(normalized));
}

// One pass over the text, folded as the values were: the identifier form
// steps the automaton of values inside texts and a hash kept for the values
// it must equal; the name form, in its two spellings once a German umlaut
// comes, steps the automaton of whole words and the hashes of plain names.
bool MaskedValues::Restated(std::string_view text, Place place) const {
    if (text.empty() || empty_) return false;
    // A maker's text is no restatement of a name's words.
    const bool words = place == Place::Text && !words_.Empty(), inside = !inside_.Empty();

    struct Identifier {
        const Automaton& automaton;
        bool inside;
        int state = 0;
        bool found = false;
        CompactHash hash;
        void Word(unsigned char b) {
            hash.Word(b);
            Step(b);
        }
        void Separator(unsigned char b) {
            if (b == 0 || kSkip[b]) return;
            hash.Separator(b);
            Step(b);
        }
        void Step(unsigned char b) {
            if (!inside) return;
            state = automaton.Step(state, b);
            found = found || automaton.End(state);
        }
    } id{inside_, inside, 0, false, {}};

    struct Name {
        const Automaton& automaton;
        bool words;
        int state;
        bool boundary = true, found = false;
        CompactHash hash;
        void Word(unsigned char b) {
            hash.Word(b);
            if (!words) return;
            state = automaton.Step(state, b);
            boundary = false;
            found = found || automaton.End(state);
        }
        void Separator(unsigned char b) {
            hash.Separator(b);
            if (!words || boundary) return;
            state = automaton.Step(state, ' ');
            boundary = true;
            found = found || automaton.End(state);
        }
        void Follow(const Name& other) {
            state = other.state;
            boundary = other.boundary;
            found = other.found;
            hash = other.hash;
        }
        // A word of Hangul may hold a name with a particle after it.
        void Particle() { found = found || automaton.End(automaton.Step(state, ' ')); }
        void End() { Separator(0); }
    } name{words_, words, wordStart_, true, false, {}}, german{words_, words, wordStart_, true, false, {}};

    bool split = false, hangul = false;
    FoldText(text, [&](char32_t cp, Class cls) {
        IdentifierForm(id, cp, cls);
        // Folded ASCII is neither Hangul nor an umlaut: no table asked.
        const bool syllable = cp >= 0x80 && unicode::IsHangulSyllable(cp);
        if (words && syllable && hangul) {
            name.Particle();
            if (split) german.Particle();
        }
        hangul = syllable;
        split = split || (cp >= 0x80 && cls != Class::Separator && unicode::IsUmlaut(cp));
        NameForm(name, cp, cls, false);
        if (split)
            NameForm(german, cp, cls, true);
        else
            german.Follow(name);
        return !(id.found || name.found || german.found);
    });
    if (id.found || name.found || german.found) return true;
    name.End();
    german.End();
    if (name.found || german.found) return true;
    if (wholeHash_.count(id.hash.kept) != 0 && whole_.count(Normalized(text)) != 0) return true;
    if (place != Place::Text) return false;
    return (nameHash_.count(name.hash.kept) != 0 && names_.count(NameCompact(text, false)) != 0) ||
           (split && nameHash_.count(german.hash.kept) != 0 && names_.count(NameCompact(text, true)) != 0);
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
