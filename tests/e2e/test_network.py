"""The "Network" collector in the real program under Wine: its run, its six
tables in order, the interface rows and their signals, and the Bluetooth and
modem notes of a machine without either."""
import re
import unittest

import vorq_e2e as e2e

TABLES = ["net.ifaces", "net.ids", "net.profiles", "net.wwan", "net.bt", "net.btdevices"]
MAC = re.compile(r"^[0-9A-F]{2}(-[0-9A-F]{2})*$")
HMAC = re.compile(r"^hmac:[0-9A-F]{24}$")


class NetworkReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.raw, _, cls.raw_code = e2e.scan("raw")
        cls.safe, _, cls.safe_code = e2e.scan("safe")

    def test_run_is_ok(self):
        self.assertEqual(self.raw_code, 0)
        run = [c for c in self.raw["collectors"] if c["name"] == "Network"]
        self.assertEqual(len(run), 1)
        self.assertEqual(run[0]["status"], "ok", run[0].get("error"))

    def test_tables_in_order(self):
        ids = [t for t in e2e.table_ids(self.raw) if t.startswith("net.")]
        self.assertEqual(ids, TABLES)
        for t in TABLES:
            self.assertEqual(e2e.table(self.raw, t)["tab"], "network")

    def test_interfaces(self):
        t = e2e.table(self.raw, "net.ifaces")
        self.assertEqual(t["columns"][0], "Interface")
        self.assertEqual(t["columns"][4], "Permanent MAC")
        self.assertEqual(t["sens"], 0x58)
        self.assertRegex(t["note"], r" \d+ software/filter interfaces not shown\.$")
        guids = [s for s in self.raw["signals"] if s["key"] == "nic.guid"]
        self.assertEqual(len(guids), len(t["rows"]))
        for row, sig in zip(t["rows"], guids):
            cells = row["c"]
            self.assertEqual(len(cells), 9)
            self.assertRegex(cells[3], MAC)
            self.assertRegex(cells[4], MAC)
            self.assertEqual(sig["v"], cells[6])
            self.assertEqual(sig["name"], "Interface GUID - " + cells[0])
            self.assertEqual(sig["scope"], "per-install")

    def test_masks_in_safe_report(self):
        t = e2e.table(self.safe, "net.ifaces")
        for row in t["rows"]:
            for i in (3, 4, 6):
                if row["c"][i]:
                    self.assertRegex(row["c"][i], HMAC)
        for sig in self.safe["signals"]:
            if sig["key"].startswith("nic."):
                self.assertNotIn("v", sig)

    def test_bluetooth_and_modem_absent(self):
        self.assertEqual(e2e.table(self.raw, "net.bt")["note"],
                         "No Bluetooth radio present or the Bluetooth stack is off.")
        self.assertTrue(e2e.table(self.raw, "net.btdevices")["note"].endswith(" No Bluetooth radio present."))
        self.assertRegex(e2e.table(self.raw, "net.wwan")["note"],
                         r"^Mobile broadband API not available: HRESULT 0x[0-9A-F]{8}")
        for t in ("net.bt", "net.btdevices", "net.wwan"):
            self.assertEqual(e2e.table(self.raw, t)["rows"], [])


if __name__ == "__main__":
    unittest.main()
