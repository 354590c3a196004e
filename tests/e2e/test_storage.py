"""The Storage collector in a real report made under Wine (no physical disks
there, but fixed volumes)."""
import re
import unittest

import vorq_e2e as e2e


class StorageReport(unittest.TestCase):
    def setUp(self):
        self.report, _, code = e2e.scan("raw")
        self.assertIsNotNone(self.report)
        self.assertEqual(code, 0)

    def test_tables_in_order(self):
        ids = e2e.table_ids(self.report)
        at = ids.index("storage.disks")
        self.assertEqual(ids[at:at + 3], ["storage.disks", "storage.ids", "storage.volumes"])
        run = [c for c in self.report["collectors"] if c["name"] == "Storage"]
        self.assertEqual(len(run), 1)
        self.assertEqual(run[0]["status"], "ok")
        self.assertEqual([n for n in self.report["notes"] if n.startswith("Storage:")], [])

    def test_volumes_carry_serials(self):
        volumes = e2e.table(self.report, "storage.volumes")
        self.assertTrue(volumes["rows"])
        roots = []
        for row in volumes["rows"]:
            root, _, _, serial = row["c"][:4]
            self.assertRegex(serial, r"^[0-9A-F]{4}-[0-9A-F]{4}$")
            roots.append(root)
        signals = {s["name"]: s for s in self.report["signals"] if s["key"] == "volume.serial"}
        self.assertEqual(sorted(signals), sorted("Volume serial " + r for r in roots))
        for row in volumes["rows"]:
            sig = signals["Volume serial " + row["c"][0]]
            self.assertEqual(sig["v"], row["c"][3])
            self.assertEqual((sig["group"], sig["scope"], sig["w"], sig["sens"]), ("os", "per-install", 3, True))

    def test_safe_report_hides_volume_identifiers(self):
        safe, _, _ = e2e.scan("safe")
        volumes = e2e.table(safe, "storage.volumes")
        for row in volumes["rows"]:
            for cell in row["c"][3:6]:
                self.assertTrue(cell == "" or re.match(r"^hmac:[0-9A-F]{24}$", cell), cell)


if __name__ == "__main__":
    unittest.main()
