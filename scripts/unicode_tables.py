#!/usr/bin/env python3
"""Compiles the Unicode Character Database (Debian's unicode-data) into the
tables core/unicode_text.cpp reads: canonical composition and decomposition,
full case folding, the accent-free name form, word classes from the general
categories, and the scripts written without spaces.

  unicode_tables.py <ucd dir> <out dir>

writes <out dir>/unicode_tables.inc (the program's tables),
<out dir>/unicode_case_mappings.inc (upper and lower case for the tests) and
the conformance files NormalizationTest.txt and WordBreakTest.txt (with
WordBreakProperty.txt) the unit tests read.
"""
import bz2
import os
import shutil
import sys

# Letters of the name form that Unicode does not decompose: their ASCII
# spelling where only ASCII goes. These are rules of names, not of Unicode;
# keep the list to the letters that have no decomposition.
NAME_LETTERS = {"ł": "l", "ø": "o", "đ": "d", "ħ": "h", "ı": "i", "æ": "ae", "œ": "oe", "þ": "th"}
# German writes a, o and u with diaeresis as "ae", "oe" and "ue" where only
# ASCII goes; the name form has both spellings.
UMLAUT_BASES = "aou"
# The one-letter prefixes Arabic and Hebrew attach to a word (conjunctions,
# prepositions, the Arabic article as one unit), by script.
NAME_PREFIXES = {
    "Arabic": ["و", "ف", "ب", "ك", "ل", "ال"],
    "Hebrew": ["ה", "ו", "ב", "כ", "ל", "מ", "ש"],
}

BLOCK = 128
S_BASE, L_BASE, V_BASE, T_BASE = 0xAC00, 0x1100, 0x1161, 0x11A7
L_COUNT, V_COUNT, T_COUNT = 19, 21, 28
N_COUNT = V_COUNT * T_COUNT
S_COUNT = L_COUNT * N_COUNT

# Classes (low 3 bits of a record's class byte); keep in step with
# core/unicode_text.h.
LETTER, NUMBER, MARK, SEPARATOR, IGNORED = 0, 1, 2, 3, 4
SPACELESS, COMPOSES_BACK, UMLAUT = 0x08, 0x10, 0x20
SCRIPT_SHIFT = 6
SCRIPT_CODE = {"Hangul": 1, "Arabic": 2, "Hebrew": 3}


def ranges(path):
    out = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#")[0].strip()
            if not line:
                continue
            fields = [x.strip() for x in line.split(";")]
            lo, _, hi = fields[0].partition("..")
            for cp in range(int(lo, 16), int(hi or lo, 16) + 1):
                out[cp] = fields[1:] if len(fields) > 2 else fields[1]
    return out


def read_unicode_data(path):
    cat, ccc, decomp = {}, {}, {}
    first = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            fl = line.rstrip("\n").split(";")
            cp = int(fl[0], 16)
            if fl[1].endswith(", First>"):
                first = cp
                continue
            span = range(first, cp + 1) if fl[1].endswith(", Last>") else (cp,)
            first = None
            for c in span:
                cat[c] = fl[2]
                ccc[c] = int(fl[3])
                if fl[5]:
                    parts = fl[5].split()
                    compat = parts[0].startswith("<")
                    decomp[c] = (compat, [int(x, 16) for x in parts[1:] if compat] if compat else [int(x, 16) for x in parts])
    return cat, ccc, decomp


