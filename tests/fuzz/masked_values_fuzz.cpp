// Properties of masking that need no second implementation of it:
// - the one-lookup automaton and the sparse one agree on every text;
// - a masked value restates itself, unless it names nobody or is too short
//   or too uniform to identify anything;
// - a restatement stays one in NFC and in NFD, in upper and in lower case
//   (where case folding equates the two), and with any punctuation, symbol,
//   space or control character of Unicode before and after it.
// Input: lines; "=value" adds a masked value, "=<k>value" one of kind k (the
// digit 1 to 8, ValueKind's order), "~text" asks about a text where a maker's
// name stands, any other line about an ordinary text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "core/masked_values.h"
#include "core/unicode_text.h"

namespace {

using vorq::MaskedValues;
namespace unicode = vorq::unicode;

#include "unicode_case_mappings.inc"

template <size_t N>
std::string MapCase(std::string_view text, const char32_t (&from)[N], const char32_t (&to)[N]) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        auto [cp, length] = unicode::Decode(text, i);
        if (length == 0) {
            out.push_back(text[i]);
            continue;
        }
        const char32_t* at = std::lower_bound(std::begin(from), std::end(from), cp);
        unicode::Append(out, at != std::end(from) && *at == cp ? to[at - from] : cp);
        i += length - 1;
    }
    return out;
}

// A run of separators picked by `seed`: code points of class Separator ("%"
// left out: it starts an escape).
std::string Separators(uint32_t seed) {
    static const std::vector<char32_t> all = [] {
        std::vector<char32_t> v;
        for (char32_t cp = 0; cp <= 0x10FFFF; ++cp)
            if (cp != '%' && (cp < 0xD800 || cp > 0xDFFF) && unicode::ClassOf(cp) == unicode::Class::Separator)
                v.push_back(cp);
        return v;
    }();
    std::string out;
    for (uint32_t k = 0; k < 1 + seed % 3; ++k) unicode::Append(out, all[(seed * 2654435761u + k * 40503u) % all.size()]);
    return out;
}

void Check(bool ok, const char* what, std::string_view text) {
    if (ok) return;
    fprintf(stderr, "%s: \"%.*s\"\n", what, static_cast<int>(text.size()), text.data());
    abort();
}

void CheckStaysRestated(const MaskedValues& m, std::string_view text, uint32_t seed) {
    if (!m.Restated(text)) return;
    Check(m.Restated(unicode::Nfc(text)), "not restated in NFC", text);
    Check(m.Restated(unicode::Nfd(text)), "not restated in NFD", text);
    Check(m.Restated(MapCase(text, kUpperFrom, kUpperTo)), "not restated in upper case", text);
    Check(m.Restated(MapCase(text, kLowerFrom, kLowerTo)), "not restated in lower case", text);
    const std::string around = Separators(seed) + std::string(text) + Separators(seed >> 7);
    Check(m.Restated(around), "not restated with separators around", around);
}

bool IdentifiesNothing(std::string_view value) {
    const std::string n = MaskedValues::Normalized(value);
    return n.size() < 3 || std::all_of(n.begin(), n.end(), [&](char c) { return c == n[0]; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> lines;
    for (size_t from = 0; from <= in.size();) {
        const size_t end = std::min(in.find('\n', from), in.size());
        lines.push_back(in.substr(from, end - from));
        from = end + 1;
    }
    std::vector<MaskedValues::Value> values;
    for (std::string_view line : lines) {
        if (!line.starts_with('=')) continue;
        line.remove_prefix(1);
        auto kind = vorq::ValueKind::Plain;
        if (!line.empty() && line[0] >= '1' && line[0] <= '8') {
            kind = static_cast<vorq::ValueKind>(line[0] - '0');
            line.remove_prefix(1);
        }
        values.push_back({line, kind});
    }
    const MaskedValues dense(values), sparse(values, 0);
    uint32_t seed = static_cast<uint32_t>(size);
    for (const MaskedValues::Value& v : values) {
        seed = seed * 31 + static_cast<uint32_t>(v.text.size());
        if (vorq::IdentifiesNobody(v.text) || IdentifiesNothing(v.text)) continue;
        Check(dense.Restated(v.text), "a value does not restate itself", v.text);
        CheckStaysRestated(dense, v.text, seed);
    }
    for (std::string_view line : lines) {
        if (line.starts_with('=')) continue;
        const bool maker = line.starts_with('~');
        const auto place = maker ? MaskedValues::Place::Maker : MaskedValues::Place::Text;
        const std::string_view text = maker ? line.substr(1) : line;
        Check(dense.Restated(text, place) == sparse.Restated(text, place), "the automata disagree", text);
        seed = seed * 31 + static_cast<uint32_t>(text.size());
        CheckStaysRestated(dense, text, seed);
    }
    return 0;
}
