// The one-lookup automaton of masked values and the sparse one that very many
// values fall back to agree on every text. Input: lines; "=value" adds a masked
// value, "~text" asks about a text where a maker's name stands, any other line
// about an ordinary text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "core/masked_values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> lines;
    for (size_t from = 0; from <= in.size();) {
        const size_t end = std::min(in.find('\n', from), in.size());
        lines.push_back(in.substr(from, end - from));
        from = end + 1;
    }
    vorq::MaskedValues dense, sparse(0);
    for (std::string_view line : lines)
        if (line.starts_with('=')) {
            dense.Add(line.substr(1));
            sparse.Add(line.substr(1));
        }
    dense.Finish();
    sparse.Finish();
    for (std::string_view line : lines) {
        if (line.starts_with('=')) continue;
        const bool maker = line.starts_with('~');
        const auto place = maker ? vorq::MaskedValues::Place::Maker : vorq::MaskedValues::Place::Text;
        const std::string_view text = maker ? line.substr(1) : line;
        if (dense.Restated(text, place) != sparse.Restated(text, place)) abort();
    }
    return 0;
}