def main():
    ucd, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    cat, ccc, decomp = read_unicode_data(os.path.join(ucd, "UnicodeData.txt"))
    scripts = ranges(os.path.join(ucd, "Scripts.txt"))
    extensions = ranges(os.path.join(ucd, "ScriptExtensions.txt"))
    line_break = ranges(os.path.join(ucd, "LineBreak.txt"))
    joining = {cp: v[1] if isinstance(v, list) else v for cp, v in ranges(os.path.join(ucd, "ArabicShaping.txt")).items()}
    exclusions = set()
    with open(os.path.join(ucd, "DerivedNormalizationProps.txt"), encoding="utf-8") as f:
        for line in f:
            fields = [x.strip() for x in line.split("#")[0].split(";")]
            if len(fields) == 2 and fields[1] == "Full_Composition_Exclusion":
                lo, _, hi = fields[0].partition("..")
                exclusions.update(range(int(lo, 16), int(hi or lo, 16) + 1))
    folding = {}
    with open(os.path.join(ucd, "CaseFolding.txt"), encoding="utf-8") as f:
        for line in f:
            fields = [x.strip() for x in line.split("#")[0].split(";")]
            if len(fields) >= 3 and fields[1] in ("C", "F"):
                folding[int(fields[0], 16)] = [int(x, 16) for x in fields[2].split()]

    def nfd(cps, compat=False):
        result = []
        for c in cps:
            if S_BASE <= c < S_BASE + S_COUNT:
                s = c - S_BASE
                result += [L_BASE + s // N_COUNT, V_BASE + (s % N_COUNT) // T_COUNT]
                if s % T_COUNT:
                    result.append(T_BASE + s % T_COUNT)
            elif c in decomp and (compat or not decomp[c][0]):
                result += nfd(decomp[c][1], compat)
            else:
                result.append(c)
        return result

    def fold(cps):
        return [x for c in cps for x in folding.get(c, [c])]

    def fixpoint(f, cps):
        while True:
            nxt = f(cps)
            if nxt == cps:
                return cps
            cps = nxt

    # Scripts written without spaces: most of their characters may break a
    # line anywhere (Line_Break SA, ID or CJ).
    total, breaking = {}, {}
    for cp, s in scripts.items():
        total[s] = total.get(s, 0) + 1
        if line_break.get(cp) in ("SA", "ID", "CJ"):
            breaking[s] = breaking.get(s, 0) + 1
    spaceless = {s for s in total if s not in ("Common", "Inherited") and breaking.get(s, 0) * 2 > total[s]}

    def script_of(cp):
        s = scripts.get(cp, "Unknown")
        if s in ("Common", "Inherited") and cp in extensions:
            names = extensions[cp].split() if isinstance(extensions[cp], str) else extensions[cp][0].split()
            return names, s
        return [s], s

    long_names = {}
    with open(os.path.join(ucd, "PropertyValueAliases.txt"), encoding="utf-8") as f:
        for line in f:
            fl = [x.strip() for x in line.split("#")[0].split(";")]
            if len(fl) >= 3 and fl[0] == "sc":
                long_names[fl[1]] = fl[2]

    def word_class(cp):
        g = cat.get(cp, "Cn")
        if g == "Cf":
            return IGNORED
        if g == "Lm" and joining.get(cp) == "C":
            return IGNORED  # tatweel: stretches a word, spells nothing
        if g == "Lm" and scripts.get(cp) == "Common" and cp not in extensions:
            return SEPARATOR  # primes and apostrophes written as modifier letters
        if g[0] in "PSZ" or g == "Cc":
            return SEPARATOR
        if g[0] == "M":
            return MARK
        if g[0] == "N":
            return NUMBER
        return LETTER

    # Canonical composition: primary composites.
    pairs = {}
    for cp, (compat, d) in decomp.items():
        if not compat and len(d) == 2 and cp not in exclusions:
            pairs[(d[0], d[1])] = cp
    seconds = {b for _, b in pairs}
    seconds.update(range(V_BASE, V_BASE + V_COUNT))
    seconds.update(range(T_BASE + 1, T_BASE + T_COUNT))

    umlauts = {cp for cp in decomp if nfd([cp]) in ([ord(b), 0x308] for b in UMLAUT_BASES)}
    name_letters = {ord(k): [ord(x) for x in v] for k, v in NAME_LETTERS.items()}

    pool = [0]  # index 0: the code point maps to itself
    pool_index = {}

    def intern(seq):
        key = tuple(seq)
        if key not in pool_index:
            pool_index[key] = len(pool)
            pool.append(len(seq))
            pool.extend(seq)
        return pool_index[key]

    def folded_nfd(cp):
        return fixpoint(lambda s: nfd(fold(nfd(s))), [cp])

    def name_form(cp):
        # Of a code point that is already in the folded form: compatibility
        # decomposition, folded, without marks and ignored characters, the
        # letters that do not decompose spelled; Hangul syllables and
        # separators stay whole (a symbol that decomposes to letters, "™",
        # still ends a word).
        cls = word_class(cp)
        if S_BASE <= cp < S_BASE + S_COUNT or cls == SEPARATOR:
            return [cp]
        if cls in (MARK, IGNORED):
            return []
        if cp not in decomp and cp not in folding:
            return name_letters.get(cp, [cp])
        seq = fixpoint(lambda s: nfd(fold(nfd(s, True)), True), [cp])
        seq = [c for c in seq if word_class(c) not in (MARK, IGNORED)]
        seq = [x for c in seq for x in name_letters.get(c, [c])]
        return seq

    records = {}
    record_list = []
    per_cp = []
    for cp in range(0x110000):
        cls = word_class(cp)
        names, base = script_of(cp)
        if all(n in spaceless or long_names.get(n) in spaceless for n in names) and cat.get(cp, "Cn") != "Cn":
            cls |= SPACELESS
        if cp in seconds:
            cls |= COMPOSES_BACK
        if cp in umlauts:
            cls |= UMLAUT
        code = SCRIPT_CODE.get(long_names.get(names[0], names[0]), 0) if len(names) == 1 else 0
        cls |= code << SCRIPT_SHIFT
        # Hangul syllables decompose and compose by arithmetic, in the code.
        plain = cp not in decomp and cp not in folding
        d = [cp] if plain else nfd([cp])
        canon = 0 if d == [cp] else intern(d)
        fd = [cp] if plain else folded_nfd(cp)
        folded = 0 if fd == [cp] else intern(fd)
        nf = name_form(cp)
        name = 0 if nf == [cp] else intern(nf)
        rec = (ccc.get(cp, 0), cls, canon, folded, name)
        if rec not in records:
            records[rec] = len(record_list)
            record_list.append(rec)
        per_cp.append(records[rec])
    assert len(pool) < 65536 and len(record_list) < 65536

    blocks, block_index, stage1 = [], {}, []
    for b in range(0, 0x110000, BLOCK):
        key = tuple(per_cp[b:b + BLOCK])
        if key not in block_index:
            block_index[key] = len(blocks)
            blocks.append(key)
        stage1.append(block_index[key])

    def array(name, ctype, values, per_line=16):
        lines = [f"static constexpr {ctype} {name}[] = {{"]
        for i in range(0, len(values), per_line):
            lines.append("    " + ", ".join(str(v) for v in values[i:i + per_line]) + ",")
        lines.append("};")
        return "\n".join(lines)

    compose = sorted((a << 21 | b, c) for (a, b), c in pairs.items())
    prefixes = []
    for script, letters in sorted(NAME_PREFIXES.items()):
        for p in letters:
            prefixes.append(f'    {{{SCRIPT_CODE[script]}, "{p}"}},')
    text = [
        "// Generated by scripts/unicode_tables.py from the Unicode Character Database; do not edit.",
        f"static constexpr unsigned kBlockShift = {BLOCK.bit_length() - 1};",
        array("kStage1", "uint16_t", stage1),
        array("kStage2", "uint16_t", [r for blk in blocks for r in blk]),
        "static constexpr Record kRecords[] = {",
        *(f"    {{{a}, {b}, {c}, {d}, {e}}}," for a, b, c, d, e in record_list),
        "};",
        array("kPool", "char32_t", pool),
        array("kComposeKeys", "uint64_t", [k for k, _ in compose], 8),
        array("kComposed", "char32_t", [c for _, c in compose]),
        "static constexpr NamePrefix kNamePrefixes[] = {",
        *prefixes,
        "};",
        "",
    ]
    write_if_changed(os.path.join(out, "unicode_tables.inc"), "\n".join(text))

    # Upper and lower case for the tests, where case folding equates the two
    # (it does not for the Turkic dotted and dotless i) and the combining
    # class stays (the iota subscript, a mark, has a letter as its capital).
    upper, lower = [], []
    with open(os.path.join(ucd, "UnicodeData.txt"), encoding="utf-8") as f:
        for line in f:
            fl = line.split(";")
            cp = int(fl[0], 16)
            for field, target in ((fl[12], upper), (fl[13], lower)):
                if field:
                    m = int(field, 16)
                    if folded_nfd(m) == folded_nfd(cp) and ccc.get(m, 0) == ccc.get(cp, 0):
                        target.append((cp, m))
    tests = [
        "// Generated by scripts/unicode_tables.py; do not edit.",
        array("kUpperFrom", "char32_t", [a for a, _ in upper]),
        array("kUpperTo", "char32_t", [b for _, b in upper]),
        array("kLowerFrom", "char32_t", [a for a, _ in lower]),
        array("kLowerTo", "char32_t", [b for _, b in lower]),
        "",
    ]
    write_if_changed(os.path.join(out, "unicode_case_mappings.inc"), "\n".join(tests))

    with bz2.open(os.path.join(ucd, "NormalizationTest.txt.bz2"), "rb") as src:
        data = src.read()
    write_if_changed(os.path.join(out, "NormalizationTest.txt"), data.decode("utf-8"))
    for name in ("WordBreakTest.txt", "WordBreakProperty.txt"):
        shutil.copyfile(os.path.join(ucd, "auxiliary", name), os.path.join(out, name))


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
