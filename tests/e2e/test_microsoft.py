"""The "Microsoft and cloud" collector in the real program under Wine: its
three tables in order, Wine's answers (workgroup, local user, no join, no MDM,
no MDM bridge), the masks of a privacy-safe report, and registry-backed
identifiers written into a scratch prefix."""
import unittest

import vorq_e2e as e2e

TABLES = ["ms.ids", "ms.enrollments", "ms.autopilot"]
LM = "HKLM\\SOFTWARE\\Microsoft"
CU = "HKCU\\SOFTWARE\\Microsoft"
VALIDATION = ("01020304" + "SERIAL1234".encode("utf-16-le").hex() + "FFFE" + "DISK98765".encode("utf-16-le").hex()).upper()
AD_ID = 'ad"<b>\\id'  # HKCU text any user can write
JOIN_THUMBPRINT = "0123456789ABCDEF"


def ids(report):
    return {r["c"][0]: r for r in e2e.table(report, "ms.ids")["rows"]}


def signals(report, key):
    return [s for s in report["signals"] if s["key"] == key]


class MicrosoftReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.raw, _, cls.raw_code = e2e.scan("raw")
        cls.safe, _, _ = e2e.scan("safe")

    def test_run_and_tables_in_order(self):
        self.assertEqual(self.raw_code, 0)
        self.assertEqual(e2e.collector_status(self.raw, "Microsoft and cloud"), "ok")
        self.assertEqual([t for t in e2e.table_ids(self.raw) if t.startswith("ms.")], TABLES)
        for t in TABLES:
            self.assertEqual(e2e.table(self.raw, t)["tab"], "microsoft")

    def test_wine_answers(self):
        rows = ids(self.raw)
        self.assertEqual(rows["Domain / workgroup"]["c"][1], "workgroup Workgroup")
        self.assertEqual(signals(self.raw, "ms.user_rid")[0]["v"], "1000")
        self.assertEqual(rows["Microsoft Entra"]["c"][1], "not joined, not registered")
        self.assertEqual(rows["OMA-DM server accounts (MDM configurations)"]["c"][1], "none")
        self.assertEqual(rows["Client Machine ID (CMID, volume activation)"]["c"][1],
                         "not available on this installation")
        self.assertEqual(e2e.table(self.raw, "ms.enrollments")["rows"], [])
        hh = rows["Autopilot hardware hash (OA3 4K HH)"]["c"]
        self.assertTrue(hh[1].startswith("[info] not available: ConnectServer(ROOT\\CIMV2\\MDM\\DMMAP): "
                                         "HRESULT 0x8004100E"), hh[1])
        self.assertEqual(e2e.table(self.raw, "ms.autopilot")["rows"][0]["c"], ["DeviceHardwareData", hh[1]])
        items = {i["label"]: i for s in self.raw["scores"] for i in s["items"]}
        self.assertEqual(items["Microsoft Autopilot hardware hash"]["note"], "not available")

    def test_safe_report_hides_the_user(self):
        # Wine's user is root: a built-in account names nobody and stays readable; any other is masked
        # (test_safe_names plants one).
        user = ids(self.raw)["Current user"]["c"][1]
        self.assertTrue(user)
        safe = ids(self.safe)["Current user"]["c"][1]
        if user.lower() in ("root", "administrator", "admin", "guest", "user", "owner"):
            self.assertEqual(safe, user)
        else:
            self.assertRegex(safe, r"^hmac:[0-9A-F]{24}$")


