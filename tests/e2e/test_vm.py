"""Virtual-machine detection on this machine (itself a virtual machine)."""
import unittest

import vorq_e2e as e2e

SUMMARY_ROWS = ["Physical PC Confidence", "Classification", "Hypervisor presence", "Guest environment",
                "Partition context", "Platform families", "Cloud infrastructure", "VPS service model", "Data coverage",
                "Missing-data confidence reduction", "Independent guest evidence groups", "Scoring model", "Version",
                "Weighted detection methods", "Context checks", "Unavailable checks"]
CATEGORIES = ["cpu", "firmware", "hardware", "network", "storage", "os", "timing", "cloud"]


class VmDetection(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.report, _, code = e2e.scan("raw")
        assert code == 0 and cls.report is not None

    def test_summary_and_tables_in_order(self):
        summary = e2e.table(self.report, "vm.summary")
        self.assertEqual([r["c"][0] for r in summary["rows"]], SUMMARY_ROWS)
        vm_ids = [t["id"] for t in self.report["tables"] if t["tab"] == "vm"]
        self.assertEqual(vm_ids[:9], ["vm.summary"] + ["vm.tests." + c for c in CATEGORIES])

    def test_this_machine_is_a_guest(self):
        summary = {r["c"][0]: r["c"][1] for r in e2e.table(self.report, "vm.summary")["rows"]}
        self.assertEqual(summary["Classification"], "Virtual guest evidence confirmed")
        self.assertEqual(summary["Hypervisor presence"], "Detected")

    def test_one_physical_score_that_adds_up(self):
        physical = [s for s in self.report["scores"] if s["id"] == "physical"]
        self.assertEqual(len(physical), 1)
        self.assertEqual(self.report["scores"][-1]["id"], "physical")
        score = physical[0]
        summary = {r["c"][0]: r["c"][1] for r in e2e.table(self.report, "vm.summary")["rows"]}
        self.assertEqual(score["verdict"], summary["Classification"])
        self.assertEqual("%d%%" % score["value"], summary["Physical PC Confidence"])
        impacts = 0
        for c in CATEGORIES:
            for row in e2e.table(self.report, "vm.tests." + c)["rows"]:
                impacts += -int(row["c"][7]) if row["c"][7] != "0" else 0
        reduction = int(summary["Missing-data confidence reduction"])
        self.assertEqual(92 - score["value"], reduction + impacts)
        self.assertEqual(sum(i["points"] for i in score["items"]), -(reduction + impacts))

    def test_method_catalog(self):
        methods = e2e.table(self.report, "vm.catalog.methods")["rows"]
        rejected = e2e.table(self.report, "vm.catalog.rejected")["rows"]
        self.assertEqual([r["c"][0] for r in methods], ["%03d" % i for i in range(1, 101)])
        self.assertEqual([r["c"][0] for r in rejected], ["W%03d" % i for i in range(1, 11)])
        self.assertEqual({r["c"][5] for r in rejected}, {"Not Supported"})
        # Every diagnostic an entry names runs in this build.
        self.assertNotIn("A referenced diagnostic is unavailable in this build.", {r["c"][10] for r in methods})

    def test_every_probe_once_in_its_category(self):
        ids = []
        for c, count in zip(CATEGORIES, [11, 16, 19, 5, 6, 24, 1, 3]):
            rows = e2e.table(self.report, "vm.tests." + c)["rows"]
            self.assertEqual(len(rows), count, c)
            ids += [r["c"][0] for r in rows]
        self.assertEqual(len(set(ids)), 85)

    def test_consistency_context_under_wine(self):
        status = {}
        for c in CATEGORIES:
            for row in e2e.table(self.report, "vm.tests." + c)["rows"]:
                status[row["c"][0]] = row["c"][3]
        self.assertEqual(status["storage.native_vhd"], "Not Supported")
        self.assertEqual(status["os.wts_protocol"], "Not Detected")
        self.assertEqual(status["firmware.structure"], "Not Detected")

    def test_process_and_platform_context_under_wine(self):
        status = {}
        for c in CATEGORIES:
            for row in e2e.table(self.report, "vm.tests." + c)["rows"]:
                status[row["c"][0]] = row["c"][3]
        self.assertEqual(status["os.wine"], "Detected")
        self.assertEqual(status["cpu.whp_presence"], "Not Supported")
        self.assertEqual(status["os.guest_files"], "Not Detected")


if __name__ == "__main__":
    unittest.main()
