#!/usr/bin/env python3
"""Gathers the English texts the page shows and the program writes into
reports, so that every one of them can be translated.

Sources:
- the page: data-i18n attributes of ui/index.html, the texts the scripts pass
  to tx()/tf()/tn() and the label lists the scripts translate through a variable;
- the program: string literals of the C++ sources that read as text (titles,
  columns, statuses, notes, verdicts, check, probe and score texts), and
  printf-style formats, which become templates with numbered placeholders;
- reports the program wrote (--report FILE, e.g. a raw report written under
  Wine): the label fields of the report (see report_texts());
- the page run (--asked FILE): the labels the page asked the translation
  functions for while it showed every view with the program's reports; the
  page test tests/page/untranslated.test.js writes them.

A text that one of the templates matches needs no key of its own.

  i18n_keys.py --write [--report FILE...] [--asked FILE]
                                            rewrite the key list (defaults:
                                            the end-to-end run's report and
                                            the page run's labels)
  i18n_keys.py --check [--report FILE...]   exit 1 when a gathered text has
                                            neither a key nor a template

The key list (ui/i18n/source/keys.json) is what translators work from: every
key with where it appears. Templates live in ui/i18n/templates.json (the page
tries them in that order); they are keys too.
"""
import argparse
import json
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
UI = ROOT / "ui"
KEYS_FILE = UI / "i18n" / "source" / "keys.json"
TEMPLATES_FILE = UI / "i18n" / "templates.json"
# Texts that look like labels but are data or names that stay as they are, and
# keys kept by hand (texts made at run time that no source shows whole).
EXTRA_FILE = UI / "i18n" / "source" / "extra.json"
# The raw report the end-to-end tests write under Wine.
DEFAULT_REPORT = ROOT / "build" / "win" / "e2e" / "scan-raw.json"
# The labels the page asked for in its test run (tests/page/untranslated.test.js).
DEFAULT_ASKED = ROOT / "build" / "page-test" / "asked.json"

CPP_DIRS = ["collectors", "vm", "assessment", "core", "window", "app"]
# Sources whose literals are matcher lists, protocol words or console output,
# not report texts.
CPP_SKIP = {
    "vm/signatures.cpp", "core/cli.cpp", "core/cli_win.cpp", "core/json.cpp", "core/sites.h",
    "core/masked_values.cpp",
}
TAGS = ("[ok] ", "[warn] ", "[bad] ", "[info] ")
PLACEHOLDER = re.compile(r"\{([ntxp])(\d+)\}")


# ---------------------------------------------------------------- templates

def compile_template(t):
    """The page's matching rule: anchored, {n} takes digits, points and
    commas with a sign and an exponent, {p} a number and its "%", {x} and {t}
    the shortest text."""
    out, last = "^", 0
    for m in PLACEHOLDER.finditer(t):
        out += re.escape(t[last:m.start()])
        kind = m.group(1)
        out += r"(-?[\d.,]+(?:e[-+]?\d+)?)" if kind == "n" else r"(-?\d+(?:\.\d+)?)%" if kind == "p" else "(.+?)"
        last = m.end()
    return re.compile(out + re.escape(t[last:]) + "$", re.S)


class Templates:
    def __init__(self, templates):
        self.list = list(templates)
        self.compiled = [(t, compile_template(t)) for t in self.list]

    def match(self, text):
        for t, rx in self.compiled:
            if rx.match(text):
                return t
        return None


