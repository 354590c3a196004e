#!/usr/bin/env python3
"""One term per concept in each dictionary: checks ui/i18n/<code>.json against
ui/i18n/glossary/<code>.json.

  i18n_glossary.py            every language of the page (each needs a glossary)
  i18n_glossary.py es pt      only these

A glossary lists the domain's concepts, each with its English words (`en`),
the language's one term (`term`, accepted `forms`) and the language's other
words for it (`variants`). A translation of a key that names a concept must
not use one of that concept's variants, so "pruebas" for evidence or
"Konfidenz" beside "Gewissheit" fails here instead of confusing a reader.
A variant that is a form of another concept named in the same key is fine
("pruebas" in a key that also says "tests").

Matching: English words case-insensitively as whole words with simple plurals
("key" matches "keys", "identity" "identities"); where a longer phrase of one
concept covers a shorter one ("endorsement key" and "key"), only the longer
counts. Variants case-insensitively at the start of a word (so a stem catches
its endings: "признак" finds "признаков"), in Chinese as substrings.

Exit 1 on a variant found, a language without a glossary, or a glossary that
is not valid (duplicate ids, no term, a variant that is also a form, a shared
concept missing).
"""
import json
import pathlib
import re
import sys
import unicodedata

import i18n_check

ROOT = pathlib.Path(__file__).resolve().parent.parent
I18N = ROOT / "ui" / "i18n"
GLOSSARIES = I18N / "glossary"

# The concepts every language's glossary has, so the languages stay comparable.
SHARED = [
    "trust", "confidence", "evidence", "test", "check", "guest", "host", "client", "server",
    "key", "endorsement-key", "attestation-key", "quote", "pcr-bank",
    "certificate-subject", "certificate-issuer", "firmware", "raw-report", "safe-report", "identifier",
    "secure-boot", "microsoft-account",
    "driver-class-inbox", "driver-class-whql", "driver-class-attestation",
    "driver-class-third-party-authenticode", "driver-class-unsigned",
    "cluster-anchor", "cluster-mainboard", "cluster-storage", "cluster-network", "cluster-gpu",
    "cluster-firmware", "cluster-cpu", "cluster-os", "cluster-memory",
]

# Languages written without spaces between words: a variant counts anywhere.
UNSPACED = ("zh", "ja", "ko")

PLURAL_SUFFIX = re.compile(r"#(zero|one|two|few|many|other)$")


def norm(s):
    return unicodedata.normalize("NFC", s).casefold()


def english_pattern(phrase):
    """A whole-word pattern of an English phrase and its simple plurals."""
    words = phrase.strip().split()
    last = words[-1]
    ends = [re.escape(last), re.escape(last) + "s", re.escape(last) + "es"]
    if re.search(r"[^aeiou]y$", last, re.I):
        ends.append(re.escape(last[:-1]) + "ies")
    head = r"\s+".join(re.escape(w) for w in words[:-1])
    body = (head + r"\s+" if head else "") + "(?:" + "|".join(ends) + ")"
    return re.compile(r"(?<!\w)" + body + r"(?!\w)", re.I)


def variant_pattern(code, variant):
    v = re.escape(norm(variant))
    if code.split("-")[0] in UNSPACED:
        return re.compile(v)
    return re.compile(r"(?<!\w)" + v)


def concepts_in(key, concepts):
    """The ids of the concepts a key names, the longer phrase winning where
    two of them overlap."""
    found = []
    for c in concepts:
        for phrase in c.get("en", []):
            for m in english_pattern(phrase).finditer(key):
                found.append((m.end() - m.start(), m.start(), m.end(), c["id"]))
    taken, ids = [], []
    for _, start, end, cid in sorted(found, key=lambda f: (-f[0], f[1])):
        if any(start < e and s < end for s, e in taken):
            continue
        taken.append((start, end))
        if cid not in ids:
            ids.append(cid)
    return ids


def forms_of(concept):
    return concept.get("forms") or [concept.get("term", "")]


