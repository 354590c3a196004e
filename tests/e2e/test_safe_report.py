"""Privacy-safe reports of prefixes with planted identities.

- Owner, organization, DNS domain, clone tag, an upgraded lineage, Entra join
  and registration with a device certificate naming the device, an MDM
  enrollment: no value the report masks appears anywhere else in it.
- The identifiers Microsoft's services, Entra, Intune and Autopilot keep for the
  device, its user and its organization, with no certificate naming them: none
  appears in any case or separator form, and two safe reports agree on them.
- An organization named like a maker ("Microsoft"): only its own cell is masked
  beyond what the safe report of an unplanted prefix masks."""
import hashlib
import re
import struct
import subprocess
import tempfile
import unittest
import pathlib

import vorq_e2e as e2e

HMAC = re.compile(r"^hmac:[0-9A-F]{24}$")
# A pseudonym in place of a sentence's argument ("USB serial: hmac:...").
TAG = re.compile(r"hmac:[0-9A-F]{24}")
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
# Letters, spaces and the punctuation names are written with: a name, not an identifier.
PLAIN_NAME = re.compile(r"[^\W\d_]+(?:(?:[ ,'&()-]|\.(?=[ ,]|$))+[^\W\d_]*)*")


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


def self_signed_certificate(folder, subject):
    """DER of a self-signed certificate, as Windows makes for Remote Desktop."""
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "rdp.key", "-out", "rdp.der",
                    "-outform", "DER", "-days", "365", "-subj", "/CN=" + subject], cwd=folder, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return (pathlib.Path(folder) / "rdp.der").read_bytes()


def add_certificate(prefix, store, der):
    """Plants a certificate in a machine store; returns its SHA-1 thumbprint."""
    thumbprint = hashlib.sha1(der).hexdigest().upper()
    # The registry store's element: CERT_CERT_PROP_ID (32), 1, length, then the encoded certificate.
    blob = struct.pack("<III", 32, 1, len(der)) + der
    prefix.reg_add("HKLM\\SOFTWARE\\Microsoft\\SystemCertificates\\" + store + "\\Certificates\\" + thumbprint, "Blob",
                   "REG_BINARY", blob.hex().upper())
    return thumbprint


# The program's own words: names of members and of tables, signals, scores,
# items and checks, and column titles. No value masks them.
OWN_WORDS = {"schema", "tool", "version", "mode", "tab", "id", "key", "cat", "group", "scope", "status", "category",
             "title", "verdict", "label", "name", "columns"}


def shown_values(report):
    """Every string of a report other than the program's own words."""
    if isinstance(report, str):
        yield report
    elif isinstance(report, dict):
        for k, v in report.items():
            if k not in OWN_WORDS:
                yield from shown_values(v)
    elif isinstance(report, list):
        for v in report:
            yield from shown_values(v)


def pseudonyms(report):
    """{place: pseudonym} of every text a safe report masks, whole or an
    argument in place: signals by key and name, table cells by table, row (its
    first clear cell) and column, other texts by their path."""
    found = {}
    for s in report["signals"]:
        if s["sens"] and "v" not in s:
            found[("signal", s["key"], s["name"])] = s.get("h", "")
        for field in ("name", "src", "note"):
            if TAG.search(s.get(field, "")):
                found[("signal " + field, s["key"], s["name"])] = s[field]
    for t in report["tables"]:
        for i, row in enumerate(t["rows"]):
            label = next((c for c in row["c"] if c and not HMAC.match(c)), str(i))
            found.update((("cell", t["id"], label, j), c) for j, c in enumerate(row["c"]) if HMAC.match(c))
    rest = {k: v for k, v in report.items() if k not in ("signals", "tables")}

    def walk(node, path):
        if isinstance(node, str) and TAG.search(node):
            found[("text", path)] = node
        elif isinstance(node, dict):
            for k, v in node.items():
                walk(v, path + "/" + k)
        elif isinstance(node, list):
            for i, v in enumerate(node):
                walk(v, path + "/" + str(i))
    walk(rest, "")
    return found


