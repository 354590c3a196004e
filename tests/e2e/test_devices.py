"""The PnP device inventory in real reports made under Wine."""
import unittest

import vorq_e2e as e2e

ORDER = ["devices.classes", "devices.providers", "devices.biometric", "devices.audio", "devices.smartcard",
         "devices.printers", "devices"]
COLUMNS = ["Class", "Device", "Manufacturer", "Hardware ID", "Instance ID", "Driver", "Service", "Container ID",
           "PCIe link"]


class DevicesTest(unittest.TestCase):
    def test_tables_in_order_with_one_row_per_present_device(self):
        report, text, code = e2e.scan("raw")
        self.assertEqual(code, 0, text)
        ids = [i for i in e2e.table_ids(report) if i.startswith("devices")]
        self.assertEqual(ids, ORDER)
        devices = e2e.table(report, "devices")
        self.assertEqual(devices["columns"], COLUMNS)
        self.assertEqual((devices["sens"], devices["groupCol"]), (0x90, 0))
        rows = [r["c"] for r in devices["rows"]]
        self.assertTrue(rows)
        for cells in rows:
            self.assertEqual(len(cells), 9)
            self.assertTrue(cells[0] and cells[1] and cells[3] and cells[4], cells)
        # Wine's display adapter, described through the registry properties.
        pci = [c for c in rows if c[4].startswith("PCI\\")]
        self.assertEqual([(c[0], c[3]) for c in pci], [("Display", "PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00")])
        self.assertEqual(rows, sorted(rows, key=lambda c: (c[0].encode(), c[1].encode(), c[4].encode())))
        classes = {r["c"][0]: int(r["c"][1]) for r in e2e.table(report, "devices.classes")["rows"]}
        self.assertEqual(sum(classes.values()), len(rows))

    def test_sub_inventories_tell_why_they_are_empty(self):
        report, _, _ = e2e.scan("raw")
        endings = {
            "devices.biometric": "Biometric framework not available: ",
            "devices.audio": " 0 endpoint(s) of devices that are no longer present are not listed.",
            "devices.smartcard": " Smart Card Resource Manager not available (0x",
            "devices.printers": " No print queues installed.",
        }
        for tid, part in endings.items():
            t = e2e.table(report, tid)
            self.assertEqual(t["rows"], [], tid)
            self.assertIn(part, t["note"], tid)
        self.assertTrue(e2e.table(report, "devices.biometric")["note"].startswith("Biometric framework not available: "))

    def test_device_table_stays_out_of_the_safe_report(self):
        report, text, code = e2e.scan("safe")
        self.assertEqual(code, 0, text)
        ids = e2e.table_ids(report)
        self.assertNotIn("devices", ids)
        self.assertEqual([i for i in ids if i.startswith("devices")], ORDER[:-1])


if __name__ == "__main__":
    unittest.main()
