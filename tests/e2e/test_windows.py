"""The "Windows" collector in the real program under Wine: its six tables in
order, the identifiers of Wine's installation, the masks of a privacy-safe
report, and registry-backed values written into a scratch prefix."""
import re
import unittest

import vorq_e2e as e2e

TABLES = ["windows.os", "windows.ids", "windows.lineage", "windows.profiles", "windows.certs", "windows.chid"]
HMAC = re.compile(r"^hmac:[0-9A-F]{24}$")
CV = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
SETUP = r"HKLM\SYSTEM\Setup"
GEO_NAME = 'Gé"o</script>\\x'  # HKCU text any user can write


def rows(report, table_id):
    return [r["c"] for r in e2e.table(report, table_id)["rows"]]


def row(report, table_id, first):
    found = [r for r in rows(report, table_id) if r[0] == first]
    return found[0] if found else None


def signal(report, key):
    found = [s for s in report["signals"] if s["key"] == key]
    return found[0] if found else None


class WindowsReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.raw, _, cls.raw_code = e2e.scan("raw")
        cls.safe, _, cls.safe_code = e2e.scan("safe")

    def test_run_and_tables_in_order(self):
        self.assertEqual(self.raw_code, 0)
        self.assertEqual(e2e.collector_status(self.raw, "Windows"), "ok")
        self.assertEqual([t for t in e2e.table_ids(self.raw) if t.startswith("windows.")], TABLES)
        for t in TABLES:
            self.assertEqual(e2e.table(self.raw, t)["tab"], "windows")

    def test_operating_system(self):
        props = [r[0] for r in rows(self.raw, "windows.os")]
        self.assertEqual(props[:9], ["Product", "Edition", "Version", "Build", "Build lab", "Installation type",
                                     "Uptime", "Process elevation", "Locale / time zone"])
        self.assertEqual(props[-2:], ["Earlier Windows versions upgraded in place", "User profiles"])
        self.assertEqual(row(self.raw, "windows.os", "Build")[1], "7601.0")
        self.assertEqual(row(self.raw, "windows.os", "Process elevation")[1], "[info] administrator (elevated)")
        self.assertIn("Microsoft Windows 7", self.raw["device"]["subtitle"])

    def test_identifiers(self):
        sid = signal(self.raw, "win.machine_sid")
        self.assertEqual(sid["v"], "S-1-5-21-0-0-0")
        self.assertEqual(sid["scope"], "per-install")
        self.assertTrue(sid["sens"])
        self.assertEqual(row(self.raw, "windows.ids", "SystemIdForPublisher")[1:],
                         ["unavailable: HRESULT 0x80040154", "", "Windows.System.Profile.SystemIdentification"])
        self.assertIsNone(signal(self.raw, "win.system_id"))
        self.assertIsNone(signal(self.raw, "win.hw_profile"))  # GetCurrentHwProfileW fails under Wine

    def test_lineage_profiles_certificates(self):
        lineage = e2e.table(self.raw, "windows.lineage")
        self.assertEqual(lineage["rows"], [])
        self.assertTrue(lineage["note"].endswith(" No earlier version recorded: a clean installation."))
        profile = rows(self.raw, "windows.profiles")
        self.assertEqual([(r[0], r[1]) for r in profile], [("current user", "1000")])
        self.assertEqual(signal(self.raw, "win.profile_rids")["v"], "1000")
        certs = rows(self.raw, "windows.certs")
        # Wine's chain engine creates the local-machine "My" store at its first signature check (the
        # driver verification does one), so in a prefix that has checked a signature it opens, empty.
        self.assertIn([r[0] for r in certs], (["Remote Desktop", "personal (My)"], ["Remote Desktop"]))
        for r in certs:
            self.assertTrue(r[1].startswith("[info] not readable: error 2"), r[1])
        checks = {c["id"]: c for c in self.raw["checks"]}
        self.assertEqual(checks["x.lineage"]["detail"], "clean installation - no earlier Windows version recorded")

    def test_safe_report_hides_sensitive_values(self):
        self.assertEqual(self.safe_code, 0)
        hidden = [signal(self.raw, k)["v"] for k in ("win.machine_guid", "win.machine_sid", "win.product_id")]
        # The profile folder of Wine's built-in user root names nobody and stays readable.
        hidden += [r[2] for r in rows(self.raw, "windows.profiles") if not r[2].lower().endswith("\\root")]
        texts = list(e2e.strings(self.safe))
        for value in hidden:
            self.assertTrue(value)
            self.assertFalse([t for t in texts if value in t], value)
        for r in e2e.table(self.safe, "windows.ids")["rows"]:
            if r.get("s", 0) & 2:
                self.assertRegex(r["c"][1], HMAC)
        for key in ("win.machine_guid", "win.machine_sid", "win.product_id", "win.computer_name"):
            self.assertNotIn("v", signal(self.safe, key))
        # The title comes from the firmware's names, never from the installation.
        self.assertEqual(self.safe["device"]["title"], "Windows PC")