def format_to_template(fmt):
    """A printf format as a template, or None when it has no conversion or
    nothing but placeholders and punctuation would be left to translate."""
    for tag in TAGS:  # the page translates the text after a tag
        if fmt.startswith(tag):
            fmt = fmt[len(tag):]
    parts, n, last = [], 0, 0
    conv = re.compile(r"%[-+ #0]*(\d+|\*)?(\.(\d+|\*))?(hh|h|ll|l|j|z|t|L|I64|I32)?([diouxXeEfgGcsp%])")
    found = False
    percent = False
    for m in conv.finditer(fmt):
        parts.append(fmt[last:m.start()])
        last = m.end()
        kind = m.group(5)
        if kind == "%":
            if not percent:
                parts.append("%")
            percent = False
            continue
        found = True
        n += 1
        # a number followed by "%%" is a percentage: the page writes the sign
        percent = kind in "diufeEgG" and fmt.startswith("%%", m.end())
        if percent:
            parts.append("{p%d}" % n)
        elif kind in "diufeEgG":
            parts.append("{n%d}" % n)
        else:
            parts.append("{x%d}" % n)
    parts.append(fmt[last:])
    if not found:
        return None
    t = "".join(parts)
    if not re.search(r"[A-Za-z]{3}", PLACEHOLDER.sub("", t)) or re.match(r"[\s,;:.)]", t):
        return None  # nothing to translate, or the tail of a longer text
    return t


# ---------------------------------------------------------------- the page

def _js_literals(code):
    """(text, offset) of each quoted JS string literal without substitutions."""
    out = []
    i, n = 0, len(code)
    while i < n:
        c = code[i]
        if c == "/" and code.startswith("//", i):
            j = code.find("\n", i)
            i = n if j < 0 else j
            continue
        if c == "/" and code.startswith("/*", i):
            j = code.find("*/", i + 2)
            i = n if j < 0 else j + 2
            continue
        if c == "/" and re.search(r"(^|[(,=:\[!&|?{};+])\s*$", code[max(0, i - 40):i]):
            # a regular expression literal: skip it, quotes inside are no strings
            j, in_class = i + 1, False
            while j < n and code[j] != "\n":
                if code[j] == "\\":
                    j += 2
                    continue
                if code[j] == "[":
                    in_class = True
                elif code[j] == "]":
                    in_class = False
                elif code[j] == "/" and not in_class:
                    break
                j += 1
            i = j + 1
            continue
        if c in "'\"`":
            j, buf = i + 1, []
            while j < n and code[j] != c:
                if code[j] == "\\" and j + 1 < n:
                    esc = code[j + 1]
                    if esc == "u" and code[j + 2:j + 6].isalnum():
                        buf.append(chr(int(code[j + 2:j + 6], 16)))
                        j += 6
                        continue
                    buf.append({"n": "\n", "t": "\t"}.get(esc, esc))
                    j += 2
                    continue
                buf.append(code[j])
                j += 1
            text = "".join(buf)
            if not (c == "`" and "${" in text):
                out.append((text, i))
            i = j + 1
            continue
        i += 1
    return out


def _call_spans(code, name):
    """(start, end) of the argument text of each call name(...)."""
    spans = []
    for m in re.finditer(r"(?<![\w.])" + name + r"\(", code):
        depth, j, quote = 1, m.end(), None
        while j < len(code) and depth:
            ch = code[j]
            if quote:
                if ch == "\\":
                    j += 1
                elif ch == quote:
                    quote = None
            elif ch in "'\"`":
                quote = ch
            elif ch == "(":
                depth += 1
            elif ch == ")":
                depth -= 1
            j += 1
        spans.append((m.end(), j - 1))
    return spans


def reads_as_label(s):
    """A page literal that a person reads: starts with a capital letter (or is
    an ellipsis sentence) and is no selector, markup, class or message word."""
    if len(s) < 2 or not re.match(r"[A-Z]", s) or not re.search(r"[a-z]", s):
        return False
    if re.match(r"M[\d.]+[ ,]", s) or s.startswith("data-"):
        return False
    if re.search(r"[<>=#]|^\w+:$|\$\{", s) or re.fullmatch(r"[A-Z][A-Za-z0-9]*[A-Z][A-Za-z0-9]*", s):
        return False
    return True


# Lists and tables whose entries the scripts translate through a variable.
JS_LABEL_LISTS = ("BY_DESIGN", "TABS", "TAB_INTRO", "VM_STATUSES", "SCOPES", "GROUPS", "SIMULATIONS", "DIFF_HEADER")


