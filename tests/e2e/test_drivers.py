"""Kernel drivers under Wine: its own running drivers are unsigned stub images,
so each is classified "Unsigned" from the embedded-signature check, and the
driver trust score deducts for them. Signed test images planted as services
in a scratch prefix run as drivers too and show every other route."""
import os
import shutil
import subprocess
import unittest

import vorq_e2e as e2e


class DriversUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.report, _, cls.code = e2e.scan("raw")

    def test_three_tables_in_order(self):
        self.assertEqual(self.code, 0)
        run = next(c for c in self.report["collectors"] if c["name"] == "Kernel drivers")
        self.assertEqual(run["status"], "ok")
        ids = [i for i in e2e.table_ids(self.report) if i.startswith("drivers")]
        self.assertEqual(ids, ["drivers.summary", "drivers.vendors", "drivers"])
        self.assertFalse([n for n in self.report["notes"] if n.startswith("Kernel drivers")])

    def test_running_drivers_are_unsigned(self):
        drivers = e2e.table(self.report, "drivers")
        rows = [r["c"] for r in drivers["rows"]]
        self.assertTrue(rows)
        names = [r[0] for r in rows]
        self.assertEqual(names, sorted(names))  # one class, so by name
        for r in rows:
            self.assertTrue(r[4].startswith("[bad] Unsigned - HRESULT 0x800B0100"), r)
            self.assertEqual(r[7], "embedded", r)
            self.assertRegex(r[9], r"^C:\\windows\\system32\\drivers\\[^\\]+\.sys$")
        # The HID and USB bus drivers serve present devices.
        served = {r[0]: r[8] for r in rows if r[8]}
        self.assertIn("winebus", served)
        for count in served.values():
            self.assertGreater(int(count), 0)

        summary = [r["c"] for r in e2e.table(self.report, "drivers.summary")["rows"]]
        self.assertEqual(summary, [["[bad] Unsigned", str(len(rows)),
                                    "no signature - loads only with test signing or a disabled code integrity policy"]])
        vendors = [r["c"] for r in e2e.table(self.report, "drivers.vendors")["rows"]]
        self.assertEqual(vendors, [["(unknown)", str(len(rows)), "0", "0", "0", str(len(rows)), "[bad] 0%"]])

    def test_driver_trust_rests_on_the_drivers(self):
        score = next(s for s in self.report["scores"] if s["id"] == "drivers")
        n = len(e2e.table(self.report, "drivers")["rows"])
        self.assertEqual(score["note"], f"Signature provenance of running kernel drivers ({n} checked). "
                                        "Signed is not the same as safe.")
        unsigned = next(i for i in score["items"] if i["label"] == "Unsigned / invalid kernel drivers")
        self.assertEqual(unsigned["points"], -min(40 + 10 * (n - 1), 60))
        self.assertLess(score["value"], 100)


SERVICES = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\"
FABRIKAM = "Fabrikam Devices, Inc."
HCP = "Microsoft Windows Hardware Compatibility Publisher"

# Demand-start kernel drivers planted in a scratch prefix: service name, image
# made at build time, file under drive_c, configured ImagePath (None: no
# value), resolved path, class cell, signer. Named so that the order by name
# differs from the order by class.
PLANTED = [
    ("fbwhql", "whql.sys", "windows/system32/drivers/fbwhql.sys", "%SystemRoot%\\System32\\drivers\\fbwhql.sys",
     "C:\\windows\\System32\\drivers\\fbwhql.sys", "[ok] WHQL", HCP),
    ("fbattest", "attest.sys", "Program Files/Fabrikam/fbattest.sys", "\\??\\C:\\Program Files\\Fabrikam\\fbattest.sys",
     "C:\\Program Files\\Fabrikam\\fbattest.sys", "[info] Attestation-signed", HCP),
    ("fbsigned", "signed.sys", "windows/system32/drivers/fbsigned.sys",
     "\\SystemRoot\\System32\\drivers\\fbsigned.sys", "C:\\windows\\System32\\drivers\\fbsigned.sys",
     "[info] Third-party Authenticode", "Fabrikam Test Signer"),
    ("fbunsigned", "unsigned.sys", "windows/system32/drivers/fbunsigned.sys",
     "C:\\windows\\system32\\drivers\\fbunsigned.sys", "C:\\windows\\system32\\drivers\\fbunsigned.sys",
     "[bad] Unsigned - HRESULT 0x800B0100", ""),
    ("fbtampered", "tampered.sys", "windows/system32/drivers/fbtampered.sys", None,
     "C:\\windows\\System32\\drivers\\fbtampered.sys", "[bad] Invalid (hash mismatch) - HRESULT 0x80096010", ""),
]


