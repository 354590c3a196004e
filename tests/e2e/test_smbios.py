"""The SMBIOS collector over the table Wine synthesises: tables, the UUID and
its pseudonym in a privacy-safe report, placeholder serials."""
import re
import unittest

import vorq_e2e as e2e

UUID_RE = re.compile(r"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
PLACEHOLDER_NOTE = "placeholder / unset value - ignored for identity"
SERIAL_KEYS = ["smbios.system.serial", "smbios.board.serial", "smbios.chassis.serial"]


def signal(report, key):
    found = [s for s in report["signals"] if s["key"] == key]
    return found[0] if len(found) == 1 else None


class SmbiosReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.raw, _, code = e2e.scan("raw")
        assert code == 0 and cls.raw is not None

    def test_summary_then_structures(self):
        ids = e2e.table_ids(self.raw)
        self.assertIn("smbios.summary", ids)
        self.assertEqual(ids[ids.index("smbios.summary") + 1], "smbios")
        summary = e2e.table(self.raw, "smbios.summary")
        self.assertEqual([r["c"][0] for r in summary["rows"]],
                         ["Version", "Structures", "Table length", "Calling method", "Table SHA-256"])
        self.assertEqual(e2e.table(self.raw, "smbios")["columns"], ["Structure", "Field", "Value"])
        self.assertFalse([n for n in self.raw["notes"] if n.startswith("SMBIOS:")])

    def test_uuid_row_and_signal(self):
        rows = [r for r in e2e.table(self.raw, "smbios")["rows"] if r["c"][1] == "UUID"]
        self.assertEqual(len(rows), 1)
        self.assertEqual(rows[0].get("s"), 4)
        value = rows[0]["c"][2].replace("  [placeholder]", "")
        self.assertRegex(value, UUID_RE)
        sig = signal(self.raw, "smbios.system.uuid")
        self.assertIsNotNone(sig)
        self.assertEqual(sig["v"], value)
        self.assertTrue(sig["sens"])
        self.assertEqual(sig["scope"], "per-unit")

    def test_safe_report_carries_the_uuid_pseudonym_only(self):
        safe, _, code = e2e.scan("safe")
        self.assertEqual(code, 0)
        raw_sig = signal(self.raw, "smbios.system.uuid")
        sig = signal(safe, "smbios.system.uuid")
        self.assertNotIn("v", sig)
        self.assertRegex(sig["h"], r"^[0-9A-F]{24}$")
        self.assertEqual(sig["h"], raw_sig["h"])
        self.assertNotIn(raw_sig["v"], (e2e.OUT / "scan-safe.json").read_text(encoding="utf-8"))

    def test_placeholder_serials(self):
        # Wine leaves the serial strings unset: each is still reported, with quality 0.
        for key in SERIAL_KEYS:
            sig = signal(self.raw, key)
            self.assertIsNotNone(sig, key)
            self.assertTrue(sig["sens"], key)
            if sig["v"].strip() == "":
                self.assertEqual(sig["q"], 0, key)
                self.assertEqual(sig.get("note"), PLACEHOLDER_NOTE, key)
            else:
                self.assertEqual(sig.get("note", "") == PLACEHOLDER_NOTE, sig["q"] == 0, key)


if __name__ == "__main__":
    unittest.main()
