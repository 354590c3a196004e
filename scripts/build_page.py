#!/usr/bin/env python3
"""Inlines ui/index.html with its stylesheets and scripts into one document.

<link rel="stylesheet" href="X"> and <script src="X"></script> referring to
files under ui/ are replaced by their contents; ui/i18n/*.js are inlined in
name order where the marker <!--i18n--> stands. The output is deterministic.
"""
import pathlib
import re
import sys

LIMIT = 2 * 1024 * 1024  # WebView2's documented limit for a page given as a string


def main(src_dir: str, out_path: str) -> int:
    root = pathlib.Path(src_dir)
    html = (root / "index.html").read_text(encoding="utf-8")

    def style(m):
        css = (root / m.group(1)).read_text(encoding="utf-8")
        return "<style>\n" + css + "\n</style>"

    def script(m):
        js = (root / m.group(1)).read_text(encoding="utf-8")
        return "<script>\n" + js.replace("</script", "<\\/script") + "\n</script>"

    html = re.sub(r'<link rel="stylesheet" href="([^"]+)">', style, html)
    html = re.sub(r'<script src="([^"]+)"></script>', script, html)
    if "<!--i18n-->" in html:
        parts = []
        for f in sorted((root / "i18n").glob("*.js")):
            parts.append("<script>\n" + f.read_text(encoding="utf-8") + "\n</script>")
        html = html.replace("<!--i18n-->", "\n".join(parts))
    data = html.encode("utf-8")
    if len(data) > LIMIT:
        print(f"page is {len(data)} bytes, above the {LIMIT}-byte limit", file=sys.stderr)
        return 1
    pathlib.Path(out_path).write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
