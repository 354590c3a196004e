// The one-lookup automaton of masked values, the sparse one that very many
// values fall back to, and a plain search of the same patterns in the
// normalized texts agree on every text, so a fault the two automata share is
// found too. Input: lines; "=value" adds a masked value, "=<k>value" one of
// kind k (the digit 1 to 8, ValueKind's order), "~text" asks about a text
// where a maker's text stands (no name's words are looked for there), any
// other line about an ordinary text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/masked_values.h"

namespace {

using vorq::MaskedValues;

bool Reference(const MaskedValues& m, std::string_view text, MaskedValues::Place place) {
    if (text.empty()) return false;
    const std::string normalized = MaskedValues::Normalized(text);
    const std::string words = MaskedValues::Words(text);
    const MaskedValues::Patterns& p = m.patterns();
    return std::any_of(p.inside.begin(), p.inside.end(),
                       [&](const std::string& v) { return normalized.find(v) != std::string::npos; }) ||
           (place == MaskedValues::Place::Text &&
            std::any_of(p.words.begin(), p.words.end(),
                        [&](const std::string& w) { return words.find(w) != std::string::npos; })) ||
           m.Equals(normalized, place);
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
    for (std::string_view line : lines) {
        if (line.starts_with('=')) continue;
        const bool maker = line.starts_with('~');
        const auto place = maker ? MaskedValues::Place::Maker : MaskedValues::Place::Text;
        const std::string_view text = maker ? line.substr(1) : line;
        const bool expected = Reference(dense, text, place);
        if (dense.Restated(text, place) != expected || sparse.Restated(text, place) != expected) abort();
    }
    return 0;
}