def masked_places(report):
    return set(pseudonyms(report))


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
        with e2e.ScratchPrefix("safe-report") as p:
            thumbprint = add_certificate(p, "My", der)
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
        # The lineage check dates the masked first installation: the date is
        # masked in place, the program's words around it stay.
        lineage = [c for c in self.raw["checks"] if c["id"] == "x.lineage"][0]["detail"]
        self.assertEqual(lineage, "1 earlier Windows version(s) upgraded in place; the lineage was first installed in 2019-03")
        words = "1 earlier Windows version(s) upgraded in place; the lineage was first installed in "
        safe = [c for c in self.safe["checks"] if c["id"] == "x.lineage"][0]["detail"]
        self.assertTrue(safe.startswith(words), safe)
        self.assertRegex(safe[len(words):], HMAC)

    def test_no_masked_value_appears_elsewhere(self):
        masked = masked_values(self.raw, self.safe)
        planted = [OWNER + " / " + ORGANIZATION, DNS_DOMAIN, CLONE_TAG, DEVICE_ID, USER_EMAIL, self.thumbprint]
        for value in planted:
            self.assertIn(value, masked)
        texts = [normal(t) for t in shown_values(self.safe)]
        for value in set(masked):
            n = normal(value)
            if len(n) < 3 or len(set(n)) < 2:
                continue  # "0", a two-letter host name: no identity to restate
            if all(PLAIN_NAME.fullmatch(part) for part in value.split(" / ")):
                # A name restated whole; inside other texts it is an ordinary word.
                for part in value.split(" / "):
                    self.assertNotIn(normal(part), texts, value)
            elif len(n) >= 8 and len(set(n)) >= 4:
                self.assertFalse([t for t in texts if n in t], value)
            else:
                self.assertNotIn(n, texts, value)

    def test_organization_and_device_identifiers_masked(self):
        ids = {r["c"][0]: r["c"][1] for r in e2e.table(self.safe, "ms.ids")["rows"]}
        for name in ("Entra tenant ID (joined)", "Entra device ID (registered)", "Intune device ID (EntDMID)"):
            self.assertRegex(ids[name], HMAC, name)
        texts = [normal(t) for t in e2e.strings(self.safe)]
        for value in (TENANT_ID, REGISTERED_ID, ENTDMID):
            self.assertFalse([t for t in texts if normal(value) in t], value)


