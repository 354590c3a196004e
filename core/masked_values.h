// The values a privacy-safe report masks, and whether another of its texts
// restates one. Platform-free.
//
// Texts are compared without letter case and without the separators
// identifiers are written with, so "AA-BB-..." and "aabb..." or "{GUID}" and
// "guid" are one value. What a value masks besides its own place depends on
// its shape, because sensitive columns also hold counts, flags, placeholders
// and ordinary words:
// - a value of fewer than 3 characters, or of one repeated character ("0",
//   "00000000", "FFFF"), identifies nothing and masks nothing else;
// - a plain word or name (letters, spaces and simple punctuation, no digits:
//   "Microsoft", "HP Inc.", "WORKGROUP", "Administrator") masks only texts
//   equal to it, and not where a maker's name stands: other texts use the same
//   words in their ordinary sense. Names joined by " / " (owner and
//   organization in one cell) are each such a value;
// - an identifier (digits, or the structure of a GUID, path, domain, e-mail
//   address or SID) of 3 to 7 characters masks a text that equals it; of 8
//   characters or more with at least 4 different characters, every text it
//   appears in: a run that long and that varied is in another text only because
//   that text restates it (a DUID carrying the system UUID, a path under a
//   masked profile folder). Long values with fewer different characters
//   ("43000000") are also numbers and register contents that hex texts hold by
//   chance, so they mask equal texts only;
// - a profile folder ("C:\Users\Johannes Quellbrandt") also masks every text
//   holding the 8.3 short form Windows gives it ("C:\Users\JOHANN~1\...").
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace vorq {

class MaskedValues {
public:
    // Where a text stands: a maker's name is not a restatement of a plain name.
    enum class Place { Text, Maker };

    // Entries of the one-lookup automaton (32 MiB) past which it stays sparse:
    // slower per byte, but its size follows the values' length, not length
    // times alphabet.
    static constexpr size_t kDenseLimit = size_t{1} << 23;

    explicit MaskedValues(size_t denseLimit = kDenseLimit) : denseLimit_(denseLimit) {}

    void Add(std::string_view value);
    // Builds the automaton of the values to look for inside texts; call once,
    // after the last Add.
    void Finish();
    bool Restated(std::string_view text, Place place = Place::Text) const;

private:
    // A trie of the values with failure links (Aho-Corasick), so one pass over
    // a text finds any of them however many there are.
    struct Node {
        std::vector<std::pair<char, int>> next;
        int fail = 0;
        bool end = false;
    };

    bool AddNames(std::string_view value);
    void AddWhole(std::string normalized);
    void AddInside(const std::string& normalized);
    int Next(int node, char c) const;
    void BuildDense(const std::vector<int>& order);

    size_t denseLimit_;
    std::unordered_set<std::string> whole_;
    std::unordered_set<std::string> names_;
    std::unordered_set<uint64_t> wholeHash_;
    std::unordered_set<uint64_t> nameHash_;
    std::vector<Node> nodes_ = std::vector<Node>(1);
    // The dense automaton: for every node, the next node for every byte class
    // (the bytes the values hold; class 0 for all others).
    std::array<unsigned char, 256> class_{};
    size_t classCount_ = 1;
    std::vector<int> delta_;
    std::vector<unsigned char> end_;
    bool empty_ = true;
    mutable std::string scratch_;
};

}  // namespace vorq