def _split_args(code, a, b):
    """(start, end) of each top-level argument between offsets a and b."""
    out, depth, quote, start, j = [], 0, None, a, a
    while j < b:
        ch = code[j]
        if quote:
            if ch == "\\":
                j += 1
            elif ch == quote:
                quote = None
        elif ch in "'\"`":
            quote = ch
        elif ch in "([{":
            depth += 1
        elif ch in ")]}":
            depth -= 1
        elif ch == "," and depth == 0:
            out.append((start, j))
            start = j + 1
        j += 1
    out.append((start, b))
    return out


def shown_through_tx(param, body):
    """Whether a function body shows a parameter as a key: tx(label) or the
    count text tn(n, label)."""
    return re.search(r"\b(?:tx\(|tn\([^,()]+,)\s*" + re.escape(param) + r"\b(?!\s*[.\[(])", body) is not None


def label_parameters(sources):
    """{function name: {argument index}} of the parameters a function shows
    through tx(): card(tx(title), ...), stat(value, label) with tn(value, label)."""
    found = {}
    for code in sources:
        for m in re.finditer(r"\bfunction\s+(\w+)\s*\(([^)]*)\)\s*\{", code):
            params = [p.strip().split("=")[0].strip() for p in m.group(2).split(",")]
            depth, j = 1, m.end()
            while j < len(code) and depth:
                depth += {"{": 1, "}": -1}.get(code[j], 0)
                j += 1
            body = code[m.end():j]
            for i, p in enumerate(params):
                if p and shown_through_tx(p, body):
                    found.setdefault(m.group(1), set()).add(i)
        # const stat = (n, label) => ... esc(tx(label)) ...;  (to the end of the statement)
        for m in re.finditer(r"\bconst\s+(\w+)\s*=\s*\(([^)]*)\)\s*=>", code):
            params = [p.strip() for p in m.group(2).split(",")]
            end = code.find(";\n", m.end())
            body = code[m.end():end if end > 0 else len(code)]
            for i, p in enumerate(params):
                if p and shown_through_tx(p, body):
                    found.setdefault(m.group(1), set()).add(i)
    return found


def page_texts():
    """{text: [where, ...]} of the page's own labels."""
    found = {}

    def add(text, where):
        text = text.strip() if text.strip() == text else text
        if text and re.search(r"[A-Za-z]", text):
            found.setdefault(text, []).append(where)

    js_files = [f for f in sorted((UI / "js").glob("*.js")) if f.name != "i18n.js"]
    params = label_parameters([f.read_text(encoding="utf-8") for f in js_files])
    html = (UI / "index.html").read_text(encoding="utf-8")
    for m in re.finditer(r'data-i18n(?:-ph|-title)?="([^"]*)"', html):
        add(m.group(1), "page: ui/index.html:%d" % (html.count("\n", 0, m.start()) + 1))
    for f in js_files:  # not i18n.js: the engine, whose language names stay in their own language
        code = f.read_text(encoding="utf-8")
        rel = f.relative_to(ROOT).as_posix()
        line = lambda off: code.count("\n", 0, off) + 1  # noqa: E731
        lits = _js_literals(code)
        taken = set()
        for name in ("tx", "tf", "tn"):
            for a, b in _call_spans(code, name):
                for text, off in lits:
                    if a <= off < b:
                        # tx(x === 'Weight' ? ...) compares, it does not show
                        before = code[max(a, off - 5):off]
                        if re.search(r"[=!]==?\s*$", before):
                            continue
                        if name == "tf" and off != a:
                            continue
                        add(text, "page: %s:%d" % (rel, line(off)))
                        taken.add(off)
        for name, indexes in params.items():
            for a, b in _call_spans(code, name):
                args = _split_args(code, a, b)
                for i in indexes:
                    if i >= len(args):
                        continue
                    for text, off in lits:
                        if args[i][0] <= off < args[i][1] and off not in taken and re.search(r"[A-Za-z]{2}", text) \
                                and not re.search(r"[<>=#{}]", text):
                            add(text, "page: %s:%d" % (rel, line(off)))
                            taken.add(off)
        for m in re.finditer(r"\b(?:const|let)\s+(\w+)\s*=\s*[\[{]", code):
            if m.group(1) not in JS_LABEL_LISTS and not m.group(1).islower():
                continue
            # the literal list ends at the matching bracket
            opening = code[m.end() - 1]
            closing = "]" if opening == "[" else "}"
            depth, j = 1, m.end()
            while j < len(code) and depth:
                depth += {opening: 1, closing: -1}.get(code[j], 0)
                j += 1
            if opening == "{" and m.group(1) not in JS_LABEL_LISTS:
                continue
            if m.group(1).islower():  # a local list such as `how` or `rows`
                items = [t for t, off in lits if m.end() <= off < j]
                if not items or not all(reads_as_label(t) for t in items[:1]):
                    continue
            for text, off in lits:
                if m.end() <= off < j and off not in taken and reads_as_label(text):
                    add(text, "page: %s:%d" % (rel, line(off)))
                    taken.add(off)
        # label:/title:/name: members of object literals, the first entries
        # of [label, value] rows and the labels that follow them
        prev_taken = False
        for text, off in lits:
            if off in taken:
                prev_taken = True
                continue
            before = code[max(0, off - 12):off]
            take = re.search(r"\b(label|title|name|section|desc|text)\s*:\s*$", before) or \
                re.search(r"\[\s*'[\w-]+',\s*$", code[max(0, off - 40):off]) or \
                re.search(r"\[\[?\s*$", before) or (prev_taken and re.search(r"['\"],\s*$", before))
            prev_taken = False
            if take and reads_as_label(text):
                add(text, "page: %s:%d" % (rel, line(off)))
                taken.add(off)
                prev_taken = True
    return found