class PlantedDeviceIdentifiers(unittest.TestCase):
    """What Microsoft's services, Entra, Intune and Autopilot keep for this
    device, its user and its organization, with no certificate naming them."""
    MS = "HKLM\\SOFTWARE\\Microsoft"
    CU = "HKCU\\SOFTWARE\\Microsoft"
    VALUES = {
        "advertising": "5d0a3f2e-8c1b-4e7d-a9f6-2b4c6e8d0a13",
        "xbox": "F9C1A7E3B5D2486A9C0E1F3A5B7D9E2C",
        "edge uid": "{7B3E9D1F-4A6C-4E8B-9D2F-1C3E5A7B9D0F}",
        "edge old uid": "{2A4C6E8F-1B3D-4F5A-8C7E-9D0B2A4C6E81}",
        "office install": "{C3E5A7B9-D1F3-4B5D-8E7F-A9C1E3B5D7F9}",
        "office telemetry": "4D2F6B8A-0C1E-4A3B-9D5F-7E9A1C3B5D7E",
        "onedrive device": "8e6c4a20-1f3d-4b5a-9c7e-0d2f4b6a8c1e",
        "onedrive originator": "b1d3f5a7-9c2e-4d6b-8f0a-3c5e7a9b1d4f",
        "onedrive box": "e7c9a1b3-5d2f-4a6e-8b0c-1d3f5a7c9e2b",
        "office originator": "0f2e4d6c-8b1a-4c3e-9f5d-7a9b1c3e5d6f",
        "cdp": "d3Vq8tY2nL5pR7sK9mB1xC4zF6hJ0gW3",
        "msa device": "02000B2C4E6A8D0F",
        "msa user": "0300A1C3E5B7D9F2",
        "joined device": "61d3b5f7-9a2c-4e4d-8f6a-0b2d4c6e8a1f",
        "joined tenant": "c2e4a6b8-0d1f-4f3a-9b5c-7d9e1f3a5b7c",
        "registered device": "a8c0e2b4-6d1f-4a3c-8e5b-7f9d1b3c5e2a",
        "registered tenant": "f4b6d8a0-2c3e-4b5d-9a7f-1e3c5b7d9f0a",
        "registered thumbprint": "9B1D3F5A7C2E4B6D8F0A1C3E5B7D9F2A4C6E8B0D",
        "idp domain": "login.hollowmere.example",
        "entdmid": "7c9e1a3b-5d4f-4e6a-8b2c-0d1e3f5a7b9c",
        "discovery": "https://mdm.hollowmere.example/EnrollmentServer/Discovery.svc",
        "enrollment": "{3D5F7A9B-1C2E-4F4A-8B6D-9E0F1A3C5B7D}",
        "autopilot tenant": "b0d2f4a6-8c1e-4a3b-9d5f-6e8a0c2b4d7f",
        "autopilot domain": "hollowmere.onmicrosoft.example",
        "network profile": "{E1A3C5B7-D9F2-4A4C-8E6B-0D2F4A6C8E1B}",
    }
    USER_EMAIL = "t.vandermeer@hollowmere.example"

    @classmethod
    def setUpClass(cls):
        v = cls.VALUES
        ms, cu = cls.MS, cls.CU
        with e2e.ScratchPrefix("device-identifiers") as p:
            p.reg_add(cu + "\\Windows\\CurrentVersion\\AdvertisingInfo", "Id", "REG_SZ", v["advertising"])
            p.reg_add(ms + "\\XboxLive", "DeviceId", "REG_SZ", v["xbox"])
            edge = "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate"
            p.reg_add(edge, "uid", "REG_SZ", v["edge uid"])
            p.reg_add(edge, "old-uid", "REG_SZ", v["edge old uid"])
            p.reg_add(edge, "uid-create-time", "REG_DWORD", 1700000000)
            p.reg_add(edge, "uid-num-rotations", "REG_DWORD", 3)
            c2r = ms + "\\Office\\ClickToRun\\Configuration"
            p.reg_add(c2r, "InstallID", "REG_SZ", v["office install"])
            p.reg_add(c2r, "ProductReleaseIds", "REG_SZ", "O365ProPlusRetail")
            p.reg_add(cu + "\\Office\\Common\\ClientTelemetry", "MotherboardUUID", "REG_SZ", v["office telemetry"])
            onedrive = cu + "\\OneDrive"
            p.reg_add(onedrive, "DeviceIdForODC", "REG_SZ", v["onedrive device"])
            p.reg_add(onedrive, "OriginatorIdForODC", "REG_SZ", v["onedrive originator"])
            p.reg_add(onedrive, "BoxIdForOffice", "REG_SZ", v["onedrive box"])
            p.reg_add(onedrive, "OfficeOriginatorID", "REG_SZ", v["office originator"])
            for local in p.path.glob("drive_c/users/*/AppData/Local"):
                if local.parent.parent.name != "Public":
                    cdp = local / "ConnectedDevicesPlatform"
                    cdp.mkdir(exist_ok=True)
                    (cdp / "CDPGlobalSettings.cdp").write_text('{"VirtualDeviceId":"%s","Version":3}' % v["cdp"])
            production = "HKU\\S-1-5-18\\Software\\Microsoft\\IdentityCRL\\DeviceIdentities\\production\\"
            p.reg_add(production + "S-1-5-18", "ValidDeviceId", "REG_SZ", v["msa device"])
            p.reg_add(production + "S-1-5-21-0-0-0-1000", "ValidDeviceId", "REG_SZ", v["msa user"])
            with tempfile.TemporaryDirectory() as tmp:
                rdp = self_signed_certificate(tmp, "vm")
                personal = device_certificate(tmp)
            add_certificate(p, "Remote Desktop", rdp)
            # The join record is named by the SHA-1 thumbprint of this machine's certificate.
            joined_thumbprint = add_certificate(p, "My", personal)
            cls.planted = list(v.items()) + [("joined thumbprint", joined_thumbprint)]
            cls.planted += [("SHA-256 thumbprint", hashlib.sha256(der).hexdigest()) for der in (rdp, personal)]
            join = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\CloudDomainJoin\\JoinInfo\\" + joined_thumbprint
            p.reg_add(join, "DeviceId", "REG_SZ", v["joined device"])
            p.reg_add(join, "TenantId", "REG_SZ", v["joined tenant"])
            p.reg_add(join, "IdpDomain", "REG_SZ", v["idp domain"])
            p.reg_add(join, "UserEmail", "REG_SZ", cls.USER_EMAIL)
            wp = cu + "\\Windows NT\\CurrentVersion\\WorkplaceJoin\\JoinInfo\\" + v["registered thumbprint"]
            p.reg_add(wp, "DeviceId", "REG_SZ", v["registered device"])
            p.reg_add(wp, "TenantId", "REG_SZ", v["registered tenant"])
            enr = ms + "\\Enrollments\\" + v["enrollment"]
            p.reg_add(enr, "EnrollmentType", "REG_DWORD", 6)
            p.reg_add(enr, "ProviderID", "REG_SZ", "MS DM Server")
            p.reg_add(enr, "UPN", "REG_SZ", cls.USER_EMAIL)
            p.reg_add(enr, "DiscoveryServiceFullURL", "REG_SZ", v["discovery"])
            p.reg_add(enr + "\\DMClient\\MS DM Server", "EntDMID", "REG_SZ", v["entdmid"])
            autopilot = ms + "\\Provisioning\\Diagnostics\\AutoPilot"
            p.reg_add(autopilot, "CloudAssignedTenantId", "REG_SZ", v["autopilot tenant"])
            p.reg_add(autopilot, "CloudAssignedTenantDomain", "REG_SZ", v["autopilot domain"])
            profile = ms + "\\Windows NT\\CurrentVersion\\NetworkList\\Profiles\\" + v["network profile"]
            p.reg_add(profile, "ProfileName", "REG_SZ", "Network 2")
            p.reg_add(profile, "Category", "REG_DWORD", 0)
            p.reg_add(profile, "NameType", "REG_DWORD", 6)
            cls.raw, cls.raw_code = p.scan("raw")
            cls.safe, cls.safe_code = p.scan("safe")
            cls.again, _ = p.scan("safe")

    def test_every_identifier_planted(self):
        self.assertEqual((self.raw_code, self.safe_code), (0, 0))
        raw_texts = [normal(t) for t in e2e.strings(self.raw)]
        for name, value in self.planted:
            self.assertTrue([t for t in raw_texts if normal(value) in t], name)

    def test_no_identifier_in_the_safe_report(self):
        texts = [normal(t) for t in e2e.strings(self.safe)]
        for name, value in self.planted:
            self.assertFalse([t for t in texts if normal(value) in t], name)
        for key in ("ms.advertising_id", "ms.xbox_device_id", "ms.edge_update_uid", "ms.office_install_id",
                    "ms.office_device_id", "ms.onedrive_device_id", "ms.cdp_device_id", "ms.msa_device_id",
                    "ms.msa_device_id_user", "ms.entra_device_id", "ms.entra_tenant", "ms.intune_device_id",
                    "win.rdp_cert"):
            found = [s for s in self.safe["signals"] if s["key"] == key]
            self.assertTrue(found, key)
            for s in found:
                self.assertTrue(s["sens"] and "v" not in s and s["h"], key)

    def test_states_stay_readable(self):
        ids = {r["c"][0]: r["c"][1] for r in e2e.table(self.safe, "ms.ids")["rows"]}
        self.assertEqual(ids["Edge Update client ID history"], "3 rotation(s)")
        self.assertEqual(ids["Office Click-to-Run products"], "O365ProPlusRetail")
        self.assertEqual(ids["Current user RID (local account)"], "1000")
        enrollment = e2e.table(self.safe, "ms.enrollments")["rows"][0]["c"]
        self.assertEqual(enrollment[1:3], ["6", "MS DM Server"])

    def test_two_safe_reports_agree(self):
        # The planted identifiers' places: what other collectors mask may vary
        # between two scans of a loaded machine.
        def planted(report):
            return {place: p for place, p in pseudonyms(report).items()
                    if place[1].startswith("ms.") or place[1] in ("windows.certs", "net.profiles", "win.rdp_cert")}
        first = planted(self.safe)
        self.assertGreaterEqual(len(first), len(self.VALUES))
        self.assertEqual(first, planted(self.again))


class OrganizationNamedLikeAMaker(unittest.TestCase):
    """An organization named "Microsoft" masks its own cell and nothing else:
    not the OS name, registry paths, signers or labels that use the word."""

    @classmethod
    def setUpClass(cls):
        with e2e.ScratchPrefix("organization-word") as p:
            p.reg_add(CV, "RegisteredOrganization", "REG_SZ", "Microsoft")
            cls.safe, cls.code = p.scan("safe")
        cls.unplanted, _, _ = e2e.scan("safe")

    def test_only_the_organization_is_masked(self):
        self.assertEqual(self.code, 0)
        self.assertEqual(masked_places(self.safe) - masked_places(self.unplanted),
                         {("cell", "windows.os", "Registered owner / organization", 1)})
        self.assertEqual(masked_places(self.unplanted) - masked_places(self.safe), set())


if __name__ == "__main__":
    unittest.main()
