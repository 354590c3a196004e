#!/usr/bin/env python3
"""Builds the embedded page: ui/index.html with its style sheets, scripts and
dictionaries inlined into one self-contained document.

- <link rel="stylesheet" href="X"> and <script src="X"></script> referring to
  files under ui/ are replaced by their contents.
- ui/i18n/templates.json (a list of English templates) and ui/i18n/<code>.json
  (one object English text -> translation per language) are packed into one
  script at the marker <!--i18n-->: a sorted array of every English key and,
  per language, [key index, translation] pairs.
- At the marker <!--csp--> a Content-Security-Policy is written that allows
  exactly the inlined scripts (by hash), so inline event handlers, injected
  scripts and every remote load stay blocked.
- The page's list of the maker's sites (SITES in the scripts) must hold
  exactly the addresses of core/sites.h, which the host alone will open.
- The page's scripts share one global scope, where a second function of the
  same name silently replaces the first: the build fails when a name is
  declared at top level (or put on window) twice.
The output is deterministic; the build fails above the size limit.
"""
import base64
import hashlib
import json
import pathlib
import re
import sys

# WebView2 takes a page given as a string up to about 2 MB, and some runtimes
# take less; the page with all dictionaries stays well inside that.
LIMIT = 1536 * 1024
SITES_HEADER = pathlib.Path(__file__).resolve().parent.parent / "core" / "sites.h"


def check_sites(html: str) -> str:
    """An error text when the page's site list differs from the host's (a
    page without a list has no site buttons)."""
    m = re.search(r"const SITES = \[(.*?)\];", html, re.S)
    if not m:
        return ""
    page = re.findall(r"url: '([^']*)'", m.group(1))
    header = SITES_HEADER.read_text(encoding="utf-8")
    m = re.search(r"kMakerSites\s*=\s*\{(.*?)\};", header, re.S)
    host = re.findall(r'"([^"]*)"', m.group(1)) if m else []
    if not host or page != host:
        return f"the page's sites {page} differ from the host's {host} ({SITES_HEADER})"
    return ""


# After these words (or a punctuator other than a closing bracket) a slash
# starts a regular expression; after a value it divides.
KEYWORDS_BEFORE_REGEX = {"return", "typeof", "case", "do", "else", "in", "of", "new", "delete", "void",
                         "throw", "instanceof", "yield", "await"}
NAME = re.compile(r"[\w$]+")


def js_tokens(js: str):
    """(kind, text, line, depth, newline_before) for each token of a script:
    kind 'name' (words and numbers), 'value' (a string, template or regular
    expression, text not kept) or 'punct'; depth is the nesting of brackets
    of all kinds (a bracket itself counts as outside), comments are skipped."""
    i, n, line, depth = 0, len(js), 1, 0
    templates = []  # per open bracket: True when it is a template's ${
    prev = None
    newline = True

    def token(kind, text):
        nonlocal prev, newline
        prev = (kind, text, line, depth, newline)
        newline = False
        return prev

    def skip_quoted(i, end):
        """Index after a string or template part begun before i, or of the
        ${ that interrupts a template; also counts its lines."""
        nonlocal line
        while i < n and js[i] != end:
            if end == "`" and js.startswith("${", i):
                return i
            line += js[i] == "\n"
            i += 2 if js[i] == "\\" else 1
        return i + 1

    while i < n:
        c = js[i]
        if c == "\n":
            line += 1
            newline = True
            i += 1
        elif c.isspace():
            i += 1
        elif js.startswith("//", i):
            i = js.find("\n", i)
            i = n if i < 0 else i
        elif js.startswith("/*", i):
            end = js.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += js.count("\n", i, end)
            i = end
        elif c in "'\"`" or (c == "}" and templates and templates[-1]):
            if c == "}":  # the template goes on after its ${ ... }
                templates.pop()
                depth -= 1
                c = "`"
            i = skip_quoted(i + 1, c)
            if c == "`" and js.startswith("${", i):
                templates.append(True)
                depth += 1
                i += 2
            else:
                yield token("value", c)
        elif c == "/" and (prev is None or (prev[0] == "punct" and prev[1] not in ")]}")
                           or (prev[0] == "name" and prev[1] in KEYWORDS_BEFORE_REGEX)):
            i += 1
            in_class = False
            while i < n and js[i] != "\n" and (in_class or js[i] != "/"):
                in_class = (in_class or js[i] == "[") and js[i] != "]"
                i += 2 if js[i] == "\\" else 1
            m = NAME.match(js, i + 1)
            i = m.end() if m else i + 1
            yield token("value", "/")
        elif c.isalnum() or c in "_$":
            m = NAME.match(js, i)
            i = m.end()
            yield token("name", m.group(0))
        elif c in "([{":
            templates.append(False)
            yield token("punct", c)
            depth += 1
            i += 1
        elif c in ")]}":
            if templates:
                templates.pop()
            depth = max(0, depth - 1)
            yield token("punct", c)
            i += 1
        else:
            yield token("punct", c)
            i += 1