# ---------------------------------------------------------------- C++ sources

def _cpp_literals(code):
    """(text, line, offset) of each string literal, adjacent literals joined. Raw
    strings, character literals and comments are skipped."""
    out = []
    i, n = 0, len(code)
    pending, pending_line, pending_off, last_end = None, 0, 0, -1
    while i < n:
        c = code[i]
        if code.startswith("//", i):
            j = code.find("\n", i)
            i = n if j < 0 else j
            continue
        if code.startswith("/*", i):
            j = code.find("*/", i + 2)
            i = n if j < 0 else j + 2
            continue
        if c == "'":
            j = i + 1
            while j < n and code[j] != "'":
                j += 2 if code[j] == "\\" else 1
            i = j + 1
            continue
        if c == "R" and code.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', code[i:])
            if m:
                end = code.find(")" + m.group(1) + '"', i)
                i = n if end < 0 else end + len(m.group(1)) + 2
                continue
        if c == '"':
            prefix = code[max(0, i - 2):i]
            j, buf = i + 1, []
            while j < n and code[j] != '"':
                if code[j] == "\\" and j + 1 < n:
                    esc = code[j + 1]
                    if esc == "x":
                        m = re.match(r"[0-9A-Fa-f]+", code[j + 2:])
                        buf.append(chr(int(m.group(0), 16)) if m else "x")
                        j += 2 + (len(m.group(0)) if m else 0)
                        continue
                    buf.append({"n": "\n", "t": "\t", "r": "\r", "0": "\0"}.get(esc, esc))
                    j += 2
                    continue
                buf.append(code[j])
                j += 1
            text = "".join(buf)
            wide = prefix.endswith("L") and not prefix[0:1].isalnum() or prefix == "u8"
            between = code[last_end:i] if last_end >= 0 else "x"
            if pending is not None and between.strip() == "":
                pending += text
            else:
                if pending is not None:
                    out.append((pending, pending_line, pending_off))
                pending, pending_line, pending_off = (None if wide else text), code.count("\n", 0, i) + 1, i
            last_end = j + 1
            i = j + 1
            continue
        i += 1
    if pending is not None:
        out.append((pending, pending_line, pending_off))
    return out


