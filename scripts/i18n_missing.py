#!/usr/bin/env python3
"""Lists the keys a language still lacks, with where each text appears, as a
JSON object ready to be filled in: key -> "" (the context follows as
"// where" lines on standard error, so the output stays valid JSON).

  i18n_missing.py de            the missing keys of ui/i18n/de.json
  i18n_missing.py de --count    only how many are missing
  i18n_missing.py de --where page:   only keys whose places include this text
                                     ("page:", "program: vm/", "report: column")
"""
import json
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import i18n_check  # noqa: E402


def main(argv):
    if not argv or argv[0] not in i18n_check.LANGS:
        print("usage: i18n_missing.py <%s> [--count]" % "|".join(i18n_check.LANGS), file=sys.stderr)
        return 2
    entries = json.loads(i18n_check.KEYS_FILE.read_text(encoding="utf-8"))
    _, missing, unknown = i18n_check.check_language(argv[0], [e["key"] for e in entries])
    if "--count" in argv:
        print("%d missing, %d no longer used" % (len(missing), len(unknown)))
        return 0
    where = {e["key"]: e.get("where", []) for e in entries}
    if "--where" in argv and argv.index("--where") + 1 < len(argv):
        part = argv[argv.index("--where") + 1]
        missing = [k for k in missing if any(part in w for w in where[k])]
    out = {k: "" for k in missing}
    print(json.dumps(out, ensure_ascii=False, indent=1))
    for k in missing:
        print("// %s  <-  %s" % (json.dumps(k, ensure_ascii=False)[:100], "; ".join(where[k][:2])), file=sys.stderr)
    if unknown:
        print("// no longer used (remove them): %s" % json.dumps(unknown, ensure_ascii=False), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