def global_names(js: str):
    """(name, line) for each name a script adds to the page's global scope:
    declarations at its top level, window.NAME = ..., and the names of the
    object a wrapped script hands to Object.assign(root, api)."""
    toks = list(js_tokens(js))
    out = []

    def starts_statement(k):
        kind, text, _, _, newline = toks[k - 1] if k else (None, ";", 0, 0, False)
        return text in (";", "}") or (toks[k][4] and (kind != "punct" or text in ")]"))

    k = 0
    while k < len(toks):
        kind, text, line, depth, _ = toks[k]
        if depth == 0 and text in ("function", "class") and (
                starts_statement(k) or (k and toks[k - 1][1] == "async" and starts_statement(k - 1))):
            k += 1
            while k < len(toks) and toks[k][1] == "*":
                k += 1
            if k < len(toks) and toks[k][0] == "name":
                out.append(toks[k][1:3])
        elif depth == 0 and text in ("const", "let", "var") and starts_statement(k):
            k += 1
            while k < len(toks):  # one binding and its initializer per turn
                if toks[k][1] in "{[":  # a destructuring pattern: its bare names
                    k += 1
                    while k < len(toks) and toks[k][3] > 0:
                        if toks[k][0] == "name" and k + 1 < len(toks) and toks[k + 1][1] in ",}]=":
                            out.append(toks[k][1:3])
                        k += 1
                elif toks[k][0] == "name":
                    out.append(toks[k][1:3])
                k += 1
                while k < len(toks) and not (toks[k][3] == 0 and (toks[k][1] in ",;" or (
                        toks[k][0] == "name" and starts_statement(k)))):
                    k += 1
                if k < len(toks) and toks[k][1] == ",":
                    k += 1
                    continue
                break
            continue
        elif (text == "window" and k + 3 < len(toks) and toks[k + 1][1] == "." and toks[k + 2][0] == "name"
              and toks[k + 3][1] == "=" and (k + 4 == len(toks) or toks[k + 4][1] not in ("=", toks[k + 2][1]))):
            out.append((toks[k + 2][1], line))  # window.f = f only shows a declaration
        k += 1
    m = re.search(r"Object\.assign\(\w+, (\w+)\)", js)
    api = m and re.search(r"const " + m.group(1) + r" = \{([^}]*)\}", js)
    if api:
        line = js.count("\n", 0, api.start()) + 1
        out += [(name, line) for name in re.findall(r"[\w$]+", api.group(1))]
    return out


def check_globals(scripts) -> str:
    """An error text naming each global name two scripts (or one twice)
    declare; scripts: (file name, text) pairs in page order."""
    seen = {}
    errors = []
    for name, js in scripts:
        for g, line in global_names(js):
            where = f"{name}:{line}"
            if g in seen:
                errors.append(f"'{g}' is declared at top level in {seen[g]} and again in {where}")
            else:
                seen[g] = where
    return "\n".join(errors)


def pack_dictionaries(i18n_dir: pathlib.Path) -> str:
    templates = []
    dicts = {}
    for f in sorted(i18n_dir.glob("*.json")):
        data = json.loads(f.read_text(encoding="utf-8"))
        if f.stem == "templates":
            if not isinstance(data, list) or not all(isinstance(t, str) for t in data):
                raise ValueError(f"{f}: expected a list of texts")
            templates = data
            continue
        if not isinstance(data, dict) or not all(isinstance(v, str) for v in data.values()):
            raise ValueError(f"{f}: expected an object of texts")
        dicts[f.stem] = data
    keys = sorted({k for d in dicts.values() for k in d})
    index = {k: i for i, k in enumerate(keys)}
    pack = {
        "keys": keys,
        "langs": {code: [[index[k], d[k]] for k in sorted(d)] for code, d in sorted(dicts.items())},
        "templates": templates,
    }
    text = json.dumps(pack, ensure_ascii=False, separators=(",", ":"))
    # "</" would end the script element early and "<!--" changes how the
    # browser looks for its end; "\u003c" means "<" in JSON.
    return "const I18N_PACK=" + text.replace("<", "\\u003c") + ";"


def main(src_dir: str, out_path: str) -> int:
    root = pathlib.Path(src_dir)
    html = (root / "index.html").read_text(encoding="utf-8")
    scripts = []
    sources = []

    def script_tag(js: str) -> str:
        scripts.append(js)
        return "<script>" + js + "</script>"

    def style(m):
        css = (root / m.group(1)).read_text(encoding="utf-8")
        return "<style>\n" + css + "\n</style>"

    def script(m):
        js = (root / m.group(1)).read_text(encoding="utf-8")
        sources.append((m.group(1), js))
        return script_tag("\n" + js.replace("</script", "<\\/script") + "\n")

    html = re.sub(r'<link rel="stylesheet" href="([^"]+)">', style, html)
    if "<!--i18n-->" in html:
        try:
            packed = pack_dictionaries(root / "i18n")
        except (ValueError, json.JSONDecodeError) as e:
            print(f"dictionaries: {e}", file=sys.stderr)
            return 1
        html = html.replace("<!--i18n-->", script_tag(packed))
    # Scripts are hashed in document order; the dictionaries come first.
    html = re.sub(r'<script src="([^"]+)"></script>', script, html)
    if "<!--csp-->" in html:
        hashes = " ".join(
            "'sha256-" + base64.b64encode(hashlib.sha256(js.encode("utf-8")).digest()).decode() + "'"
            for js in scripts)
        policy = ("default-src 'none'; script-src " + hashes + "; style-src 'unsafe-inline'; "
                  "img-src data:; base-uri 'none'; form-action 'none'")
        html = html.replace("<!--csp-->",
                            '<meta http-equiv="Content-Security-Policy" content="' + policy + '">')
    error = check_sites(html) or check_globals(sources)
    if error:
        print(error, file=sys.stderr)
        return 1
    data = html.encode("utf-8")
    if len(data) > LIMIT:
        print(f"page is {len(data)} bytes, above the {LIMIT}-byte limit", file=sys.stderr)
        return 1
    pathlib.Path(out_path).write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