def reads_as_report_text(s):
    """A C++ literal that a report shows to a person: text with words, not a
    key, path, query, identifier, value list or format of raw numbers."""
    body = s
    for tag in TAGS:
        if body.startswith(tag):
            body = body[len(tag):]
    if len(body) < 2 or not re.search(r"[A-Za-z]{2}", body):
        return False
    if "\\" in s and (" " not in body or not re.match(r"[A-Z]", body) or body.startswith("HK")) or "\0" in s or "\n" in s or body != body.strip():
        return False
    if re.match(r"[:;,.)'\"-]", body) or body.endswith("'") or re.search(r"[&|]{2}|\('|\(\"|\);", body):
        return False
    if re.fullmatch(r"[a-z0-9_.]+(,[a-z0-9_.]+)+", body) or body.count('"') % 2 or body.count("(") != body.count(")") or re.search(r"[{}]|\":", body):
        return False
    if re.match(r"(SELECT|ROOT|root|HKLM|HKCU|SYSTEM|SOFTWARE|http|\.|/|%[^ ])", body):
        return False
    if re.fullmatch(r"[a-z0-9_.:\-/]+", body):  # keys, ids, file names
        return body in ("yes", "no", "ok", "none", "unknown", "present", "absent", "enabled",
                        "disabled", "on", "off", "error", "state", "failed", "n/a",
                        "per-unit", "per-model", "per-install", "per-boot") or " " in body
    if re.fullmatch(r"[A-Za-z0-9_]+[._:][\w.:]+(\(\))?", body):  # API and member names
        return False
    if re.fullmatch(r"\w+\(.*\)?", body):  # Function(Argument), register names
        return False
    if re.fullmatch(r"[A-Za-z0-9_]+", body) and not re.match(r"[A-Z]?[a-z]+$", body):
        # CamelCase API names, upper-case constants and mixed tokens stay out
        return False
    if re.fullmatch(r"[A-Z0-9_]+(\s[A-Z0-9_]+)*", body) and " " not in body:
        return False
    if re.search(r"\.(exe|dll|sys|json|cat|inf|cdp)\b", body, re.I) and " " not in body:
        return False
    return True


def source_texts():
    """({text: [where]}, {template: [where]}) from the C++ sources."""
    texts, templates = {}, {}
    for d in CPP_DIRS:
        for f in sorted((ROOT / d).rglob("*")):
            if f.suffix not in (".cpp", ".h"):
                continue
            rel = f.relative_to(ROOT).as_posix()
            if rel in CPP_SKIP:
                continue
            code = f.read_text(encoding="utf-8", errors="replace")
            for text, line, off in _cpp_literals(code):
                where = "program: %s:%d" % (rel, line)
                if re.search(r"\b(Format|printf|snprintf)\(\s*$", code[max(0, off - 40):off]):
                    t = format_to_template(text)
                    if t and needs_key(t) and reads_as_report_text(PLACEHOLDER.sub("X", t)):
                        templates.setdefault(t, []).append(where)
                    continue
                if "{" in text and "}" in text:  # std::format-like or JSON
                    continue
                body = text
                for tag in TAGS:
                    if body.startswith(tag):
                        body = body[len(tag):]
                if body.startswith(" ") and re.match(r" [A-Z]", body) and body.rstrip().endswith(".") \
                        and reads_as_report_text(body.strip()):
                    # " Needs administrator rights.": a sentence appended to a note
                    texts.setdefault(body.strip(), []).append(where)
                    continue
                if body.endswith(" - ") and reads_as_report_text(body[:-3]):
                    # "Interface GUID - " + name: the page translates the head
                    texts.setdefault(body[:-3], []).append(where)
                    continue
                if re.fullmatch(r"[A-Za-z][\w ./()-]*[A-Za-z)]: ", body) and reads_as_report_text(body[:-2]):
                    # "Query failed: " + error: the head with its value
                    templates.setdefault(body + "{x1}", []).append(where)
                    continue
                if reads_as_report_text(text):
                    for tag in TAGS:
                        if text.startswith(tag):
                            text = text[len(tag):]
                    texts.setdefault(text, []).append(where)
    return texts, templates


