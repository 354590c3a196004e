// Unicode normalization, case folding and word classes from the tables
// scripts/unicode_tables.py compiles out of the Unicode Character Database.
// Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace vorq::unicode {

// What a code point is to a word, from its general category: letters (L*,
// and unassigned or private code points) and numbers (N*) make words, marks
// (M*) stay in the word before them, separators (P*, S*, Z*, Cc, and the
// modifier letters of no script: primes and apostrophes) end words, and
// ignored ones (Cf, and the join-causing modifier letters such as tatweel
// that only stretch a word) are left out.
enum class Class : uint8_t { Letter = 0, Number = 1, Mark = 2, Separator = 3, Ignored = 4 };

// The scripts whose names take attached particles.
enum class Script : uint8_t { Other = 0, Hangul = 1, Arabic = 2, Hebrew = 3 };

// A byte that starts no valid UTF-8 sequence is read as this plus the byte:
// beyond Unicode, a letter of its own, written back as the byte.
constexpr char32_t kRawByte = 0x110000;

// The code point of the UTF-8 sequence at text[i] and its length; length 0
// for a byte that starts no valid sequence.
std::pair<char32_t, size_t> Decode(std::string_view text, size_t i);
// UTF-8 of cp (a raw byte as itself), and its length.
size_t Encode(char32_t cp, char (&out)[4]);
void Append(std::string& out, char32_t cp);

Class ClassOf(char32_t cp);
// Of a script written without spaces between words: most of its characters
// may break a line anywhere (Line_Break SA, ID or CJ).
bool IsSpaceless(char32_t cp);
Script ScriptOf(char32_t cp);
bool IsHangulSyllable(char32_t cp);

// The full canonical decomposition (Hangul syllables stay whole here).
std::u32string_view Decomposition(char32_t cp, char32_t (&self)[1]);
// Full case folding (CaseFolding.txt, statuses C and F) of the canonical
// decomposition, decomposed again: of NFD text, what NFC then composes.
std::u32string_view FoldedDecomposition(char32_t cp, char32_t (&self)[1]);
// The accent-free name form of a code point of folded NFC text: its
// compatibility decomposition without marks, the letters that do not
// decompose spelled in ASCII (the names' own rule), Hangul syllables whole,
// separators unchanged.
std::u32string_view NameForm(char32_t cp, char32_t (&self)[1]);
// "ä", "ö", "ü" (folded): German also spells them "ae", "oe", "ue".
bool IsUmlaut(char32_t cp);

// The one-letter prefixes a script attaches to the word after them (the
// Arabic article as one prefix).
struct NamePrefix {
    uint8_t script;
    const char* text;
};
std::span<const NamePrefix> NamePrefixes();

// Canonical ordering and composition of decomposed code points as they come;
// emit(cp) is called with the composed text and may return false to stop.
class Composer {
public:
    explicit Composer(bool compose = true) : compose_(compose) {}
    template <typename Emit>
    bool Push(char32_t cp, Emit&& emit) {
        if (Stable(cp) && !Flush(emit)) return false;
        buffer_.push_back(cp);
        return true;
    }
    template <typename Emit>
    bool Flush(Emit&& emit) {
        if (buffer_.empty()) return true;
        Settle();
        for (char32_t c : buffer_)
            if (!emit(c)) return buffer_.clear(), false;
        buffer_.clear();
        return true;
    }
    bool Empty() const { return buffer_.empty(); }

private:
    // A starter that never composes with what is before it.
    static bool Stable(char32_t cp);
    void Settle();
    std::u32string buffer_;
    bool compose_;
};

// The text in NFC and in NFD; bytes that are no valid UTF-8 unchanged.
std::string Nfc(std::string_view text);
std::string Nfd(std::string_view text);

}  // namespace vorq::unicode
