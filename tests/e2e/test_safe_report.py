"""A privacy-safe report of a prefix with planted identities (owner,
organization, DNS domain, clone tag, an upgraded lineage, Entra join and
registration with a device certificate naming the device, an MDM enrollment):
no value the report masks appears anywhere else in it."""
import hashlib
import re
import struct
import subprocess
import tempfile
import unittest
import pathlib

import vorq_e2e as e2e

HMAC = re.compile(r"^hmac:[0-9A-F]{24}$")
CV = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
OWNER = "Marguerite Quellbrandt"
ORGANIZATION = "Hollowmere Logistics"
DNS_DOMAIN = "corp.hollowmere.example"
CLONE_TAG = "Tue Mar 05 10:22:41 2024"
DEVICE_ID = "6f0d2c8e-4b1a-4f3e-9c71-2a5e8b3d9f40"
TENANT_ID = "b7e1c4a2-5d3f-4e8a-9b6c-1f2e3d4c5b6a"
USER_EMAIL = "m.quellbrandt@hollowmere.example"
REGISTERED_ID = "3c9e7a15-d2b4-4c6f-8e1a-7b5d9f2c4e60"
ENTDMID = "e3a19b7c-2f4d-4a8e-b6c1-9d7f5e3a2b18"
SEPARATORS = set("-:{} ._\\/\t\r\n")


def normal(text):
    """The text as the masking compares it: no letter case, no separators."""
    return "".join(c.lower() if c.isascii() else c for c in text if c not in SEPARATORS)


def device_certificate(folder):
    """DER of a certificate issued by a throw-away CA to CN=<device ID>, as Entra join makes one."""
    def ossl(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ossl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "3650",
         "-subj", "/CN=MS-Organization-Access", "-addext", "basicConstraints=critical,CA:TRUE")
    ossl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "dev.key", "-out", "dev.csr", "-subj", "/CN=" + DEVICE_ID)
    (pathlib.Path(folder) / "ext.cnf").write_text("basicConstraints=CA:FALSE\n")
    ossl("x509", "-req", "-in", "dev.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-days", "3650",
         "-extfile", "ext.cnf", "-outform", "DER", "-out", "dev.der")
    return (pathlib.Path(folder) / "dev.der").read_bytes()


def masked_values(raw, safe):
    """Every raw value whose place in the safe report is masked."""
    found = []
    raw_signals, safe_signals = raw["signals"], safe["signals"]
    assert [s["key"] for s in raw_signals] == [s["key"] for s in safe_signals]
    for r, s in zip(raw_signals, safe_signals):
        if "v" not in s and r.get("v"):
            found.append(r["v"])
    raw_tables = {t["id"]: t for t in raw["tables"]}
    for t in safe["tables"]:
        r = raw_tables[t["id"]]
        assert len(r["rows"]) == len(t["rows"]), t["id"]
        for rr, sr in zip(r["rows"], t["rows"]):
            for rc, sc in zip(rr["c"], sr["c"]):
                if HMAC.match(sc) and rc and not HMAC.match(rc):
                    found.append(rc)
    for r, s in zip(raw["checks"], safe["checks"]):
        if HMAC.match(s["detail"]) and not HMAC.match(r["detail"]):
            found.append(r["detail"])
    return found


