#include "core/masked_values.h"

#include <algorithm>

#include "core/text.h"

namespace vorq {

namespace {

constexpr size_t kMinWhole = 3;
constexpr size_t kMinInside = 8;
constexpr size_t kMinInsideDistinct = 4;
constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

// The separators identifiers are written with, and ASCII letters folded.
constexpr std::array<bool, 256> kSkip = [] {
    std::array<bool, 256> skip{};
    for (unsigned char c : std::string_view("-:{} ._\\/\t\r\n")) skip[c] = true;
    return skip;
}();
constexpr std::array<unsigned char, 256> kFold = [] {
    std::array<unsigned char, 256> fold{};
    for (int c = 0; c < 256; ++c)
        fold[static_cast<size_t>(c)] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return fold;
}();

void Normalize(std::string_view text, std::string& out) {
    out.clear();
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!kSkip[u]) out.push_back(static_cast<char>(kFold[u]));
    }
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

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

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

// "<prefix>\Users\" and the first six characters of the folder's 8.3 short
// name up to its "~", when the folder's own name is not a valid short name;
// else empty. The short name drops spaces and dots, takes the base before a
// last dot, and writes "+,;=[]" as "_".
std::string ShortProfileFolder(std::string_view path) {
    static constexpr std::string_view kUsers = "\\users\\";
    const std::string lower = ToLower(std::string(path));
    const size_t at = lower.find(kUsers);
    if (at == std::string::npos) return {};
    const size_t from = at + kUsers.size();
    const size_t end = std::min(lower.find('\\', from), path.size());
    const std::string_view folder = path.substr(from, end - from);
    const size_t dot = folder.rfind('.');
    const std::string_view base = dot == std::string_view::npos ? folder : folder.substr(0, dot);
    const size_t extension = dot == std::string_view::npos ? 0 : folder.size() - dot - 1;
    std::string shortBase;
    bool valid = base.size() <= 8 && extension <= 3;
    for (char c : base) {
        if (static_cast<unsigned char>(c) >= 0x80) return {};  // the code page decides; not predictable here
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

}  // namespace

void MaskedValues::Add(std::string_view value) {
    if (AddNames(value)) return;
    std::string n;
    Normalize(value, n);
    const size_t distinct = DistinctBytes(n);
    if (n.size() < kMinWhole || distinct < 2) return;
    if (n.size() >= kMinInside && distinct >= kMinInsideDistinct)
        AddInside(n);
    else
        AddWhole(std::move(n));
    const std::string shortForm = ShortProfileFolder(value);
    if (!shortForm.empty()) {
        Normalize(shortForm, n);
        AddInside(n);
    }
}

void MaskedValues::Finish() {
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
    BuildDense(order);
    empty_ = whole_.empty() && names_.empty() && nodes_.size() == 1;
}

// One pass over the text: its separators skipped and its letters folded as the
// values were, the automaton stepped and a hash of the folded text kept for the
// values it must equal.
bool MaskedValues::Restated(std::string_view text, Place place) const {
    if (text.empty() || empty_) return false;
    uint64_t hash = kFnvOffset;
    int state = 0;
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (kSkip[c]) continue;
        const unsigned char folded = kFold[c];
        hash = (hash ^ folded) * kFnvPrime;
        if (!delta_.empty()) {
            state = delta_[static_cast<size_t>(state) * classCount_ + class_[folded]];
            if (end_[static_cast<size_t>(state)]) return true;
        } else {
            int next;
            while ((next = Next(state, static_cast<char>(folded))) < 0 && state != 0)
                state = nodes_[static_cast<size_t>(state)].fail;
            state = next < 0 ? 0 : next;
            if (nodes_[static_cast<size_t>(state)].end) return true;
        }
    }
    const bool whole = wholeHash_.count(hash) != 0;
    const bool name = place == Place::Text && nameHash_.count(hash) != 0;
    if (!whole && !name) return false;
    Normalize(text, scratch_);
    return (whole && whole_.count(scratch_) != 0) || (name && names_.count(scratch_) != 0);
}

// A plain name, or plain names joined by " / ", as names that mask equal texts
// only; false for anything else.
bool MaskedValues::AddNames(std::string_view value) {
    static constexpr std::string_view kJoin = " / ";
    std::vector<std::string_view> parts;
    for (size_t from = 0;;) {
        const size_t at = value.find(kJoin, from);
        parts.push_back(value.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) break;
        from = at + kJoin.size();
    }
    for (std::string_view part : parts)
        if (!IsPlainName(part)) return false;
    if (parts.size() > 1) parts.push_back(value);
    std::string n;
    for (std::string_view part : parts) {
        Normalize(part, n);
        if (n.size() >= kMinWhole && DistinctBytes(n) >= 2) {
            nameHash_.insert(Hash(n));
            names_.insert(n);
        }
    }
    return true;
}

void MaskedValues::AddWhole(std::string normalized) {
    wholeHash_.insert(Hash(normalized));
    whole_.insert(std::move(normalized));
}

void MaskedValues::AddInside(const std::string& normalized) {
    int node = 0;
    for (char c : normalized) {
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

int MaskedValues::Next(int node, char c) const {
    for (const auto& [k, child] : nodes_[static_cast<size_t>(node)].next)
        if (k == c) return child;
    return -1;
}

// `order`: the nodes below the root, shallowest first, so a node's failure
// node has its row before the node needs it.
void MaskedValues::BuildDense(const std::vector<int>& order) {
    classCount_ = 1;
    for (const Node& n : nodes_)
        for (const auto& edge : n.next) {
            unsigned char& cls = class_[static_cast<unsigned char>(edge.first)];
            if (cls == 0) cls = static_cast<unsigned char>(classCount_++);
        }
    if (nodes_.size() == 1 || nodes_.size() * classCount_ > denseLimit_) return;
    std::vector<char> byteOf(classCount_);
    for (size_t c = 0; c < class_.size(); ++c)
        if (class_[c] != 0) byteOf[class_[c]] = static_cast<char>(c);
    delta_.assign(nodes_.size() * classCount_, 0);
    end_.assign(nodes_.size(), 0);
    auto fill = [&](int node) {
        const size_t row = static_cast<size_t>(node) * classCount_;
        const size_t fail = static_cast<size_t>(nodes_[static_cast<size_t>(node)].fail) * classCount_;
        for (size_t cls = 1; cls < classCount_; ++cls) {
            const int child = Next(node, byteOf[cls]);
            delta_[row + cls] = child >= 0 ? child : node == 0 ? 0 : delta_[fail + cls];
        }
        end_[static_cast<size_t>(node)] = nodes_[static_cast<size_t>(node)].end;
    };
    fill(0);
    for (int node : order) fill(node);
}

}  // namespace vorq
