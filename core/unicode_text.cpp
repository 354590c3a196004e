#include "core/unicode_text.h"

#include <algorithm>
#include <iterator>

namespace vorq::unicode {

namespace {

struct Record {
    uint8_t ccc, bits;
    uint16_t canon, fold, name;
};

#include "unicode_tables.inc"

constexpr uint8_t kClassMask = 0x07, kSpaceless = 0x08, kComposesBack = 0x10, kUmlaut = 0x20;
constexpr unsigned kScriptShift = 6;

constexpr char32_t kSBase = 0xAC00, kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7;
constexpr char32_t kLCount = 19, kVCount = 21, kTCount = 28, kNCount = kVCount * kTCount, kSCount = kLCount * kNCount;

const Record& Lookup(char32_t cp) {
    static constexpr Record kRaw{0, static_cast<uint8_t>(Class::Letter), 0, 0, 0};
    if (cp >= kRawByte) return kRaw;
    const size_t block = kStage1[cp >> kBlockShift];
    return kRecords[kStage2[(block << kBlockShift) | (cp & ((1u << kBlockShift) - 1))]];
}

std::u32string_view Pooled(uint16_t at, char32_t cp, char32_t (&self)[1]) {
    if (at == 0) {
        self[0] = cp;
        return {self, 1};
    }
    return {&kPool[at + 1], static_cast<size_t>(kPool[at])};
}

bool IsContinuation(std::string_view text, size_t i) {
    return i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
}

// The composite of a and b, or 0.
char32_t Compose(char32_t a, char32_t b) {
    if (a >= kLBase && a < kLBase + kLCount && b >= kVBase && b < kVBase + kVCount)
        return kSBase + ((a - kLBase) * kVCount + (b - kVBase)) * kTCount;
    if (a >= kSBase && a < kSBase + kSCount && (a - kSBase) % kTCount == 0 && b > kTBase && b < kTBase + kTCount)
        return a + (b - kTBase);
    const uint64_t key = static_cast<uint64_t>(a) << 21 | b;
    const uint64_t* at = std::lower_bound(std::begin(kComposeKeys), std::end(kComposeKeys), key);
    return at != std::end(kComposeKeys) && *at == key ? kComposed[at - kComposeKeys] : 0;
}

// Canonical decomposition, Hangul syllables by arithmetic.
template <typename Out>
void Decompose(char32_t cp, Out&& out) {
    if (IsHangulSyllable(cp)) {
        const char32_t s = cp - kSBase;
        out(kLBase + s / kNCount);
        out(kVBase + (s % kNCount) / kTCount);
        if (s % kTCount) out(kTBase + s % kTCount);
        return;
    }
    char32_t self[1];
    for (char32_t c : Pooled(Lookup(cp).canon, cp, self)) out(c);
}

std::string Normalize(std::string_view text, bool compose) {
    std::string out;
    out.reserve(text.size());
    Composer composer(compose);
    auto emit = [&](char32_t c) {
        Append(out, c);
        return true;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto [cp, length] = Decode(text, i);
        if (length == 0) {
            composer.Push(kRawByte + static_cast<unsigned char>(text[i]), emit);
            continue;
        }
        Decompose(cp, [&](char32_t c) { composer.Push(c, emit); });
        i += length - 1;
    }
    composer.Flush(emit);
    return out;
}

}  // namespace

std::pair<char32_t, size_t> Decode(std::string_view text, size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) return {c, 1};
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

size_t Encode(char32_t cp, char (&out)[4]) {
    if (cp < 0x80) return out[0] = static_cast<char>(cp), 1;
    if (cp >= kRawByte) return out[0] = static_cast<char>(cp - kRawByte), 1;
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | cp >> 6);
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | cp >> 12);
        out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | cp >> 18);
    out[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

void Append(std::string& out, char32_t cp) {
    char bytes[4];
    out.append(bytes, Encode(cp, bytes));
}

Class ClassOf(char32_t cp) { return static_cast<Class>(Lookup(cp).bits & kClassMask); }
bool IsSpaceless(char32_t cp) { return (Lookup(cp).bits & kSpaceless) != 0; }
Script ScriptOf(char32_t cp) { return static_cast<Script>(Lookup(cp).bits >> kScriptShift); }
bool IsHangulSyllable(char32_t cp) { return cp >= kSBase && cp < kSBase + kSCount; }
bool IsUmlaut(char32_t cp) { return (Lookup(cp).bits & kUmlaut) != 0; }

std::u32string_view Decomposition(char32_t cp, char32_t (&self)[1]) { return Pooled(Lookup(cp).canon, cp, self); }

std::u32string_view FoldedDecomposition(char32_t cp, char32_t (&self)[1]) {
    return Pooled(Lookup(cp).fold, cp, self);
}

std::u32string_view NameForm(char32_t cp, char32_t (&self)[1]) { return Pooled(Lookup(cp).name, cp, self); }

std::span<const NamePrefix> NamePrefixes() { return kNamePrefixes; }

bool Composer::Stable(char32_t cp) {
    const Record& r = Lookup(cp);
    return r.ccc == 0 && (r.bits & kComposesBack) == 0;
}

// Marks in canonical order (a stable sort of each run of non-starters by
// combining class), then each one composed with the last starter unless a
// mark of its class or a starter stands between them.
void Composer::Settle() {
    for (size_t i = 0; i < buffer_.size();) {
        if (Lookup(buffer_[i]).ccc == 0) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < buffer_.size() && Lookup(buffer_[end]).ccc != 0) ++end;
        if (end - i > 1)
            std::stable_sort(buffer_.begin() + static_cast<ptrdiff_t>(i), buffer_.begin() + static_cast<ptrdiff_t>(end),
                             [](char32_t a, char32_t b) { return Lookup(a).ccc < Lookup(b).ccc; });
        i = end;
    }
    if (!compose_) return;
    size_t starter = std::u32string::npos, out = 0;
    int last = -1;  // combining class of the last code point kept after the starter
    for (size_t i = 0; i < buffer_.size(); ++i) {
        const char32_t c = buffer_[i];
        const int ccc = Lookup(c).ccc;
        if (starter != std::u32string::npos && (last == -1 || last < ccc) && (Lookup(c).bits & kComposesBack)) {
            if (const char32_t composite = Compose(buffer_[starter], c)) {
                buffer_[starter] = composite;
                continue;
            }
        }
        if (ccc == 0) {
            starter = out;
            last = -1;
        } else {
            last = ccc;
        }
        buffer_[out++] = c;
    }
    buffer_.resize(out);
}

std::string Nfc(std::string_view text) { return Normalize(text, true); }
std::string Nfd(std::string_view text) { return Normalize(text, false); }

}  // namespace vorq::unicode
