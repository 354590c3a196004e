// The values a privacy-safe report masks, and whether another of its texts
// restates one. Platform-free.
//
// Texts are compared without letter case (ASCII, and Latin with accents, Greek
// and Cyrillic), without the separators identifiers are written with, and with
// "%XX" escapes of printable ASCII read as the character, so "AA-BB-..." and
// "aabb...", "{GUID}" and "guid", "JÜRGEN" and "Jürgen", "a%40b" and "a@b" are
// one value. Beyond ASCII, "ä", "ö", "ü" and "ß" are read as "ae", "oe", "ue"
// and "ss", as they are written where only ASCII goes ("Jürgen" and
// "JUERGEN", "Weiß" and "WEISS"; "Jurgen" stays another name); fullwidth
// letters, digits and punctuation as their ASCII forms; typographic
// apostrophes as "'"; every other character that is neither a letter nor a
// digit in Unicode as a space, so it ends a word as ASCII punctuation does
// (a table of code point ranges: Latin-1, Greek, Armenian, Hebrew, Arabic,
// Indic, Thai and Khmer punctuation, general punctuation with quotes,
// guillemets and middle dots, currency, arrows, mathematical and other
// symbols, CJK and fullwidth punctuation, emoji); zero-width characters as
// nothing. Combining marks stay inside words.
//
// What a value masks besides its own place depends on its shape, because
// sensitive columns also hold counts, flags, placeholders and ordinary words:
// - a value that names nobody (IdentifiesNobody: a firmware placeholder such
//   as "To Be Filled By O.E.M.", a built-in account such as "root" and its
//   profile folder, Windows' shared profile folders ("C:\Users\Public"), a generic
//   value such as "<none>" or "no serial", a public service's address such as
//   "login.windows.net") masks nothing, and the report shows it even where it
//   stands in a sensitive place: it tells a reader of the verdict something
//   and identifies no one;
// - a value of fewer than 3 characters or of one repeated character ("0",
//   "00000000", "FFFF") identifies nothing and masks nothing else;
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
// What a value names widens that (ValueKind). A word is matched whole: a text
// holds it between non-letters ("HOLLOWMERE\jquellbrandt" holds
// "jquellbrandt", "jquellbrandtx" does not). In scripts written without
// spaces (Han, kana, Thai, Lao, Myanmar, Khmer) there is no whole word, so a
// name of at least two such characters masks every text holding it anywhere
// ("王小明的打印机"); one such character alone, at most where it stands
// apart.
// - the user's account name (unless built in or generic), the computer name,
//   the NetBIOS domain name and a text a person on this machine typed
//   (Chosen: a device's or a volume's name) are chosen names whatever their
//   letters: each masks every text holding it as a whole word (the report
//   asks this only of typed and free-text places);
// - the registered owner (Owner; also an Entra or MDM account's address)
//   masks its given name and surname each as a whole word ("Kowalczyk" in
//   "Headset (Kowalczyk AirPods Pro Hands-Free)"), name particles ("van",
//   "der") left out, unless the owner is generic ("User", "Windows User",
//   "Owner") or a maker ("HP", "Dell Inc."): preinstalled systems carry those
//   and they name no one. An address's part before "@" gives the names, its
//   domain the organization's words;
// - an organization (the registered one, a workgroup other than "WORKGROUP",
//   a cloud tenant's domain, an address's domain) masks its distinctive words
//   as whole words: its name without the legal form ("GmbH", "Inc.", "e.V.",
//   "Ltd", "SE", ...), generic business words ("Services", "Group") and makers'
//   names, so "Weiß Elektro GmbH" masks "WEISS ELEKTRO BÜRO" while
//   "Microsoft" or "Dell Inc." as the organization masks only texts equal to
//   it; a domain's distinctive label as below;
// - a DNS domain ("corp.hollowmere.example") also masks its directory form
//   ("DC=corp,DC=hollowmere,DC=example") inside texts; its distinctive label,
//   the one left of its public suffix, masks as a whole word, and so does each
//   part of a hyphenated label ("hollowmere-group"). The public suffix is the
//   top-level domain, or with a two-letter country domain a registry's second
//   level from a short list ("co", "com", "gv", "ltd", "or", "ac", ...: so
//   "example.gv.at" gives "example" and "hollowmere.ltd.uk" gives
//   "hollowmere", and no "Co., Ltd." maker is masked), or one of a few public
//   pairs ("onmicrosoft.com"). Internal defaults ("corp", "local") and public
//   mail and cloud services ("gmail", "outlook") are no one's label;
// - a profile folder ("C:\Users\Johannes Quellbrandt", or elsewhere) also masks
//   every text holding the 8.3 short form Windows predictably gives it
//   ("C:\Users\JOHANN~1\..."); its real short form, which Windows alone knows
//   for non-ASCII names and after four collisions, comes as a profile folder
//   of its own.
// The report never compares the program's own texts (Role::Program): a name
// masks only data read from the machine, so no fixed text tells it back; and
// in a maker's text (Place::Maker) it asks only for identifiers, never for
// names or their words.
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
// firmware placeholder, a built-in account or its profile folder, a generic
// value ("<none>", "no serial") or a public service's address. A privacy-safe
// report shows it in a sensitive place and masks nothing with it.
bool IdentifiesNobody(std::string_view value);

class MaskedValues {
public:
    // Where a text stands: a maker's text is not a restatement of a name or
    // its words, only of an identifier.
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
