#!/usr/bin/env python3
"""Checks the page's dictionaries, ui/i18n/<code>.json, against the key list.

  i18n_check.py            every language
  i18n_check.py de fr      only these

Errors (exit 1): a file that is not one object of texts; an empty
translation; a placeholder of the key ({n1}, {x1}, {t1}, {p1}, ...) missing,
repeated or added; a tag ("[ok] ", ...) or a term that stays as it is
(identifiers, table ids, units, product and interface names) changed or
dropped; a sequence that could end the page's script.
Reported without failing: keys the list no longer has, and, while
REQUIRE_FULL_COVERAGE is False, keys the language still lacks.

A count text may have a form per plural category of the language as an entry
"<key>#<category>" (the page picks it with Intl.PluralRules); ui/i18n/en.json
holds only such forms, the English singulars.
"""
import json
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
I18N = ROOT / "ui" / "i18n"
KEYS_FILE = I18N / "source" / "keys.json"
LANGS = ["ru", "vi", "zh-Hans", "zh-Hant", "es", "pt", "fr", "de"]

# Once every dictionary is complete, set this to True: from then on a key
# without a translation in any language fails this check, and the browser
# tests (tests/page/translations.test.js) run every language instead of
# skipping the incomplete ones.
REQUIRE_FULL_COVERAGE = True

# The plural categories of each language as Intl.PluralRules names them (a
# page test compares them with the browser's).
PLURAL_CATEGORIES = {
    "en": ["one", "other"], "ru": ["one", "few", "many", "other"], "vi": ["other"], "zh-Hans": ["other"],
    "zh-Hant": ["other"], "es": ["one", "many", "other"], "pt": ["one", "many", "other"],
    "fr": ["one", "many", "other"], "de": ["one", "other"],
}

# Unit symbols of the glossary that a language writes its own way; a
# translation may use that form instead ("мс" for "ms").
UNIT_FORMS = {
    "ms": {"ru": "мс", "zh-Hans": "毫秒", "zh-Hant": "毫秒"},
    "KB": {"ru": "КБ", "fr": "Ko"},
    "MB": {"ru": "МБ", "fr": "Mo"},
    "GB": {"ru": "ГБ", "fr": "Go"},
}

PLACEHOLDER = re.compile(r"\{[ntxp]\d+\}")
TAG = re.compile(r"\[(ok|warn|bad|info)\] ")
# Terms that stay exactly as written wherever a key has them (whole words); the
# page test of untranslated texts reads the same list.
GLOSSARY = json.loads((I18N / "source" / "glossary.json").read_text(encoding="utf-8"))
# Table ids, fact and signal keys, API and member names: words with a dot,
# underscore or "::" inside, or a function call.
IDENTIFIER = re.compile(r"(?<![\w.])(?:[A-Za-z][\w-]*(?:[._]|::)[\w.:-]*\w|[A-Za-z_]\w*\(\))")
# Registry paths, namespaces and file paths: any word with a backslash.
PATH = re.compile(r"[^\s(),;]*\\[^\s(),;]*")
SCRIPT_END = re.compile(r"</|<!--|<script|\]\]>", re.I)


def load_keys():
    return [e["key"] for e in json.loads(KEYS_FILE.read_text(encoding="utf-8"))]


def kept_terms(key):
    """The glossary terms and identifiers a key holds, each as often as it holds it."""
    terms = []
    for g in GLOSSARY:
        terms += [g] * len(re.findall(r"(?<![\w-])" + re.escape(g) + r"(?![\w-])", key))
    terms += [m.group(0).rstrip(".:") for m in PATH.finditer(key)]
    terms += [m.group(0) for m in IDENTIFIER.finditer(key)
              if not re.fullmatch(r"[\d.]+\w*|([A-Za-z]\.)+[A-Za-z]", m.group(0))]  # "e.g", "o.e.m"
    return terms


def check_entry(key, text, code=None):
    """The errors of one translation into language code, as texts."""
    errors = []
    if not isinstance(text, str) or not text.strip():
        return ["empty translation"]
    for ph in sorted(set(PLACEHOLDER.findall(key) + PLACEHOLDER.findall(text))):
        want, got = key.count(ph), text.count(ph)
        if got != want:
            errors.append("placeholder %s appears %d times (the key has it %d times)" % (ph, got, want))
    if TAG.findall(key) != TAG.findall(text) or (TAG.match(key) is not None) != (TAG.match(text) is not None):
        errors.append("tags differ from the key's")
    for term in sorted(set(kept_terms(key))):
        need = kept_terms(key).count(term)
        own = UNIT_FORMS.get(term, {}).get(code)
        if text.count(term) + (text.count(own) if own else 0) < need:
            hint = " (a doubled backslash?)" if "\\" in term and term.replace("\\", "\\\\") in text else ""
            errors.append("%r must stay as it is%s" % (term, hint))
    if SCRIPT_END.search(text):
        errors.append("contains a sequence that could end the page's script")
    return errors


def count_form_key(entry, code, known):
    """The key of a count form "<key>#<category>" of the language, else None."""
    key, sep, category = entry.rpartition("#")
    return key if sep and key in known and category in PLURAL_CATEGORIES.get(code, []) else None


def check_language(code, keys):
    """(errors, missing keys, unknown keys) of one language; a missing file
    counts as an empty dictionary. English has only count forms."""
    path = I18N / (code + ".json")
    if not path.exists():
        return [], [] if code == "en" else list(keys), []
    try:
        data = json.loads(path.read_text(encoding="utf-8"))
    except (ValueError, UnicodeDecodeError) as e:
        return ["%s: not readable JSON: %s" % (path.name, e)], [], []
    if not isinstance(data, dict):
        return ["%s: expected one object of texts" % path.name], [], []
    errors = []
    known = set(keys)
    for k, v in data.items():
        key = count_form_key(k, code, known) or k
        for e in check_entry(key, v, code):
            errors.append("%s: %s -> %s: %s" % (code, json.dumps(k, ensure_ascii=False)[:90],
                                                 json.dumps(v, ensure_ascii=False)[:90], e))
    if code == "en":
        return errors, [], [k for k in data if not count_form_key(k, code, known)]
    missing = [k for k in keys if k not in data]
    unknown = [k for k in data if k not in known and not count_form_key(k, code, known)]
    return errors, missing, unknown


def main(argv):
    langs = argv or LANGS + ["en"]
    bad = [c for c in langs if c not in LANGS + ["en"]]
    if bad:
        print("unknown language code(s) %s; the page has %s" % (bad, " ".join(LANGS)))
        return 2
    keys = load_keys()
    status = 0
    for code in langs:
        errors, missing, unknown = check_language(code, keys)
        for e in errors:
            print(e)
        if code == "en":
            for k in unknown:
                print("en: %s is no count form of a key (English has only the \"#one\" forms)" % json.dumps(k, ensure_ascii=False))
            print("en: %d errors, %d entries that are no count form" % (len(errors), len(unknown)))
            status = status or int(bool(errors or unknown))
            continue
        done = len(keys) - len(missing)
        print("%s: %d of %d keys translated, %d errors, %d keys no longer used%s" % (
            code, done, len(keys), len(errors), len(unknown),
            "" if not missing else " (scripts/i18n_missing.py %s lists the others)" % code))
        if errors or (REQUIRE_FULL_COVERAGE and missing):
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
