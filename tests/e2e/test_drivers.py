"""Kernel drivers under Wine: its running drivers are unsigned stub images, so
each is classified "Unsigned" from the embedded-signature check, and the
driver trust score deducts for them."""
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


if __name__ == "__main__":
    unittest.main()
