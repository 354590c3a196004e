"""The "Display" and "Battery" rows of a real report: the display tables in
their order, DXGI adapters with their probes (under Xvfb), the display path,
raw input devices, and the notes of a machine without NVML or batteries."""
import re
import unittest

import vorq_e2e as e2e

DISPLAY_TABLES = ["display.paths", "display.input_devices", "display.gpus", "display.dxgi", "display.outputs",
                  "display.nvml", "display.monitors", "display.adapter_flags", "display.d3d_caps",
                  "display.memory_budgets", "display.nvml_modes", "display.nvml_telemetry", "display.edid_checks"]


def cells(report, table_id, column):
    t = e2e.table(report, table_id)
    i = t["columns"].index(column)
    return [row["c"][i] for row in t["rows"]]


class DisplayWithX(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.report, _, code = e2e.scan_with_display("raw")
        assert code == 0 and cls.report is not None, "the scan under Xvfb failed"

    def test_thirteen_tables_in_order_then_battery(self):
        ids = e2e.table_ids(self.report)
        start = ids.index("display.paths")
        self.assertEqual(ids[start:start + 14], DISPLAY_TABLES + ["battery"])
        runs = {c["name"]: c["status"] for c in self.report["collectors"]}
        self.assertEqual((runs["Display"], runs["Battery"]), ("ok", "ok"))

    def test_dxgi_adapter_with_probes(self):
        self.assertGreaterEqual(len(e2e.table(self.report, "display.dxgi")["rows"]), 1)
        for vd in cells(self.report, "display.dxgi", "Vendor:Device"):
            self.assertRegex(vd, r"^[0-9A-F]{4}:[0-9A-F]{4}$")
        self.assertEqual(set(cells(self.report, "display.dxgi", "Flags")) - {"hardware", "software"}, set())
        self.assertEqual(cells(self.report, "display.memory_budgets", "Segment")[:2], ["LOCAL", "NON_LOCAL"])
        self.assertEqual(cells(self.report, "display.adapter_flags", "Source")[0], "DXGI_ADAPTER_DESC3")
        self.assertEqual(cells(self.report, "display.d3d_caps", "Feature")[0], "D3D11_FEATURE_LEVEL")
        for mode in cells(self.report, "display.outputs", "Current mode"):
            self.assertRegex(mode, r"^\d+ x \d+ @ \d+ Hz, \d+ bpp$")

    def test_one_active_display_path(self):
        rows = [r["c"] for r in e2e.table(self.report, "display.paths")["rows"]]
        self.assertEqual(len(rows), 1)
        self.assertEqual((rows[0][0], rows[0][5]), ("1", "1"))

    def test_raw_input_devices(self):
        types = cells(self.report, "display.input_devices", "Type")
        self.assertIn("MOUSE", types)
        self.assertIn("KEYBOARD", types)
        for vid_pid in cells(self.report, "display.input_devices", "VID:PID"):
            self.assertRegex(vid_pid, r"^$|^[0-9A-F]{4,8}:[0-9A-F]{4,8}$")


class DisplayWithoutX(unittest.TestCase):
    def test_no_nvml_and_no_battery(self):
        report, _, code = e2e.scan("raw")
        self.assertEqual(code, 0)
        nvml = e2e.table(report, "display.nvml")
        self.assertEqual(nvml["note"],
                         "NVML not available (no NVIDIA driver) - AMD/Intel vendor SDKs are not queried.")
        for t in ("display.nvml", "display.nvml_modes", "display.nvml_telemetry"):
            self.assertEqual(e2e.table(report, t)["rows"], [])
        battery = e2e.table(report, "battery")
        self.assertEqual(battery["tab"], "display")
        self.assertEqual(battery["note"], "No battery present (desktop or battery not reported by ACPI).")
        self.assertEqual(battery["rows"], [])
        self.assertEqual(e2e.table_ids(report)[e2e.table_ids(report).index("display.paths"):][:13], DISPLAY_TABLES)

    def test_video_id_is_masked_in_safe_reports(self):
        raw, _, _ = e2e.scan("raw")
        safe, _, _ = e2e.scan("safe")
        raw_ids = cells(raw, "display.gpus", "Video ID")
        safe_ids = cells(safe, "display.gpus", "Video ID")
        self.assertEqual(len(raw_ids), len(safe_ids))
        for r, s in zip(raw_ids, safe_ids):
            if r:
                self.assertNotEqual(r, s)
                self.assertRegex(s, r"^hmac:[0-9A-F]{24}$")


if __name__ == "__main__":
    unittest.main()