class WindowsRegistryValues(unittest.TestCase):
    """Values of a newer, upgraded installation written into a scratch prefix."""

    @classmethod
    def setUpClass(cls):
        with e2e.ScratchPrefix("windows") as p:
            p.reg_add(CV, "ProductName", "REG_SZ", "Windows 10 Pro")
            p.reg_add(CV, "CurrentBuildNumber", "REG_SZ", "22631")
            p.reg_add(CV, "DisplayVersion", "REG_SZ", "23H2")
            p.reg_add(CV, "UBR", "REG_DWORD", 4037)
            p.reg_add(CV, "BuildGUID", "REG_SZ", "ffffffff-ffff-ffff-ffff-ffffffffffff")
            p.reg_add(CV, "InstallTime", "REG_QWORD", 132670224000000000)
            old = SETUP + r"\Source OS (Updated on 3/2/2019 08:30:00)"
            p.reg_add(old, "ProductName", "REG_SZ", "Windows 10 Pro")
            p.reg_add(old, "CurrentBuildNumber", "REG_SZ", "17763")
            p.reg_add(old, "InstallTime", "REG_QWORD", 131959890000000000)
            p.reg_add(old, "ProductId", "REG_SZ", "00330-80000-00000-AA111")
            mid = SETUP + r"\Source OS (Updated on 1/15/2020 00:00:00)"
            p.reg_add(mid, "CurrentBuildNumber", "REG_SZ", "18363")
            p.reg_add(mid, "InstallDate", "REG_DWORD", 1579046400)
            p.reg_add(SETUP + r"\Status\SysprepStatus", "GeneralizationState", "REG_DWORD", 7)
            p.reg_add(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\WindowsUpdate", "SusClientId", "REG_SZ",
                      "a1b2c3d4-0000-1111-2222-333344445555")
            info = r"HKLM\SYSTEM\CurrentControlSet\Control\SystemInformation"
            p.reg_add(info, "ComputerHardwareId", "REG_SZ", "{aaaaaaaa-0000-0000-0000-000000000001}")
            p.reg_add(info, "ComputerHardwareIds", "REG_MULTI_SZ",
                      ["{aaaaaaaa-0000-0000-0000-000000000001}", "{bbbbbbbb-0000-0000-0000-000000000002}",
                       "{cccccccc-0000-0000-0000-000000000003}"])
            p.reg_add(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Authentication\LogonUI",
                      "LastLoggedOnProvider", "REG_SZ", "{CB82EA12-9F71-446D-89E1-8D0924E1256E}")
            p.reg_add(r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-0-0-0-1001",
                      "ProfileImagePath", "REG_SZ", r"C:\users\second")
            p.reg_add(r"HKCU\Control Panel\International\Geo", "Name", "REG_SZ", GEO_NAME)
            cls.raw, cls.raw_code = p.scan("raw")
            cls.safe, cls.safe_code = p.scan("safe")

    def test_version_and_windows_11_rule(self):
        self.assertEqual(self.raw_code, 0)
        self.assertEqual(e2e.collector_status(self.raw, "Windows"), "ok")
        self.assertEqual(row(self.raw, "windows.os", "Product")[1], "Windows 11 Pro")
        self.assertEqual(row(self.raw, "windows.os", "Build")[1], "22631.4037")
        self.assertEqual(signal(self.raw, "win.os")["v"], "Windows 11 Pro 23H2 (build 22631.4037)")
        self.assertEqual(row(self.raw, "windows.ids", "Installation time")[1], "2021-06-01 12:00:00 UTC")
        self.assertIsNone(signal(self.raw, "win.build_guid"))
        self.assertEqual(row(self.raw, "windows.os", "Sysprep generalization state")[1], "7 (complete)")
        self.assertEqual(row(self.raw, "windows.os", "Last logon credential provider")[1],
                         "PIN (Windows Hello) - {CB82EA12-9F71-446D-89E1-8D0924E1256E}")

    def test_lineage_oldest_first(self):
        lineage = rows(self.raw, "windows.lineage")
        self.assertEqual([(r[0], r[2], r[5]) for r in lineage],
                         [("1", "17763.0", "2019-03-02 08:30:00 UTC"), ("2", "18363.0", "2020-01-15 00:00:00 UTC")])
        self.assertEqual(row(self.raw, "windows.ids", "Original installation time (oldest Source OS entry)")[1],
                         "2019-03-02 08:30:00 UTC")
        self.assertEqual(row(self.raw, "windows.os", "Earlier Windows versions upgraded in place")[1], "2")
        checks = {c["id"]: c for c in self.raw["checks"]}
        self.assertEqual(checks["x.lineage"]["detail"],
                         "2 earlier Windows version(s) upgraded in place; the lineage was first installed in 2019-03")
        self.assertEqual(checks["x.susid"]["status"], "warn")

    def test_profiles_chids_and_user_text(self):
        self.assertEqual(signal(self.raw, "win.profile_rids")["v"], "1000, 1001")
        self.assertEqual(rows(self.raw, "windows.chid"),
                         [["0", "{aaaaaaaa-0000-0000-0000-000000000001}"],
                          ["1", "{bbbbbbbb-0000-0000-0000-000000000002}"],
                          ["2", "{cccccccc-0000-0000-0000-000000000003}"]])
        self.assertEqual(signal(self.raw, "win.chid")["scope"], "per-model")
        self.assertEqual(row(self.raw, "windows.os", "Region (Geo)")[1], GEO_NAME + " (GEOID 244)")

    def test_safe_report(self):
        self.assertEqual(self.safe_code, 0)
        texts = list(e2e.strings(self.safe))
        for value in ("a1b2c3d4-0000-1111-2222-333344445555", r"C:\users\second", "00330-80000-00000-AA111",
                      "2019-03-02 08:30:00 UTC"):
            self.assertFalse([t for t in texts if value in t], value)
        self.assertEqual(row(self.safe, "windows.os", "Product")[1], "Windows 11 Pro")


if __name__ == "__main__":
    unittest.main()
