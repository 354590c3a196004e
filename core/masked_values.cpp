#include "core/masked_values.h"

#include <algorithm>
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

// Calls emit(byte) with the bytes of `text` as masking reads them: "%XX" of a
// printable ASCII character as that character, letters in lower case. Stops
// when emit returns false.
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
        } else if (c >= 0xC2 && c < 0xE0 && i + 1 < n && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            const char16_t lower = kFoldTwoBytes[(c & 0x1Fu) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu)];
            ++i;
            if (!emit(static_cast<unsigned char>(0xC0 | lower >> 6)) ||
                !emit(static_cast<unsigned char>(0x80 | (lower & 0x3F))))
                return;
        } else if (!emit(c)) {
            return;
        }
    }
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

// The label of a DNS domain its owner chose: the one before the top-level
// domain (and before a second level such as "co.uk"); none when that label
// is generic.
std::string DistinctiveLabel(std::string_view domain) {
    std::vector<std::string_view> labels = DomainLabels(domain);
    static constexpr std::string_view kSecondLevel[] = {"co", "com", "net", "org", "gov", "ac", "edu", "ne", "or"};
    static constexpr std::string_view kGeneric[] = {"corp", "local", "lan", "home", "internal", "intranet", "ad",
                                                    "domain", "localdomain", "example"};
    if (labels.size() >= 2) labels.pop_back();
    if (labels.size() >= 2 && std::find(std::begin(kSecondLevel), std::end(kSecondLevel),
                                        ToLower(std::string(labels.back()))) != std::end(kSecondLevel))
        labels.pop_back();
    if (labels.empty()) return {};
    const std::string label = ToLower(std::string(labels.back()));
    if (std::find(std::begin(kGeneric), std::end(kGeneric), label) != std::end(kGeneric)) return {};
    return label;
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
            if (!IsBuiltInAccount(value)) AddWord(value);
            break;
        case ValueKind::Computer:
        case ValueKind::Chosen:
        case ValueKind::NetbiosDomain: AddWord(value); break;
        case ValueKind::DnsDomain:
            AddByShape(DirectoryForm(value));
            AddWord(DistinctiveLabel(value));
            break;
        case ValueKind::ProfileFolder: {
            const std::string shortForm = ShortProfileFolder(value);
            if (!shortForm.empty()) AddInside(Normalized(shortForm));
            break;
        }
        case ValueKind::Plain:
        case ValueKind::Owner:
        case ValueKind::Organization: break;
    }
}

void MaskedValues::AddByShape(std::string_view value) {
    if (IsPlaceholderValue(value)) return;
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

void MaskedValues::AddWord(std::string_view value) {
    if (IsPlaceholderValue(value) || IdentifiesNothing(Normalized(value))) return;
    std::string w = Words(value);
    words_.Insert(w);
    patterns_.words.push_back(std::move(w));
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
    const bool words = !words_.Empty(), inside = !inside_.Empty();
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
