// The values a privacy-safe report masks, and whether another of its texts
// restates one. Platform-free.
//
// Texts are compared without letter case (ASCII, and Latin with accents, Greek
// and Cyrillic), without the separators identifiers are written with, and with
// "%XX" escapes of printable ASCII read as the character, so "AA-BB-..." and
// "aabb...", "{GUID}" and "guid", "JÜRGEN" and "Jürgen", "a%40b" and "a@b" are
// one value. What a value masks besides its own place depends on its shape,
// because sensitive columns also hold counts, flags, placeholders and ordinary
// words:
// - a value of fewer than 3 characters, of one repeated character ("0",
//   "00000000", "FFFF"), or a firmware placeholder ("To Be Filled By O.E.M.",
//   "Default string": IsPlaceholderValue) identifies nothing and masks nothing
//   else;
// - a plain word or name (letters, spaces and simple punctuation, no digits:
//   "Microsoft", "HP Inc.", "WORKGROUP", "Administrator") masks only texts
//   equal to it, and not where a maker's name stands: other texts use the same
//   words in their ordinary sense;
// - an identifier (digits, or the structure of a GUID, path, domain, e-mail
//   address or SID) of 3 to 7 characters masks a text that equals it; of 8
//   characters or more with at least 4 different characters, every text it
//   appears in: a run that long and that varied is in another text only because
//   that text restates it (a DUID carrying the system UUID, a path under a
//   masked profile folder). Long values with fewer different characters
//   ("43000000") are also numbers and register contents that hex texts hold by
//   chance, so they mask equal texts only;
// - parts joined by " / " (owner and organization in one cell) are each masked
//   by their own shape, besides the whole.
// What a value names widens that (ValueKind):
// - the user's account name (unless built in or generic: "Administrator",
//   "Guest", "root", ...), the computer name and the NetBIOS domain name are
//   chosen names whatever their letters: each masks every text holding it as a
//   whole word ("HOLLOWMERE\jquellbrandt", "WDKTestCert jquellbrandt,1335..."),
//   where makers' names stand too;
// - a DNS domain ("corp.hollowmere.example") also masks its directory form
//   ("DC=corp,DC=hollowmere,DC=example") inside texts and its distinctive label
//   ("hollowmere") as a whole word;
// - an organization (the registered one, a workgroup other than "WORKGROUP")
//   is masked by its shape;
// - a profile folder ("C:\Users\Johannes Quellbrandt", or elsewhere) also masks
//   every text holding the 8.3 short form Windows predictably gives it
//   ("C:\Users\JOHANN~1\..."); its real short form, which Windows alone knows
//   for non-ASCII names and after four collisions, comes as a profile folder
//   of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/snapshot.h"

namespace vorq {

// Accounts Windows makes or names generically ("Administrator", "Guest",
// "root", ...): they identify nobody.
bool IsBuiltInAccount(std::string_view name);

// The address of a public service every such machine talks to
// ("login.windows.net", the Intune enrollment service), with or without
// "https://".
bool IsPublicServiceAddress(std::string_view text);

// A value that names nobody although it stands where an identifier may: a
// firmware placeholder, a built-in account, a generic value ("<none>", "no
// serial") or a public service's address. A privacy-safe report shows it in a
// sensitive place and masks nothing with it.
bool IdentifiesNobody(std::string_view value);

class MaskedValues {
public:
    // Where a text stands: a maker's name is not a restatement of a plain name.
    enum class Place { Text, Maker };

    struct Value {
        std::string_view text;
        ValueKind kind = ValueKind::Plain;
    };

    // Entries of the one-lookup automaton (32 MiB) past which it stays sparse:
    // slower per byte, but its size follows the values' length, not length
    // times alphabet.
    static constexpr size_t kDenseLimit = size_t{1} << 23;

    // The set is built from all its values at once, so no value can come after
    // the automaton is made.
    explicit MaskedValues(const std::vector<Value>& values, size_t denseLimit = kDenseLimit);

    bool Restated(std::string_view text, Place place = Place::Text) const;

    // The texts the automata look for, as Normalized and Words write them; for
    // a plain reference to check the automata against.
    struct Patterns {
        std::vector<std::string> inside, words;
    };
    const Patterns& patterns() const { return patterns_; }
    bool Equals(const std::string& normalized, Place place) const {
        return whole_.count(normalized) != 0 || (place == Place::Text && names_.count(normalized) != 0);
    }
    // The text folded and without separators, as identifiers are compared.
    static std::string Normalized(std::string_view text);
    // The text folded, each run of characters other than letters and digits
    // one space, with a space at either end, as whole words are compared.
    static std::string Words(std::string_view text);

private:
    // A trie of the values with failure links (Aho-Corasick), so one pass over
    // a text finds any of them however many there are; a dense table of next
    // nodes per byte class (the bytes the values hold; class 0 for all others)
    // unless too large.
    class Automaton {
    public:
        void Insert(const std::string& text);
        void Build(size_t denseLimit);
        bool Empty() const { return nodes_.size() == 1; }
        int Step(int state, unsigned char c) const;
        bool End(int state) const { return nodes_[static_cast<size_t>(state)].end; }

    private:
        struct Node {
            std::vector<std::pair<char, int>> next;
            int fail = 0;
            bool end = false;
        };
        int Next(int node, char c) const;
        std::vector<Node> nodes_ = std::vector<Node>(1);
        std::array<unsigned char, 256> class_{};
        size_t classCount_ = 1;
        std::vector<int> delta_;
    };

    void Add(std::string_view value, ValueKind kind);
    void AddByShape(std::string_view value);
    // The whole value as a word (and inside texts in scripts without spaces).
    void AddName(std::string_view value);
    // One folded word, too short or too uniform ones left out.
    void AddWord(const std::string& folded);
    void AddDomain(std::string_view domain);
    void AddOwner(std::string_view owner);
    void AddOrganization(std::string_view organization);
    void AddInside(std::string normalized);

    std::unordered_set<std::string> whole_;
    std::unordered_set<std::string> names_;
    std::unordered_set<uint64_t> wholeHash_;
    std::unordered_set<uint64_t> nameHash_;
    Patterns patterns_;
    Automaton inside_, words_;
    int wordStart_ = 0;
    bool empty_ = true;
};

}  // namespace vorq