# ---------------------------------------------------------------- reports

def _split_tag(v):
    for tag in TAGS:
        if v.startswith(tag):
            return v[len(tag):]
    return None


def program_columns():
    """The titles of the columns the collectors declare as the program's own
    text (`{"Title", Role::Program}`) wherever they declare them: their cells
    are labels, not data. A title that another table declares for data is no
    label column."""
    program, data = set(), set()
    for d in CPP_DIRS:
        for f in sorted((ROOT / d).rglob("*")):
            if f.suffix in (".cpp", ".h"):
                text = f.read_text(encoding="utf-8", errors="replace")
                for title, role in re.findall(r'\{"([^"]+)", Role::(\w+)\}', text):
                    (program if role == "Program" else data).add(title)
    return program - data


# Columns whose cells are labels (property names, statuses, kinds), not data.
LABEL_COLUMNS = program_columns()


def looks_like_name(v):
    """A registry path, an API, class or member name: data, not a label."""
    return "\\" in v or "::" in v or bool(re.fullmatch(r"[A-Za-z_][\w.]*[a-z][A-Z][\w.]*|[\w-]+/[\w-]+|\w+-\w+", v))


def looks_like_ids(v):
    """An address, an API call or a list of the program's dotted ids: cells of
    columns the program writes that are named, not worded."""
    return bool(re.fullmatch(r"https?://\S+|\w+\(\w+\)|[a-z][a-z0-9]*\.\w+(?:, [a-z][a-z0-9]*\.\w+)*", v))


def needs_key(text):
    """Whether a text has anything to translate: a word of lower-case letters
    or letters beyond ASCII. "CPU", "EAX" or "x2APIC" stay as they are."""
    return bool(re.search(r"[a-z]{2}|[^\x00-\x7f]", PLACEHOLDER.sub("", text)))


def report_texts(report, where_prefix="report"):
    """{text: [where]} of the texts a report shows as labels: titles, columns,
    notes, group rows, tagged cells, cells of label columns, collector names
    and errors, notes, scores with their items, checks, signal names, notes,
    categories and groups, and the device title."""
    found = {}

    def add(text, where):
        if (isinstance(text, str) and text.strip() and needs_key(text) and not looks_like_ids(text)
                and not (" " not in text and looks_like_name(text))):
            found.setdefault(text, []).append(where_prefix + ": " + where)

    if not isinstance(report, dict):
        return found
    dev = report.get("device") or {}
    add(dev.get("title"), "device title")
    for t in report.get("tables") or []:
        tid = t.get("id", "?")
        add(t.get("title"), "table title (%s)" % tid)
        add(t.get("note"), "table note (%s)" % tid)
        cols = t.get("columns") or []
        for c in cols:
            add(c, "column (%s)" % tid)
        g = t.get("groupCol", -1)
        for r in t.get("rows") or []:
            cells = r.get("c", r.get("cells")) if isinstance(r, dict) else r
            mask = (r.get("s", 0) if isinstance(r, dict) else 0) | t.get("sens", 0)
            for i, v in enumerate(cells or []):
                if not isinstance(v, str):
                    continue
                rest = _split_tag(v)
                col = cols[i] if i < len(cols) else ""
                if rest is not None:
                    add(rest, "cell (%s, %s)" % (tid, col))
                elif i == g or (col in LABEL_COLUMNS and not looks_like_name(v)
                                and not (isinstance(mask, int) and i < 32 and mask >> i & 1)):
                    add(v, "cell (%s, %s)" % (tid, col))
    for c in report.get("collectors") or []:
        add(c.get("name"), "collector name")
        add(c.get("error"), "collector error (%s)" % c.get("name"))
    for n in report.get("notes") or []:
        add(n, "note")
    for s in report.get("scores") or []:
        sid = s.get("id", "?")
        add(s.get("title"), "score title (%s)" % sid)
        add(s.get("verdict"), "score verdict (%s)" % sid)
        add(s.get("note"), "score note (%s)" % sid)
        for it in s.get("items") or []:
            add(it.get("label"), "score row (%s)" % sid)
            add(it.get("note"), "score row note (%s)" % sid)
    for c in report.get("checks") or []:
        add(c.get("title"), "check title (%s)" % c.get("id"))
        add(c.get("detail"), "check detail (%s)" % c.get("id"))
        add(c.get("category"), "check category")
    for s in report.get("signals") or []:
        add(s.get("cat"), "identifier category")
        add(s.get("name"), "identifier name (%s)" % s.get("key"))
        add(s.get("note"), "identifier note (%s)" % s.get("key"))
        add(s.get("group"), "identifier group")
    return found


