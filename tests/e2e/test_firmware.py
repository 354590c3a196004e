"""ACPI and UEFI collectors under Wine: no ACPI table enumeration and no
firmware variables, which both collectors record and then go on."""
import unittest

import vorq_e2e as e2e


class FirmwareUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.report, _, cls.code = e2e.scan("raw")

    def run_of(self, name):
        return next(c for c in self.report["collectors"] if c["name"] == name)

    def test_both_collectors_run_ok(self):
        self.assertEqual(self.code, 0)
        for name in ("ACPI", "UEFI and boot"):
            self.assertEqual(self.run_of(name)["status"], "ok", name)

    def test_acpi_failure_is_one_note_and_no_tables(self):
        notes = [n for n in self.report["notes"] if n.startswith("ACPI: ")]
        self.assertEqual(len(notes), 1)
        self.assertTrue(notes[0].startswith("ACPI: EnumSystemFirmwareTables('ACPI') failed: error "), notes[0])
        ids = e2e.table_ids(self.report)
        self.assertNotIn("acpi", ids)
        self.assertNotIn("acpi.summary", ids)
        self.assertFalse([s for s in self.report["signals"] if s["key"].startswith("acpi.")])

    def test_uefi_tables_tell_what_was_missing(self):
        ids = [i for i in e2e.table_ids(self.report) if i.startswith("uefi.") or i == "platform.hvguest"]
        self.assertEqual(ids, ["uefi.esrt", "uefi.secureboot", "uefi.bcd", "platform.hvguest"])
        esrt = e2e.table(self.report, "uefi.esrt")
        self.assertEqual(esrt["note"], "No ESRT entries: the firmware does not publish capsule-update resources.")
        secure = e2e.table(self.report, "uefi.secureboot")
        self.assertRegex(secure["note"], r"dbx is the revocation list\. The firmware exposes no Secure Boot "
                                         r"variables \(error \d+[^)]*\)\.$")
        bcd = e2e.table(self.report, "uefi.bcd")
        # Wine runs the program elevated.
        self.assertTrue(bcd["note"].endswith(" The BCD store is not mounted under HKLM\\BCD00000000 on this system."))
        for t in (esrt, secure, bcd, e2e.table(self.report, "platform.hvguest")):
            self.assertEqual(t["rows"], [], t["id"])
        self.assertFalse([n for n in self.report["notes"] if n.startswith("UEFI")])


if __name__ == "__main__":
    unittest.main()