def variants_in(code, key, text, concepts):
    """(concept id, variant) for each concept the key names whose variant
    its translation uses."""
    by_id = {c["id"]: c for c in concepts}
    named = concepts_in(key, concepts)
    # Terms that stay as written (paths, identifiers, names) are no word of
    # the language, whatever letters they hold.
    for kept in sorted(set(i18n_check.kept_terms(key)), key=len, reverse=True):
        text = text.replace(kept, " ")
    t = norm(text)
    hits = []
    for cid in named:
        hits += [(cid, v) for v in first_variant(code, cid, t, named, by_id)]
    return hits


def first_variant(code, cid, t, named, by_id):
    """The first of a concept's variants in a normalized text, as a list of
    none or one: one report per concept and key is enough to act on."""
    for variant in by_id[cid].get("variants", []):
        for m in variant_pattern(code, variant).finditer(t):
            word = re.match(r"\w*", t[m.start():]).group(0)
            # The word may be another named concept's own term ("pruebas"
            # for tests beside "evidencias").
            if any(norm(f) in (norm(variant), word) for other in named if other != cid
                   for f in forms_of(by_id[other])):
                continue
            return [variant]
    return []


def validate(code, data):
    """The errors of one glossary file, as texts."""
    if not isinstance(data, dict) or not isinstance(data.get("concepts"), list):
        return ["expected an object with a list \"concepts\""]
    errors = []
    if data.get("language") != code:
        errors.append("\"language\" is %r, the file name says %r" % (data.get("language"), code))
    seen = set()
    for c in data["concepts"]:
        cid = c.get("id") if isinstance(c, dict) else None
        if not cid:
            errors.append("a concept without an id")
            continue
        if cid in seen:
            errors.append("%s: id appears twice" % cid)
        seen.add(cid)
        if not c.get("term") or not isinstance(c["term"], str):
            errors.append("%s: no term" % cid)
        if not c.get("en") or not all(isinstance(e, str) and e.strip() for e in c["en"]):
            errors.append("%s: no English words" % cid)
        forms = forms_of(c)
        if c.get("forms") and c.get("term") not in forms:
            errors.append("%s: the term %r is not among its forms" % (cid, c.get("term")))
        for v in c.get("variants", []):
            if not isinstance(v, str) or not v.strip():
                errors.append("%s: an empty variant" % cid)
            elif any(norm(v) == norm(f) for f in forms):
                errors.append("%s: variant %r is also a form of the term" % (cid, v))
    for cid in SHARED:
        if cid not in seen:
            errors.append("%s: shared concept missing" % cid)
    return errors


def check_language(code, glossary, dictionary):
    """The failures of one language as texts: language, key, concept, variant."""
    concepts = glossary["concepts"]
    out = []
    for entry, text in dictionary.items():
        key = PLURAL_SUFFIX.sub("", entry)
        for cid, variant in variants_in(code, key, text, concepts):
            out.append("%s: %s -> %s: %s uses variant %r" % (
                code, json.dumps(entry, ensure_ascii=False), json.dumps(text, ensure_ascii=False), cid, variant))
    return out


def main(argv):
    files = {p.stem: p for p in sorted(GLOSSARIES.glob("*.json"))}
    # Every language of the page has a glossary; a stray file is checked too.
    langs = argv or i18n_check.LANGS + sorted(set(files) - set(i18n_check.LANGS))
    status = 0
    for code in langs:
        if code not in files:
            print("%s: no glossary (%s/%s.json)" % (code, GLOSSARIES.name, code))
            status = 1
            continue
        try:
            glossary = json.loads(files[code].read_text(encoding="utf-8"))
        except (ValueError, UnicodeDecodeError) as e:
            print("%s: glossary not readable JSON: %s" % (code, e))
            status = 1
            continue
        errors = ["%s: glossary: %s" % (code, e) for e in validate(code, glossary)]
        if not errors:
            dictionary = json.loads((I18N / (code + ".json")).read_text(encoding="utf-8"))
            errors = check_language(code, glossary, dictionary)
        for e in errors:
            print(e)
        print("%s: %d concepts, %d failures" % (code, len(glossary.get("concepts", [])), len(errors)))
        status = status or int(bool(errors))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
