"""The folders' include order: app/ stands on top and core/ at the bottom, so
a collector can be read or moved without the list of all the others."""
import pathlib
import re
import unittest

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.M)
PARTS = ("core", "collectors", "vm", "assessment", "window", "app")


def included_folders(folder):
    """(file, folder it includes) for every quoted include below folder."""
    for path in sorted((ROOT / folder).rglob("*")):
        if path.suffix in (".cpp", ".h"):
            for top in INCLUDE.findall(path.read_text(encoding="utf-8")):
                yield path.relative_to(ROOT).as_posix(), top


class Layering(unittest.TestCase):
    def test_only_app_includes_app(self):
        wrong = [f for part in PARTS if part != "app" for f, top in included_folders(part) if top == "app"]
        self.assertEqual(wrong, [])

    def test_core_includes_no_upper_folder(self):
        wrong = [(f, top) for f, top in included_folders("core") if top != "core"]
        self.assertEqual(wrong, [])


if __name__ == "__main__":
    unittest.main()
