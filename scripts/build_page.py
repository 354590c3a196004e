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

    def script_tag(js: str) -> str:
        scripts.append(js)
        return "<script>" + js + "</script>"

    def style(m):
        css = (root / m.group(1)).read_text(encoding="utf-8")
        return "<style>\n" + css + "\n</style>"

    def script(m):
        js = (root / m.group(1)).read_text(encoding="utf-8")
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
    error = check_sites(html)
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
