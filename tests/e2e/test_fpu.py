"""The floating-point fingerprint of real reports: the subtest table grouped
by family, the summary, and the three hashes across two program runs."""
import os
import re
import unittest

import vorq_e2e as e2e

GROUPS = ["Approximation", "IEEE-exact", "FMA", "x86 semantics", "MXCSR / subnormal", "Rounding", "x87 80-bit"]
HASH = re.compile(r"^[0-9A-F]{32}$")

# Rows whose results every conforming x86 processor gives.
FIXED = {
    "D01": "3FF6A09E667F3BCD",
    "D02": "3FD5555555555555",
    "D03": "3FD3333333333334",
    "D08": "43E0000000000000",
    "I01": "FFF8000000000000",
    "I09": "8000000000000000 8000000000000000",
    "H03": "0008000000000000",
    "G03": "2/-2  2/-3  3/-2  2/-2",
    "C14": "4009:C000000000000000 (1536)",
    "C18": "3FFD:AAAAAB0000000000 (0.3333333432674408) | 3FFD:AAAAAAAAAAAAA800 (0.33333333333333331) | "
           "3FFD:AAAAAAAAAAAAAAAB (0.33333333333333331)",
}


def summary(report):
    return {r["c"][0]: r["c"][1] for r in e2e.table(report, "fpu.summary")["rows"]}


def signals(report):
    return {s["key"]: s for s in report["signals"] if s["key"].startswith("fpu.")}


@unittest.skipUnless(os.uname().machine == "x86_64", "needs an x86-64 host")
class FpuReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.report, _, cls.code = e2e.scan("raw")
        cls.rows = [r["c"] for r in e2e.table(cls.report, "fpu.tests")["rows"]]

    def test_collector_ran(self):
        run = next(c for c in self.report["collectors"] if c["name"] == "FPU")
        self.assertEqual(run["status"], "ok")
        ids = e2e.table_ids(self.report)
        self.assertEqual(ids.index("fpu.summary"), ids.index("fpu.tests") + 1)

    def test_table_grouped_by_family(self):
        t = e2e.table(self.report, "fpu.tests")
        self.assertEqual(t["columns"], ["ID", "Group", "Test", "Result bits", "Class"])
        self.assertEqual(t["groupCol"], 1)
        blocks = []
        for row in self.rows:
            if not blocks or blocks[-1] != row[1]:
                blocks.append(row[1])
        self.assertEqual(blocks, GROUPS)
        for row in self.rows:
            self.assertRegex(row[0], r"^[EDFIHGC]\d\d$")
            self.assertEqual(row[0][0], "EDFIHGC"[GROUPS.index(row[1])])
            self.assertIn(row[4], ["vendor/uarch", "x86-semantics", "IEEE-exact", "state"])
            self.assertNotIn("\n", row[3])

    def test_rows_of_a_capability_come_together(self):
        bits = {r[0]: r[3] for r in self.rows}
        for group in (["E10", "E11", "D09"], ["E14", "E15", "E16"], ["F01", "F02", "F03", "F04"]):
            present = [i in bits for i in group]
            self.assertIn(present, [[True] * len(group), [False] * len(group)], group)
        self.assertEqual(bits["F05"].startswith("FMA3 yes"), "F01" in bits)
        if "F01" in bits:
            self.assertEqual(bits["F01"], "fused BC90000000000000 / mul+add 0000000000000000")
        # Without AVX there is neither FMA nor AVX-512.
        if "E10" not in bits:
            self.assertNotIn("F01", bits)
            self.assertNotIn("E14", bits)
        self.assertIn(len(self.rows), [70, 67, 63, 60, 59])

    def test_fixed_results(self):
        bits = {r[0]: r[3] for r in self.rows}
        for row_id, text in FIXED.items():
            self.assertEqual(bits[row_id], text, row_id)
        self.assertRegex(bits["H01"], r"^[0-9A-F]{4}$")
        self.assertRegex(bits["E12"], r"^[0-9A-F]{32}  max rel\. error \d\.\d{4}e-0\d \(2\^-\d+\.\d\d\)$")

    def test_summary_and_signals(self):
        s = summary(self.report)
        sig = signals(self.report)
        self.assertEqual(s["Subtests"], str(len(self.rows)))
        pairs = [("FPU_PROFILE_V1 hash", "fpu.profile"), ("Approximation-unit hash (RCP/RSQRT)", "fpu.approx"),
                 ("x87 transcendental hash", "fpu.x87")]
        for prop, key in pairs:
            self.assertRegex(s[prop], HASH)
            self.assertEqual(sig[key]["v"], s[prop])
            self.assertEqual(sig[key]["scope"], "per-model")
        self.assertEqual(sig["fpu.profile"]["note"], f"{len(self.rows)} subtests")
        self.assertEqual(len({s[p] for p, _ in pairs}), 3)

    def test_hashes_identical_across_two_runs(self):
        safe, _, _ = e2e.scan("safe")
        first, second = summary(self.report), summary(safe)
        for prop in ("FPU_PROFILE_V1 hash", "Approximation-unit hash (RCP/RSQRT)", "x87 transcendental hash"):
            self.assertEqual(second[prop], first[prop], prop)
        other = [r["c"] for r in e2e.table(safe, "fpu.tests")["rows"]]
        self.assertEqual([r for r in other if r[0] != "H01"], [r for r in self.rows if r[0] != "H01"])


if __name__ == "__main__":
    unittest.main()