# ---------------------------------------------------------------- key list

def load_templates():
    return json.loads(TEMPLATES_FILE.read_text(encoding="utf-8"))


def load_extra():
    if not EXTRA_FILE.exists():
        return {"keys": [], "ignore": [], "ignore_patterns": []}
    return json.loads(EXTRA_FILE.read_text(encoding="utf-8"))


def ignored():
    """A test: whether a text stays as it is by the extra file's lists."""
    extra = load_extra()
    names = set(extra.get("ignore", []))
    patterns = [re.compile(p) for p in extra.get("ignore_patterns", [])]
    return lambda t: t in names or any(p.search(t) for p in patterns)


def load_keys():
    """{key: [where]} of the committed key list."""
    data = json.loads(KEYS_FILE.read_text(encoding="utf-8"))
    return {e["key"]: e.get("where", []) for e in data}


def asked_texts(asked):
    """{text: [where]} of a page run's list of {key, where} entries."""
    found = {}
    for e in asked if isinstance(asked, list) else []:
        if isinstance(e, dict) and isinstance(e.get("key"), str):
            found.setdefault(e["key"], []).append("page run: %s" % e.get("where", "?"))
    return found


def only_from(where, prefixes):
    return bool(where) and all(x.startswith(prefixes) for x in where)


def gather(reports, asked=None):
    """(keys {text: [where]}, printf templates) from every source. Without a
    report (or a page run), the keys that only a report (or the page run)
    showed are kept from the list."""
    templates = load_templates()
    extra = load_extra()
    is_ignored = ignored()
    texts = {}

    def merge(d):
        for k, w in d.items():
            if not is_ignored(k) and needs_key(k):
                texts.setdefault(k, []).extend(w)

    merge(page_texts())
    src, fmt = source_texts()
    merge(src)
    for r in reports:
        merge(report_texts(r))
    if asked is not None:
        merge(asked_texts(asked))
    for k in extra.get("keys", []):
        texts.setdefault(k, []).append("kept by hand")
    kept = (() if reports else ("report: ",)) + (() if asked is not None else ("page run: ",))
    if kept and KEYS_FILE.exists():
        for k, w in load_keys().items():
            if only_from(w, kept):
                texts.setdefault(k, w)
    tpl = Templates(templates)
    keys = {}
    for t in templates:
        keys[t] = ["template"] + (fmt.get(t, []) + texts.get(t, []))[:3]
    for k, w in texts.items():
        if k in keys:
            continue
        # a text a template covers needs no key of its own, nor one whose
        # head before " - " has one (the page translates the head)
        # a report text the page can translate from other keys and templates
        # needs no key of its own
        if only_from(w, ("report: ", "page run: ")) and covered(k, texts, tpl, exclude=k):
            continue
        keys[k] = w
    return keys, fmt


def write_keys(keys):
    entries = []
    for k in sorted(keys, key=lambda s: (s.lower(), s)):
        where = []
        for w in keys[k]:
            if w not in where:
                where.append(w)
        entries.append({"key": k, "where": where[:4]})
    KEYS_FILE.parent.mkdir(parents=True, exist_ok=True)
    text = json.dumps(entries, ensure_ascii=False, indent=1)
    KEYS_FILE.write_text(text + "\n", encoding="utf-8")