def wine(prefix, *args):
    """(exit code, output) of one Wine command in the prefix. The output goes
    through a file: a service process the command starts inherits its handles,
    so a pipe would stay open."""
    log = e2e.OUT / f"{prefix.path.name}-{'-'.join(args)}.log"
    with open(log, "wb") as out:
        p = subprocess.run(["wine", *args], env={**os.environ, **prefix.env}, stdin=subprocess.DEVNULL,
                           stdout=out, stderr=out, timeout=120)
    return p.returncode, log.read_text("utf-8", "replace")


class PlantedDriversUnderWine(unittest.TestCase):
    """Signed, attestation-signed, WHQL-like, unsigned and tampered images
    running as kernel drivers: Wine loads each into its driver host, the
    service manager lists them as running, and the collector classifies them."""

    @classmethod
    def setUpClass(cls):
        images = e2e.BUILD / "signed-images"
        with e2e.ScratchPrefix("drivers") as p:
            for name, image, file, image_path, *_ in PLANTED:
                target = p.path / "drive_c" / file
                target.parent.mkdir(parents=True, exist_ok=True)
                shutil.copyfile(images / image, target)
                p.reg_add(SERVICES + name, "Type", "REG_DWORD", 1)
                p.reg_add(SERVICES + name, "Start", "REG_DWORD", 3)
                p.reg_add(SERVICES + name, "ErrorControl", "REG_DWORD", 1)
                if image_path:
                    p.reg_add(SERVICES + name, "ImagePath", "REG_EXPAND_SZ", image_path)
            # The service manager reads its services when it starts, and stops
            # with the last program unless the server is kept: restart both.
            for step in ("-k", "-w", "-p"):
                subprocess.run(["wineserver", step], env={**os.environ, **p.env}, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=60)
            cls.started = {name: wine(p, "net", "start", name) for name, *_ in PLANTED}
            cls.report, cls.code = p.scan("raw")

    def test_every_driver_starts(self):
        for name, (code, log) in self.started.items():
            self.assertEqual(code, 0, f"{name}: {log}")

    def test_rows(self):
        self.assertEqual(self.code, 0)
        rows = {r["c"][0]: r["c"] for r in e2e.table(self.report, "drivers")["rows"]}
        for name, _, _, _, path, cls, signer in PLANTED:
            row = rows.get(name)
            self.assertIsNotNone(row, name)
            self.assertEqual(row[1:4], ["Fabrikam test image", FABRIKAM, "1.2.3.4"], name)
            if cls.startswith("[bad]"):  # then the result's text, if Wine has one
                self.assertTrue(row[4].startswith(cls), row)
            else:
                self.assertEqual(row[4], cls, name)
            self.assertEqual(row[5:9], [signer, signer, "embedded", ""], name)
            self.assertEqual(row[9], path, name)

    def test_order_by_class_then_name(self):
        names = [r["c"][0] for r in e2e.table(self.report, "drivers")["rows"]]
        planted = [n for n in names if n.startswith("fb")]
        self.assertEqual(planted, ["fbtampered", "fbunsigned", "fbsigned", "fbattest", "fbwhql"])
        # Wine's own stub drivers are unsigned: they sort by name among the two bad ones, before the rest.
        bad = names[:names.index("fbsigned")]
        self.assertEqual(bad, sorted(bad))
        self.assertEqual(names[names.index("fbsigned"):], ["fbsigned", "fbattest", "fbwhql"])

    def test_summary_vendors_and_score(self):
        wine_own = len(e2e.table(self.report, "drivers")["rows"]) - len(PLANTED)
        self.assertGreater(wine_own, 0)
        summary = [r["c"][:2] for r in e2e.table(self.report, "drivers.summary")["rows"]]
        self.assertEqual(summary, [["[bad] Unsigned", str(wine_own + 1)], ["[bad] Invalid (hash mismatch)", "1"],
                                   ["[info] Third-party Authenticode", "1"], ["[info] Attestation-signed", "1"],
                                   ["[ok] WHQL", "1"]])
        # One publisher for the five planted images, whatever signed them; Wine's stubs have none.
        vendors = [r["c"] for r in e2e.table(self.report, "drivers.vendors")["rows"]]
        fabrikam = [FABRIKAM, "5", "1", "1", "1", "2", "[bad] 20%"]
        unknown = ["(unknown)", str(wine_own), "0", "0", "0", str(wine_own), "[bad] 0%"]
        self.assertEqual(vendors, [unknown, fabrikam] if wine_own >= 5 else [fabrikam, unknown])
        score = next(s for s in self.report["scores"] if s["id"] == "drivers")
        self.assertEqual({i["label"]: i["note"].split(" ")[0] for i in score["items"]},
                         {"Unsigned / invalid kernel drivers": str(wine_own + 2),
                          "Legacy third-party Authenticode drivers": "1", "Attestation-signed drivers": "1",
                          "Inbox Windows drivers": "0", "WHQL / Microsoft-signed drivers": "1"})


if __name__ == "__main__":
    unittest.main()
