"""The CPU tables of real reports, checked against what Linux reports about
the same processor (/proc/cpuinfo), and the dump hash across two scans."""
import os
import re
import struct
import unittest

import vorq_e2e as e2e


def cpuinfo():
    """The first processor's block of /proc/cpuinfo as a dict."""
    info = {}
    with open("/proc/cpuinfo", encoding="utf-8", errors="replace") as f:
        for line in f:
            if not line.strip():
                break
            key, _, value = line.partition(":")
            info[key.strip()] = value.strip()
    return info


def register_text(*regs):
    raw = b"".join(struct.pack("<I", r) for r in regs)
    return b"".join(raw[i:i + 4].split(b"\0")[0] for i in range(0, len(raw), 4)).decode("latin-1")


def leaf_rows(report):
    return {(r["c"][0], r["c"][1]): r["c"] for r in e2e.table(report, "cpu.leaves")["rows"]}


def regs(row):
    return [int(x, 16) for x in row[2:6]]


def summary(report):
    return {r["c"][0]: r["c"][1] for r in e2e.table(report, "cpu.summary")["rows"]}


def signal(report, key):
    return next(s for s in report["signals"] if s["key"] == key)


@unittest.skipUnless(os.path.exists("/proc/cpuinfo") and os.uname().machine == "x86_64", "needs an x86-64 Linux host")
class CpuReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.report, _, cls.code = e2e.scan("raw")

    def test_four_tables_in_order(self):
        ids = e2e.table_ids(self.report)
        self.assertIn("cpu.summary", ids)
        start = ids.index("cpu.summary")
        self.assertEqual(ids[start:start + 4], ["cpu.summary", "cpu.caches", "cpu.lps", "cpu.leaves"])

    def test_leaf_cells(self):
        rows = e2e.table(self.report, "cpu.leaves")["rows"]
        seen = set()
        for r in rows:
            c = r["c"]
            self.assertEqual(len(c), 7, c)
            self.assertRegex(c[0], r"^[0-9A-F]{8}$")
            self.assertRegex(c[1], r"^(0|[1-9][0-9]?)$")  # decimal sub-leaf
            for cell in c[2:6]:
                self.assertRegex(cell, r"^[0-9A-F]{8}$")
            self.assertNotIn((c[0], c[1]), seen)
            seen.add((c[0], c[1]))
        self.assertIn(("40000000", "0"), seen)
        self.assertIn(("40000100", "0"), seen)
        max_basic = int(leaf_rows(self.report)[("00000000", "0")][2], 16)
        basic = {int(c[0], 16) for c in (r["c"] for r in rows) if int(c[0], 16) < 0x40000000}
        self.assertEqual(basic, set(range(0, min(max_basic, 0x40) + 1)))

    def test_leaves_describe_this_processor(self):
        info = cpuinfo()
        leaves = leaf_rows(self.report)
        _, ebx, ecx, edx = regs(leaves[("00000000", "0")])
        self.assertEqual(register_text(ebx, edx, ecx), info["vendor_id"])
        eax = regs(leaves[("00000001", "0")])[0]
        base_family, base_model = (eax >> 8) & 0xF, (eax >> 4) & 0xF
        family = base_family + ((eax >> 20) & 0xFF) if base_family == 15 else base_family
        model = base_model + (((eax >> 16) & 0xF) << 4) if base_family in (6, 15) else base_model
        self.assertEqual((family, model, eax & 0xF),
                         (int(info["cpu family"]), int(info["model"]), int(info["stepping"])))
        hv_bit = (regs(leaves[("00000001", "0")])[2] >> 31) & 1
        self.assertEqual(hv_bit, 1 if "hypervisor" in info["flags"].split() else 0)
        brand = "".join(register_text(*regs(leaves[("%08X" % leaf, "0")])) for leaf in (0x80000002, 0x80000003, 0x80000004))
        self.assertEqual(re.sub(" +", " ", brand.strip()), re.sub(" +", " ", info["model name"]))
        self.assertEqual(summary(self.report)["Vendor"], info["vendor_id"])

    def test_one_row_per_logical_processor(self):
        lps = e2e.table(self.report, "cpu.lps")["rows"]
        self.assertEqual(len(lps), os.cpu_count())
        self.assertEqual([r["c"][0] for r in lps], [str(i) for i in range(len(lps))])

    def test_dump_hash_is_stable_across_scans(self):
        safe, _, _ = e2e.scan("safe")
        value = signal(self.report, "cpu.cpuid_hash")["v"]
        self.assertRegex(value, r"^[0-9A-F]{32}$")
        self.assertEqual(value, summary(self.report)["CPUID dump hash (APIC IDs masked)"])
        self.assertEqual(signal(safe, "cpu.cpuid_hash")["v"], value)


if __name__ == "__main__":
    unittest.main()
