"""Privacy-safe report of a prefix whose user, domain, owner, organization and
profile folders have chosen names, restated in other forms by makers' texts
the report shows in clear (the products of planted earlier Windows
versions). A maker's text that restates an identifier (the domain's
directory form, a profile folder and the short names Windows gave it) is
masked, and so is the owner's address; one that holds a name (the account
as a whole word, the domain's label, the organization) is not, since which makers'
texts a name masks would tell the name back. Texts that only look alike stay,
and so do the program's own words."""
import os
import re
import subprocess
import tempfile
import unittest
import urllib.parse

import vorq_e2e as e2e

HMAC = re.compile(r"^hmac:[0-9A-F]{24}$")
CV = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
PROFILES = CV + r"\ProfileList"
ACCOUNT = "jquellbrandt"
DNS_DOMAIN = "corp.hollowmere.example"
OWNER = "m.quellbrandt@hollowmere.example"
ORGANIZATION = "Hollowmere 24 GmbH"
# (folder below drive_c, Windows path) of two profiles: one with a letter
# outside ASCII, one outside C:\Users.
FOLDERS = (("users/Jürgen Quellbrandt", "C:\\Users\\Jürgen Quellbrandt"),
           ("Home/Johannes Quellbrandt", "C:\\Home\\Johannes Quellbrandt"))


def short_name(prefix, folder):
    """The short name Windows (here Wine) gave a folder, as `dir /x` lists it."""
    parent, name = folder.rsplit("\\", 1)
    with tempfile.TemporaryFile() as out:
        subprocess.run(["wine", "cmd", "/c", "dir /x " + parent], env={**os.environ, **prefix.env},
                       stdout=out, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=120, check=True)
        out.seek(0)
        listing = out.read().decode("cp437", "replace")
    # "<date> <time> <DIR> SHORT~NAME Long name": the short column is empty when the name is short already.
    for line in listing.splitlines():
        m = re.match(r".*<DIR>\s+(\S+~\S+)\s+(.+?)\s*$", line)
        if m and m.group(2).endswith(name.split(" ")[-1]):
            return parent + "\\" + m.group(1)
    raise AssertionError(f"no short name of {folder} in:\n{listing}")


class ChosenNamesRestated(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with e2e.ScratchPrefix("safe-names") as p:
            shorts = []
            for i, (below, folder) in enumerate(FOLDERS):
                (p.path / "drive_c" / below).mkdir(parents=True)
                sid = "S-1-5-21-1111111111-2222222222-3333333333-%d" % (1001 + i)
                p.reg_add(PROFILES + "\\" + sid, "ProfileImagePath", "REG_EXPAND_SZ", folder)
                shorts.append(short_name(p, folder))
            p.reg_add(CV, "RegisteredOwner", "REG_SZ", OWNER)
            p.reg_add(CV, "RegisteredOrganization", "REG_SZ", ORGANIZATION)
            p.reg_add(r"HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters", "Domain", "REG_SZ", DNS_DOMAIN)
            # Texts that restate an identifier, texts that hold a name, and
            # texts that only look alike.
            cls.names = [
                "WS17\\" + ACCOUNT,
                "WDKTestCert " + ACCOUNT + ",133512345678901234",
                "hollowmere-DC01-CA",
                ORGANIZATION.upper(),
            ]
            cls.restating = [
                OWNER.replace("@", "%40"),  # an address: its domain is an identifier
                "DC=corp, DC=hollowmere, DC=example",
                FOLDERS[0][1].upper() + "\\NTUSER.DAT",
                shorts[0] + "\\AppData\\Local\\Temp\\drv.sys",
                shorts[1] + "\\ntuser.dat",
            ]
            cls.alike = ["Windows 10 Pro", "hollowmerely updated", ACCOUNT + "x build", "Example Corp"]
            for i, text in enumerate(cls.restating + cls.names + cls.alike):
                entry = r"HKLM\SYSTEM\Setup\Source OS (Updated on 3/5/2024 10:22:%02d)" % i
                p.reg_add(entry, "ProductName", "REG_SZ", text)
                p.reg_add(entry, "CurrentBuildNumber", "REG_SZ", "19045")
                p.reg_add(entry, "InstallTime", "REG_QWORD", 131959890000000000 + i * 10000000)
            # Wine answers GetUserNameW with the Unix user's name.
            p.env.update(USER=ACCOUNT, WINEUSERNAME=ACCOUNT)
            cls.raw, cls.raw_code = p.scan("raw")
            cls.safe, cls.safe_code = p.scan("safe")
        cls.shorts = shorts

    def products(self, report):
        return [r["c"][1] for r in e2e.table(report, "windows.lineage")["rows"]]

    def test_planted(self):
        self.assertEqual((self.raw_code, self.safe_code), (0, 0))
        self.assertEqual(sorted(self.products(self.raw)), sorted(self.restating + self.names + self.alike))
        ids = {r["c"][0]: r["c"][1] for r in e2e.table(self.raw, "ms.ids")["rows"]}
        self.assertEqual(ids["Current user"], ACCOUNT)
        paths = [r["c"][2] for r in e2e.table(self.raw, "windows.profiles")["rows"]]
        self.assertTrue(all(folder in paths for _, folder in FOLDERS), paths)
        for short, (_, folder) in zip(self.shorts, FOLDERS):
            self.assertNotEqual(short.lower(), folder.lower())

    def test_restating_texts_masked_and_alike_texts_kept(self):
        shown = dict(zip(self.products(self.raw), self.products(self.safe)))
        for text in self.restating:
            self.assertRegex(shown[text], HMAC, text)
        for text in self.names + self.alike:
            self.assertEqual(shown[text], text)

    def test_no_chosen_name_left_as_a_word(self):
        texts = [urllib.parse.unquote(t).casefold() for t in e2e.strings(self.safe) if t not in self.names]
        words = [" " + " ".join(re.findall(r"\w+", t)) + " " for t in texts]
        # The domain's label stands in the owner's address and the organization too.
        for name in (ACCOUNT, "hollowmere"):
            self.assertFalse([w for w in words if " " + name + " " in w], name)
        for short in self.shorts:
            self.assertFalse([t for t in texts if short.casefold() in t], short)

    def test_own_words_kept(self):
        def own(report):
            return [(t["id"], t["title"], t["columns"]) for t in report["tables"]] + \
                   [(s["key"], s["name"]) for s in report["signals"]]
        raw_own = own(self.raw)
        self.assertEqual([w for w in own(self.safe) if w not in raw_own], [])
        labels = [r["c"][0] for r in e2e.table(self.safe, "ms.ids")["rows"]]
        self.assertIn("Current user", labels)

if __name__ == "__main__":
    unittest.main()
