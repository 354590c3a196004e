"""The CPU tables of real reports, checked against what Linux reports about
the same processor (/proc/cpuinfo), and the dump hash across two scans."""
import ctypes
import mmap
import os
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


_CPUID_CODE = bytes.fromhex(
    "53"        # push rbx
    "4989d0"    # mov r8, rdx
    "89f8"      # mov eax, edi
    "89f1"      # mov ecx, esi
    "0fa2"      # cpuid
    "418900"    # mov [r8], eax
    "41895804"  # mov [r8+4], ebx
    "41894808"  # mov [r8+8], ecx
    "4189500c"  # mov [r8+12], edx
    "5b"        # pop rbx
    "c3")       # ret
_cpuid_fn = None


def native_cpuid(leaf, sub=0):
    """EAX..EDX of CPUID run by this (Linux) process, independent of Wine and
    of the kernel's own texts."""
    global _cpuid_fn
    if _cpuid_fn is None:
        page = mmap.mmap(-1, mmap.PAGESIZE, prot=mmap.PROT_READ | mmap.PROT_WRITE | mmap.PROT_EXEC)
        page.write(_CPUID_CODE)
        addr = ctypes.addressof(ctypes.c_char.from_buffer(page))
        _cpuid_fn = (page, ctypes.CFUNCTYPE(None, ctypes.c_uint32, ctypes.c_uint32,
                                            ctypes.POINTER(ctypes.c_uint32 * 4))(addr))
    out = (ctypes.c_uint32 * 4)()
    _cpuid_fn[1](leaf, sub, ctypes.byref(out))
    return list(out)


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
        # The kernel may rename the processor in its "model name" (a virtual
        # machine here reads "AMD EPYC" there while CPUID's brand string is the
        # hypervisor's), so the brand is compared with CPUID run natively.
        brand_leaves = (0x80000002, 0x80000003, 0x80000004)
        brand = "".join(register_text(*regs(leaves[("%08X" % leaf, "0")])) for leaf in brand_leaves)
        native = "".join(register_text(*native_cpuid(leaf)) for leaf in brand_leaves)
        self.assertTrue(brand.strip())
        self.assertEqual(brand, native)
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