class MicrosoftRegistryValues(unittest.TestCase):
    """Identifiers of a managed, signed-in machine written into a scratch prefix."""

    @classmethod
    def setUpClass(cls):
        with e2e.ScratchPrefix("microsoft") as p:
            p.reg_add(LM + "\\SQMClient", "MachineId", "REG_SZ", "{A1B2C3D4-0000-1111-2222-333344445555}")
            p.reg_add("HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\DataCollection", "AllowTelemetry",
                      "REG_DWORD", 1)
            p.reg_add(CU + "\\Windows\\CurrentVersion\\AdvertisingInfo", "Id", "REG_SZ", AD_ID)
            p.reg_add(LM + "\\Windows\\CurrentVersion\\WindowsUpdate", "SusClientId", "REG_SZ",
                      "a1b2c3d4-0000-1111-2222-333344445555")
            p.reg_add(LM + "\\Windows\\CurrentVersion\\WindowsUpdate", "SusClientIdValidation", "REG_BINARY",
                      VALIDATION)
            p.reg_add(LM + "\\XboxLive", "DeviceId", "REG_SZ", "xbox-device-1")
            p.reg_add("HKU\\S-1-5-18\\Software\\Microsoft\\IdentityCRL\\DeviceIdentities\\production\\S-1-5-18",
                      "ValidDeviceId", "REG_SZ", "02000000DEVICE")
            join = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\CloudDomainJoin\\JoinInfo\\" + JOIN_THUMBPRINT
            p.reg_add(join, "DeviceId", "REG_SZ", "dev-joined-1")
            p.reg_add(join, "TenantId", "REG_SZ", "tenant-1")
            p.reg_add(join, "UserEmail", "REG_SZ", "alice@corp.example")
            wp = CU + "\\Windows NT\\CurrentVersion\\WorkplaceJoin\\JoinInfo\\FEDCBA9876543210"
            p.reg_add(wp, "DeviceId", "REG_SZ", "dev-registered-2")
            enr = LM + "\\Enrollments"
            p.reg_add(enr + "\\{LOCAL}", "EnrollmentType", "REG_DWORD", 14)
            p.reg_add(enr + "\\{LOCAL}", "ProviderID", "REG_SZ", "MS DM Server")
            p.reg_add(enr + "\\{INTUNE}", "EnrollmentType", "REG_DWORD", 6)
            p.reg_add(enr + "\\{INTUNE}", "ProviderID", "REG_SZ", "MS DM Server")
            p.reg_add(enr + "\\{INTUNE}", "UPN", "REG_SZ", "alice@corp.example")
            p.reg_add(enr + "\\{INTUNE}\\DMClient\\MS DM Server", "EntDMID", "REG_SZ", "ENTDMID-1")
            p.reg_add("HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate", "uid", "REG_SZ", "{EDGE-WOW}")
            p.reg_add(LM + "\\EdgeUpdate", "uid", "REG_SZ", "{EDGE-NATIVE}")
            c2r = LM + "\\Office\\ClickToRun\\Configuration"
            p.reg_add(c2r, "InstallID", "REG_SZ", "OFFICE-INSTALL-1")
            p.reg_add(c2r, "UpdateChannel", "REG_SZ",
                      "http://officecdn.microsoft.com/pr/492350F6-3A01-4F97-B9C0-C7C6DDF67D60")
            p.reg_add(CU + "\\OneDrive\\Accounts\\Personal", "UserEmail", "REG_SZ", "x@example.com")
            p.reg_add(CU + "\\OneDrive", "ClientEverSignedIn", "REG_DWORD", 1)
            for users in p.path.glob("drive_c/users/*/AppData/Local"):
                if users.parent.parent.name != "Public":
                    cdp = users / "ConnectedDevicesPlatform"
                    cdp.mkdir(exist_ok=True)
                    (cdp / "CDPGlobalSettings.cdp").write_text('{"VirtualDeviceId":"cdp-virtual-1","x":2}')
            cls.raw, cls.raw_code = p.scan("raw")
            cls.safe, cls.safe_code = p.scan("safe")

    def test_identifiers(self):
        self.assertEqual(self.raw_code, 0)
        self.assertEqual(e2e.collector_status(self.raw, "Microsoft and cloud"), "ok")
        rows = ids(self.raw)
        self.assertEqual(rows["Diagnostic data device ID (ext.device.localId)"]["c"][1],
                         "s:A1B2C3D4-0000-1111-2222-333344445555")
        level = rows["Diagnostic data level (AllowTelemetry)"]["c"]
        self.assertEqual(level[1:], ["1 - Required", "state",
                                     "HKLM\\...\\DataCollection\\AllowTelemetry; machine policy 1"])
        self.assertEqual(signals(self.raw, "ms.advertising_id")[0]["v"], AD_ID)
        self.assertEqual(signals(self.raw, "ms.sus_validation")[0]["v"],
                         VALIDATION + " (text: SERIAL1234 | DISK98765)")
        self.assertEqual(signals(self.raw, "ms.xbox_device_id")[0]["v"], "xbox-device-1")
        self.assertEqual(signals(self.raw, "ms.msa_device_id")[0]["v"], "02000000DEVICE")
        self.assertEqual([s["v"] for s in signals(self.raw, "ms.entra_device_id")],
                         ["dev-joined-1", "dev-registered-2"])
        self.assertEqual([s["v"] for s in signals(self.raw, "ms.edge_update_uid")], ["{EDGE-WOW}"])
        self.assertEqual(rows["Office update channel"]["c"][1],
                         "Current Channel; 492350F6-3A01-4F97-B9C0-C7C6DDF67D60")
        self.assertEqual(rows["OneDrive accounts configured"]["c"][1], "Personal")
        self.assertEqual(rows["OneDrive client ever signed in"]["c"][1], "yes")
        self.assertEqual(signals(self.raw, "ms.cdp_device_id")[0]["v"], "cdp-virtual-1")

    def test_enrollments_and_assessment(self):
        enrollments = [r["c"] for r in e2e.table(self.raw, "ms.enrollments")["rows"]]
        self.assertEqual(sorted(r[0] for r in enrollments), ["{INTUNE}", "{LOCAL}"])
        self.assertEqual(signals(self.raw, "ms.intune_device_id")[0]["v"], "ENTDMID-1")
        checks = {c["id"]: c for c in self.raw["checks"]}
        self.assertEqual(checks["x.susid"]["status"], "pass")
        items = {i["label"]: i for s in self.raw["scores"] for i in s["items"]}
        self.assertEqual(items["Microsoft Entra device identity"]["note"],
                         "joined - device ID and tenant ID present")
        self.assertEqual(items["MDM enrollment"]["note"], "enrolled - Intune device ID present")

    def test_safe_report(self):
        self.assertEqual(self.safe_code, 0)
        texts = list(e2e.strings(self.safe))
        for value in ("A1B2C3D4-0000-1111-2222-333344445555", "alice@corp.example", VALIDATION, JOIN_THUMBPRINT):
            self.assertFalse([t for t in texts if value in t], value)
        self.assertEqual(ids(self.safe)["Domain / workgroup"]["c"][1], "workgroup Workgroup")


if __name__ == "__main__":
    unittest.main()
