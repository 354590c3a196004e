"""The folders' order: app/ stands on top and core/ at the bottom, so a
collector can be read or moved without the list of all the others. What app/
defines is handed down; no folder below it includes a file of it or names
what it defines, since a declaration there would still reach up at link time."""
import pathlib
import re
import unittest

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.M)
PARTS = ("core", "collectors", "vm", "assessment", "window", "app")
# A name declared or defined at namespace scope, at the start of its line:
# "void RunCollectors(", "const std::array<...> kCollectorTable =".
TOP_LEVEL = re.compile(r"^(?!namespace|using|struct|class|enum|template|static_assert|return)"
                       r"[A-Za-z_][\w:<>,\s*&]*?\b([A-Za-z_]\w*)\s*[(=;{\[]", re.M)
ANONYMOUS = re.compile(r"^namespace \{$.*?^\}  // namespace$", re.M | re.S)


def included_folders(folder):
    """(file, folder it includes) for every quoted include below folder."""
    for path in sorted((ROOT / folder).rglob("*")):
        if path.suffix in (".cpp", ".h"):
            for top in INCLUDE.findall(path.read_text(encoding="utf-8")):
                yield path.relative_to(ROOT).as_posix(), top


def sources(folder):
    for path in sorted((ROOT / folder).rglob("*")):
        if path.suffix in (".cpp", ".h"):
            yield path


def names_defined_in(folder):
    """What the folder's files declare or define for others: namespace-scope
    names outside anonymous namespaces."""
    names = set()
    for path in sources(folder):
        text = ANONYMOUS.sub("", path.read_text(encoding="utf-8"))
        names.update(TOP_LEVEL.findall(text))
    return names


def files_naming(folder, names):
    """(file, name) for every file below folder that names one of `names`."""
    if not names:
        return
    word = re.compile(r"\b(" + "|".join(sorted(map(re.escape, names))) + r")\b")
    for path in sources(folder):
        for name in sorted(set(word.findall(path.read_text(encoding="utf-8")))):
            yield path.relative_to(ROOT).as_posix(), name


class Layering(unittest.TestCase):
    def test_only_app_includes_app(self):
        wrong = [f for part in PARTS if part != "app" for f, top in included_folders(part) if top == "app"]
        self.assertEqual(wrong, [])

    def test_nothing_below_app_names_what_app_defines(self):
        defined = names_defined_in("app")
        self.assertIn("RunCollectors", defined)
        self.assertIn("kCollectorTable", defined)
        wrong = [f for part in PARTS if part != "app" for f in files_naming(part, defined)]
        self.assertEqual(wrong, [])

    def test_core_includes_no_upper_folder(self):
        wrong = [(f, top) for f, top in included_folders("core") if top != "core"]
        self.assertEqual(wrong, [])


if __name__ == "__main__":
    unittest.main()