class PlantedIdentities(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with tempfile.TemporaryDirectory() as tmp:
            der = device_certificate(tmp)
        thumbprint = hashlib.sha1(der).hexdigest().upper()
        # The registry store's element: CERT_CERT_PROP_ID (32), 1, length, then the encoded certificate.
        blob = struct.pack("<III", 32, 1, len(der)) + der
        with e2e.ScratchPrefix("safe-report") as p:
            p.reg_add(CV, "RegisteredOwner", "REG_SZ", OWNER)
            p.reg_add(CV, "RegisteredOrganization", "REG_SZ", ORGANIZATION)
            p.reg_add(r"HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters", "Domain", "REG_SZ", DNS_DOMAIN)
            p.reg_add(r"HKLM\SYSTEM\Setup", "CloneTag", "REG_MULTI_SZ", [CLONE_TAG])
            old = r"HKLM\SYSTEM\Setup\Source OS (Updated on 3/5/2024 10:22:41)"
            p.reg_add(old, "ProductName", "REG_SZ", "Windows 10 Pro")
            p.reg_add(old, "CurrentBuildNumber", "REG_SZ", "19045")
            p.reg_add(old, "InstallTime", "REG_QWORD", 131959890000000000)
            join = r"HKLM\SYSTEM\CurrentControlSet\Control\CloudDomainJoin\JoinInfo" + "\\" + thumbprint
            p.reg_add(join, "DeviceId", "REG_SZ", DEVICE_ID)
            p.reg_add(join, "TenantId", "REG_SZ", TENANT_ID)
            p.reg_add(join, "UserEmail", "REG_SZ", USER_EMAIL)
            wp = r"HKCU\SOFTWARE\Microsoft\Windows NT\CurrentVersion\WorkplaceJoin\JoinInfo\FEDCBA9876543210"
            p.reg_add(wp, "DeviceId", "REG_SZ", REGISTERED_ID)
            p.reg_add(wp, "TenantId", "REG_SZ", TENANT_ID)
            p.reg_add(r"HKLM\SOFTWARE\Microsoft\SystemCertificates\My\Certificates" + "\\" + thumbprint, "Blob",
                      "REG_BINARY", blob.hex().upper())
            enr = r"HKLM\SOFTWARE\Microsoft\Enrollments\{8C2E5B1A-3D4F-4E6A-9B7C-0D1E2F3A4B5C}"
            p.reg_add(enr, "EnrollmentType", "REG_DWORD", 6)
            p.reg_add(enr, "ProviderID", "REG_SZ", "MS DM Server")
            p.reg_add(enr, "UPN", "REG_SZ", USER_EMAIL)
            p.reg_add(enr + r"\DMClient\MS DM Server", "EntDMID", "REG_SZ", ENTDMID)
            cls.raw, cls.raw_code = p.scan("raw")
            cls.safe, cls.safe_code = p.scan("safe")
        cls.thumbprint = thumbprint

    def os_row(self, report, name):
        rows = [r["c"][1] for r in e2e.table(report, "windows.os")["rows"] if r["c"][0] == name]
        return rows[0] if rows else None

    def test_operating_system_masks(self):
        self.assertEqual((self.raw_code, self.safe_code), (0, 0))
        for name, value in (("Registered owner / organization", OWNER + " / " + ORGANIZATION),
                            ("DNS domain", DNS_DOMAIN), ("Setup clone tag (CloneTag)", CLONE_TAG)):
            self.assertEqual(self.os_row(self.raw, name), value, name)
            self.assertRegex(self.os_row(self.safe, name), HMAC, name)

    def test_device_certificate_and_restatements_masked(self):
        certs = [r["c"] for r in e2e.table(self.raw, "windows.certs")["rows"] if r["c"][0] == "personal (My)"]
        self.assertEqual([(c[2], c[3], c[7]) for c in certs], [(DEVICE_ID, "MS-Organization-Access", "end entity")])
        ids = {r["c"][0]: r for r in e2e.table(self.safe, "ms.ids")["rows"]}
        # Entra's device ID names the masked certificate, so its row and its signal keep that mask.
        self.assertRegex(ids["Entra device ID (joined)"]["c"][1], HMAC)
        joined = [s for s in self.safe["signals"] if s["key"] == "ms.entra_device_id"]
        self.assertNotIn("v", joined[0])
        # The lineage check dates the masked first installation.
        lineage = [c for c in self.raw["checks"] if c["id"] == "x.lineage"][0]["detail"]
        self.assertEqual(lineage, "1 earlier Windows version(s) upgraded in place; the lineage was first installed in 2019-03")
        self.assertRegex([c for c in self.safe["checks"] if c["id"] == "x.lineage"][0]["detail"], HMAC)

    def test_no_masked_value_appears_elsewhere(self):
        masked = masked_values(self.raw, self.safe)
        planted = [OWNER + " / " + ORGANIZATION, DNS_DOMAIN, CLONE_TAG, DEVICE_ID, USER_EMAIL, self.thumbprint]
        for value in planted:
            self.assertIn(value, masked)
        texts = [normal(t) for t in e2e.strings(self.safe)]
        for value in set(masked):
            n = normal(value)
            if len(n) < 3 or len(set(n)) < 2:
                continue  # "0", a two-letter host name: no identity to restate
            if len(n) >= 8 and len(set(n)) >= 4:
                self.assertFalse([t for t in texts if n in t], value)
            else:
                self.assertNotIn(n, texts, value)

    def test_values_masked_nowhere_stay(self):
        ids = {r["c"][0]: r["c"][1] for r in e2e.table(self.safe, "ms.ids")["rows"]}
        self.assertEqual(ids["Entra tenant ID (joined)"], TENANT_ID)
        self.assertEqual(ids["Entra device ID (registered)"], REGISTERED_ID)
        self.assertEqual(ids["Intune device ID (EntDMID)"], ENTDMID)


if __name__ == "__main__":
    unittest.main()
