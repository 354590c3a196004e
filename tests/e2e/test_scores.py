"""Cross-checks and the scoring stage in a real report."""
import unittest

import vorq_e2e as e2e

CATALOGUE = ["x.uuid", "x.board", "x.nvme", "x.cpu", "x.cpuvendor", "x.threads", "x.madt", "x.mem", "x.tpmvendor",
             "x.tpmacpi", "x.ekcert", "x.gpu", "x.pcr", "x.mac", "x.placeholder", "x.fpu", "x.vm", "x.systemid",
             "x.esrt", "x.ata", "x.wlanmac", "x.duid", "x.ekthumb", "x.pcrwin", "x.lineage", "x.rearm", "x.susid",
             "x.sbdb", "x.sbvar"]


def clamp(v):
    return 100 if v > 99 else 0 if v <= 0 else v


class Scores(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.report, cls.console, code = e2e.scan("raw")
        assert code == 0 and cls.report is not None

    def test_checks_in_catalogue_order(self):
        ids = [c["id"] for c in self.report["checks"]]
        self.assertEqual(ids, [i for i in CATALOGUE if i in ids])
        self.assertEqual(len(ids), len(set(ids)))
        for c in self.report["checks"]:
            self.assertIn(c["status"], ("pass", "warn", "fail", "info"))
            if c["status"] == "fail":
                self.assertIn(c["id"], ("x.uuid", "x.board", "x.ekcert"))

    def test_scores_agree_with_their_items(self):
        scores = {s["id"]: s for s in self.report["scores"]}
        self.assertEqual([s["id"] for s in self.report["scores"]], ["identity", "platform", "drivers", "physical"])
        for area in ("identity", "platform"):
            self.assertEqual(scores[area]["value"], clamp(sum(i["points"] for i in scores[area]["items"])), area)
        self.assertEqual(scores["drivers"]["value"], clamp(100 + sum(i["points"] for i in scores["drivers"]["items"])))

    def test_device_heading_and_console_summary(self):
        self.assertTrue(self.report["device"]["title"])
        for s in self.report["scores"]:
            self.assertIn("  %-20s %3d/100  %s" % (s["title"], s["value"], s["verdict"]), self.console)


if __name__ == "__main__":
    unittest.main()
