// The values a privacy-safe report masks, and whether another of its texts
// restates one. Platform-free.
//
// Texts are compared as Unicode defines them, from the tables the build
// compiles out of the Unicode Character Database (core/unicode_text.h):
// - "%XX" runs are read as the UTF-8 they spell ("J%C3%BCrgen" is
//   "Jürgen"); bytes that are no UTF-8 stay bytes;
// - letter case is removed by full case folding (CaseFolding.txt), applied
//   to the canonical decomposition, and the result is put in NFC, so
//   canonically equivalent texts (composed and decomposed) are one text;
// - a word ends at every code point of the general categories P*, S*, Z* and
//   Cc, at a modifier letter that belongs to no script (primes and
//   apostrophes written as modifier letters), and at a mark that follows any of them (an
//   emoji's variation selector); letters, numbers and the marks after them
//   stay in the word; format characters (Cf) and the join-causing modifier
//   letters (tatweel) are left out;
// - identifiers are compared in that folded form without the separators
//   they are written with ("-:{} ._\/=,", spaces, line breaks, and every
//   separator beyond ASCII), so "AA-BB-..." and "aabb...", "{GUID}" and
//   "guid", "a%40b" and "a@b" are one value; a value is equal to a text
//   whatever separators stand at either end;
// - names (plain names and the words of the kinds below) are compared in an
//   accent-free form: the folded form's compatibility decomposition (NFKD)
//   without marks, Hangul syllables kept whole, plus a rule of names, not of
//   Unicode: the few Latin letters with no decomposition are spelled as
//   ASCII spells them (l, o, d, h, i, ae, oe, th for the letters with stroke,
//   slash, bar, the dotless i and the ligatures and thorn; the sharp s is "ss"
//   by case folding), and German a, o, u with diaeresis as well with an "e"
//   after them. So "José" masks "JOSE", "Paweł" masks "pawel", "Jürgen"
//   masks "Jurgen" and "Juergen", "ΝΙΚΟΣ" masks "Νίκος", fullwidth letters
//   are their ASCII forms, and harakat and niqqud are left out. Identifiers
//   keep their accents: "JÜRGEN-7QK2" is no "JURGEN-7QK2".
// - particles: in Hangul a name matches at a word's start with more Hangul
//   after it (a particle: "<name>의"); in Arabic and Hebrew it matches after
//   one or two of the one-letter prefixes those scripts attach (conjunctions
//   and prepositions; the Arabic article counts as one, and comes last).
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
// holds it between word ends ("HOLLOWMERE\jquellbrandt" holds
// "jquellbrandt", "jquellbrandtx" does not). In scripts written without
// spaces (those most of whose characters may break a line anywhere: Line_Break
// SA, ID or CJ; Han, kana, Thai, Lao, Myanmar, Khmer, Yi, ...) there is no
// whole word, so a name of at least two such characters masks every text
// holding it anywhere ("王小明的打印机"); one such character alone, at most
// where it stands apart.
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
//   longest rule of the Public Suffix List (its ICANN and its private
//   sections, compiled at build time; an exception rule first, the last label
//   when no rule matches) that the domain ends with, its labels decoded from
//   punycode first: so "example.gv.at" gives "example", "school.nsw.edu.au"
//   "school", a "web.app" or "pages.dev" tenant its own name, and
//   "xn--mnchen-3ya.de" "münchen". Cloud directories' tenant domains
//   ("onmicrosoft.com"), which the list lacks, are suffixes too. A domain
//   that is a public suffix itself names no one; nor do home routers' and
//   internal networks' defaults ("home", "lan", "local", "localdomain",
//   "fritz.box", "corp", "internal", "workgroup") and public mail and cloud
//   services' labels ("gmail", "outlook");
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

// Whether a local account's RID is one of the accounts Windows makes: 500
// (Administrator), 501 (Guest), 503 (DefaultAccount), 504
// (WDAGUtilityAccount). Their names follow Windows' language ("Administrateur",
// "Gast"), so the RID tells them, not the name.
bool IsBuiltInRid(std::string_view rid);
// Whether `sid` is such an account of this installation (`machineSid`'s domain).
bool IsBuiltInAccountSid(std::string_view sid, std::string_view machineSid);
// Whether the account `sid` is such an account still under a name Windows
// gives it (core/windows_defaults.tsv): it names nobody. Renamed, it is a
// person's.
bool IsUnrenamedBuiltInAccount(std::string_view sid, std::string_view machineSid, std::string_view name);

// A maker's name, with or without its legal form ("Dell Inc.", "HP",
// "Microsoft", "Micro-Star International Co., Ltd."): the name of a computer,
// component or system maker, never an owner's or organization's own.
bool IsMakerName(std::string_view text);

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

    // Entries of the one-lookup automaton (256 KiB) past which it stays
    // sparse: slower per byte, but its size follows the values' length, not
    // length times alphabet. Building a larger table cost more than it saved
    // over a whole report's texts (tests/bench/report_writer_host_bench).
    static constexpr size_t kDenseLimit = size_t{1} << 16;

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
    // The text in the name form, each run of separators one space, with a
    // space at either end, as whole words are compared; `german` spells
    // German umlauts with "e".
    static std::string Words(std::string_view text, bool german = false);

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
    // A plain name as texts must equal it, in both spellings.
    void AddPlainName(std::string_view value);
    // One folded word (and its German spelling), too short or too uniform
    // ones left out.
    void AddWord(const std::string& folded, const std::string& german);
    void AddWords(const std::string& words, const std::string& german);
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