def covered(text, keys, tpl, exclude=None):
    """Whether the page can translate a text: a key, a template, a head
    before " - " with a key, or sentences whose head has a key and whose
    rest is covered in turn (the page's own rules)."""
    def whole(t):
        return (t in keys and t != exclude) or tpl.match(t) is not None
    if whole(text):
        return True
    i = text.find(" - ")
    if i > 0 and whole(text[:i]):
        return True
    splits = [m.end() for m in re.finditer(r"\. (?=[A-Z\d])", text)]
    return any(whole(text[:p - 1]) and covered(text[p:], keys, tpl, exclude) for p in reversed(splits))


def uncovered(texts, keys, templates):
    """The texts that have neither a key nor a matching template."""
    tpl = Templates(templates)
    return sorted(t for t in texts if not covered(t, keys, tpl))


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--write", action="store_true", help="rewrite the key list")
    ap.add_argument("--check", action="store_true", help="fail on a text without key or template")
    ap.add_argument("--report", action="append", default=[], help="a report the program wrote")
    ap.add_argument("--asked", help="the labels a page run asked for (JSON list of {key, where})")
    ap.add_argument("--formats", action="store_true", help="list the printf formats no template covers")
    ap.add_argument("--add-formats", action="store_true",
                    help="append those formats to the templates (except the ignored ones)")
    a = ap.parse_args(argv)
    if not a.report and a.write and DEFAULT_REPORT.exists():
        a.report = [str(DEFAULT_REPORT)]
        print("texts of %s included" % DEFAULT_REPORT.relative_to(ROOT))
    if not a.asked and (a.write or a.check or not (a.formats or a.add_formats)) and DEFAULT_ASKED.exists():
        a.asked = str(DEFAULT_ASKED)
        print("labels of %s included" % DEFAULT_ASKED.relative_to(ROOT))
    reports = [json.loads(pathlib.Path(p).read_bytes().decode("utf-8")) for p in a.report]
    asked = json.loads(pathlib.Path(a.asked).read_text(encoding="utf-8")) if a.asked else None
    if a.add_formats:
        _, fmt = gather([])
        templates = load_templates()
        is_ignored = ignored()
        new = [t for t in sorted(fmt, key=lambda t: (-len(PLACEHOLDER.sub("", t)), t))
               if t not in templates and not is_ignored(t)]
        TEMPLATES_FILE.write_text(json.dumps(templates + new, ensure_ascii=False, indent=2) + "\n", encoding="utf-8")
        print("%d templates added" % len(new))
    if a.write:
        keys, fmt = gather(reports, asked)
        write_keys(keys)
        print("%d keys (%d templates) written to %s" % (len(keys), len(load_templates()), KEYS_FILE.relative_to(ROOT)))
    if a.formats:
        _, fmt = gather(reports)
        known, is_ignored = set(load_templates()), ignored()
        for t, w in sorted(fmt.items()):
            if t not in known and not is_ignored(t):
                print("%s\t%s" % (json.dumps(t, ensure_ascii=False), w[0]))
    if a.check or not (a.write or a.formats or a.add_formats):
        keys = load_keys()
        templates = load_templates()
        texts = dict(page_texts())
        src, _ = source_texts()
        is_ignored = ignored()
        for k, w in src.items():
            texts.setdefault(k, w)
        for r in reports:
            for k, w in report_texts(r).items():
                texts.setdefault(k, w)
        for k, w in asked_texts(asked).items():
            texts.setdefault(k, w)
        missing = [t for t in uncovered(texts, keys, templates) if not is_ignored(t) and needs_key(t)]
        for t in missing:
            print("no key: %s  (%s)" % (json.dumps(t, ensure_ascii=False), texts[t][0]))
        if missing:
            print("%d texts have no key. A text with variable parts needs a template in ui/i18n/templates.json; "
                  "then run scripts/i18n_keys.py --write (it reads build/win/e2e/scan-raw.json when the end-to-end "
                  "tests wrote it). On a rebase conflict in ui/i18n/source/keys.json take either side and run "
                  "--write again." % len(missing))
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
