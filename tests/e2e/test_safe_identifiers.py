"""Per-install identifiers a privacy-safe report once showed, planted in a
prefix: the DHCPv6 DUID of any type and a DUID-LLT's generation time, the Edge
Update ID's creation time, certificates made on this machine or issued to it in
the personal store (a root CA's too), and print queues and ports named after a
printer's host. None appears in the safe report in any case or separator form;
the states next to them (the DUID's type, the rotation count, a localhost
certificate's name, queue names a driver gives) stay readable. The TPM values (AIK hash, PCR1
and PCR5, the provisioning time) need a TPM, which Wine does not have: unit
tests and the simulator's test cover them."""
import datetime
import hashlib
import pathlib
import subprocess
import tempfile
import unittest

import vorq_e2e as e2e
from test_safe_report import HMAC, add_certificate, normal

DUID_TIME = 0x2B7E1516  # seconds since 2000-01-01
DUID_MAC = "5A17C0DE4B21"
DUID_LLT = "00010001%08X%s" % (DUID_TIME, DUID_MAC)
DUID_EN = "00020000013788E4C1A7305D9F2B"
EDGE_CREATED = 1712345678
PRINTERS = r"HKLM\SYSTEM\CurrentControlSet\Control\Print\Printers" + "\\"
# (queue, port, driver, masked cells of Printer, Port)
QUEUES = [
    ("NPI8C2A1F (HP LaserJet 400 M401dne)", "LPT1:", "HP LaserJet 400 M401 PCL 6", (True, False)),
    ("Brother MFC-L2710DW series", "BRW3C2AF41B2C9E", "Brother MFC-L2710DW series", (False, True)),
    ("HP1A2B3C", "HP1A2B3C", "HP Universal Printing PCL 6", (True, True)),
    ("HP LaserJet 400 M401", "USB001", "HP LaserJet 400 M401 PCL 6", (False, False)),
    ("Canon TS3100 series", "PORTPROMPT:", "Canon TS3100 series", (False, False)),
]
ISSUER = "Hollowmere Issuing CA 02"
MACHINE_SUBJECT = "ws-0451.hollowmere.example"
ROOT = "Vellmoor Certification Authority"  # not "Root": under Wine the user is "root"
MAIL_CA = "ana.lindqvist1986@example.org"  # digits: no organization is left of it
PERSON_CA = "Bo Kjellberg CA"


def utc(seconds):
    return datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).strftime("%Y-%m-%d %H:%M:%S UTC")


def certificates(folder):
    """DER of: a self-signed "localhost" with no basic constraints (a local web
    server's), a self-signed test signer that says it is no CA, a machine
    certificate an organization's CA issued, a self-signed root CA, and two
    self-signed CAs a person made: one whose subject is only an address, one
    named after the person."""
    folder = pathlib.Path(folder)

    def ossl(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    # A configuration without extensions: openssl's own adds "CA:TRUE" to every self-signed certificate.
    (folder / "bare.cnf").write_text("[req]\ndistinguished_name=dn\nprompt=no\n[dn]\nCN=localhost\n")
    ossl("req", "-x509", "-config", "bare.cnf", "-newkey", "rsa:2048", "-nodes", "-keyout", "lh.key",
         "-out", "localhost.der", "-outform", "DER", "-days", "365")
    ossl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out", "signer.der",
         "-outform", "DER", "-days", "365", "-subj", "/CN=Local Test Signer",
         "-addext", "basicConstraints=critical,CA:FALSE")
    ossl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "3650",
         "-subj", "/CN=" + ISSUER, "-addext", "basicConstraints=critical,CA:TRUE")
    ossl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "ws.key", "-out", "ws.csr", "-subj", "/CN=" + MACHINE_SUBJECT)
    (folder / "ext.cnf").write_text("basicConstraints=CA:FALSE\n")
    ossl("x509", "-req", "-in", "ws.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-days", "365",
         "-extfile", "ext.cnf", "-outform", "DER", "-out", "ws.der")
    ossl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "root.key", "-out", "root.der",
         "-outform", "DER", "-days", "3650", "-subj", "/CN=" + ROOT, "-addext", "basicConstraints=critical,CA:TRUE")
    for name, subject in (("mail", "/emailAddress=" + MAIL_CA), ("person", "/CN=" + PERSON_CA)):
        ossl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".der",
             "-outform", "DER", "-days", "3650", "-subj", subject, "-addext", "basicConstraints=critical,CA:TRUE")
    return {name: (folder / (name + ".der")).read_bytes()
            for name in ("localhost", "signer", "ws", "root", "mail", "person")}


def rows(report, table_id):
    return [r["c"] for r in e2e.table(report, table_id)["rows"]]


def value_of(report, table_id, label):
    found = [c[1] for c in rows(report, table_id) if c[0] == label]
    return found[0] if found else None


class PlantedInstallationIdentifiers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with tempfile.TemporaryDirectory() as tmp:
            cls.der = certificates(tmp)
        with e2e.ScratchPrefix("safe-identifiers") as p:
            p.reg_add(r"HKLM\SYSTEM\CurrentControlSet\Services\Tcpip6\Parameters", "Dhcpv6DUID", "REG_BINARY",
                      DUID_LLT)
            edge = r"HKLM\SOFTWARE\WOW6432Node\Microsoft\EdgeUpdate"
            p.reg_add(edge, "uid", "REG_SZ", "{5E0B7C3A-91D4-4F26-A8E1-3C7B9D2F6A40}")
            p.reg_add(edge, "uid-create-time", "REG_DWORD", EDGE_CREATED)
            p.reg_add(edge, "uid-num-rotations", "REG_DWORD", 3)
            for der in cls.der.values():
                add_certificate(p, "My", der)
            for queue, port, driver, _ in QUEUES:
                p.reg_add(PRINTERS + queue, "Name", "REG_SZ", queue)
                p.reg_add(PRINTERS + queue, "Port", "REG_SZ", port)
                p.reg_add(PRINTERS + queue, "Printer Driver", "REG_SZ", driver)
                p.reg_add(PRINTERS + queue, "Attributes", "REG_DWORD", 0)
            cls.raw, cls.raw_code = p.scan("raw")
            cls.safe, cls.safe_code = p.scan("safe")
        cls.thumb = {name: hashlib.sha256(der).hexdigest() for name, der in cls.der.items()}
        # Every value planted or derived that names this installation.
        cls.hidden = {
            "DUID": DUID_LLT,
            "DUID generation time": utc(DUID_TIME + 946684800),
            "Edge Update ID creation time": utc(EDGE_CREATED),
            "localhost thumbprint": cls.thumb["localhost"],
            "test signer thumbprint": cls.thumb["signer"],
            "machine certificate thumbprint": cls.thumb["ws"],
            "machine certificate subject": MACHINE_SUBJECT,
            "machine certificate issuer": ISSUER,
            "printer host NPI": "NPI8C2A1F",
            "printer host BRW": "BRW3C2AF41B2C9E",
            "printer host HP": "HP1A2B3C",
            "root CA thumbprint": cls.thumb["root"],
            "root CA": ROOT,
            "address-only CA": MAIL_CA,
            "address-only CA thumbprint": cls.thumb["mail"],
            "person's CA": "Kjellberg",
            "person's CA thumbprint": cls.thumb["person"],
        }
        # A self-signed certificate's validity dates this installation, a CA's
        # too, to the second (its end: no other text of the scan names it).
        for c in rows(cls.raw, "windows.certs"):
            if c[0] == "personal (My)" and c[7] in ("self-signed", "root CA"):
                cls.hidden["end of " + c[2]] = c[5]

    def test_planted_values_are_in_the_raw_report(self):
        self.assertEqual((self.raw_code, self.safe_code), (0, 0))
        texts = [normal(t) for t in e2e.strings(self.raw)]
        for name, value in self.hidden.items():
            self.assertTrue([t for t in texts if normal(value) in t], name)

    def test_no_planted_value_in_the_safe_report(self):
        texts = [normal(t) for t in e2e.strings(self.safe)]
        for name, value in self.hidden.items():
            self.assertFalse([t for t in texts if normal(value) in t], name)
        duid = [s for s in self.safe["signals"] if s["key"] == "net.duid"]
        self.assertEqual(len(duid), 1)
        self.assertTrue(duid[0]["sens"] and "v" not in duid[0] and duid[0]["h"])

    def test_states_next_to_them_stay_readable(self):
        self.assertEqual(value_of(self.safe, "net.ids", "DHCPv6 DUID type"), "DUID-LLT (hardware type 1)")
        self.assertRegex(value_of(self.safe, "net.ids", "DHCPv6 DUID generated"), HMAC)
        self.assertEqual(value_of(self.safe, "ms.ids", "Edge Update client ID history"), "3 rotation(s)")
        self.assertRegex(value_of(self.safe, "ms.ids", "Edge Update client ID created"), HMAC)

    def test_personal_store_certificates(self):
        mine = {c[2] if not HMAC.match(c[2]) else "(masked) " + c[7]: c for c in rows(self.safe, "windows.certs")
                if c[0] == "personal (My)"}
        # Made here: the thumbprint is masked; a tool's default name stays, a
        # name a person typed is masked.
        self.assertEqual(mine["localhost"][7], "self-signed")
        self.assertRegex(mine["localhost"][1], HMAC)
        self.assertEqual(mine["localhost"][3], "localhost")
        typed = mine["(masked) self-signed"]
        for cell in typed[1:4]:
            self.assertRegex(cell, HMAC)
        # Issued to this machine: subject, issuer and thumbprint masked; the kind stays.
        issued = mine["(masked) end entity"]
        self.assertEqual(issued[7], "end entity")
        for cell in issued[1:4]:
            self.assertRegex(cell, HMAC)
        # A root CA in this store is the organization's own or a person's:
        # its thumbprint, names and validity are masked, its kind stays.
        roots = [c for c in rows(self.safe, "windows.certs") if c[0] == "personal (My)" and c[7] == "root CA"]
        self.assertEqual(len(roots), 3)
        for root in roots:
            for cell in root[1:6]:
                self.assertRegex(cell, HMAC)

    def test_print_queues_named_after_their_host(self):
        self.assertEqual(sorted(c[0] for c in rows(self.raw, "devices.printers")), sorted(q[0] for q in QUEUES))
        safe = rows(self.safe, "devices.printers")
        self.assertEqual(len(safe), len(QUEUES))
        for queue, port, driver, (queue_masked, port_masked) in QUEUES:
            found = [c for c in safe
                     if c[1] == driver and (HMAC.match(c[0]) if queue_masked else c[0] == queue)
                     and (HMAC.match(c[2]) if port_masked else c[2] == port)]
            self.assertEqual(len(found), 1, queue)
            self.assertEqual(found[0][3], "local", queue)


class PlantedEnterpriseDuid(unittest.TestCase):
    """A DUID with no MAC in it is this installation's identity all the same."""

    @classmethod
    def setUpClass(cls):
        with e2e.ScratchPrefix("safe-duid-en") as p:
            p.reg_add(r"HKLM\SYSTEM\CurrentControlSet\Services\Tcpip6\Parameters", "Dhcpv6DUID", "REG_BINARY",
                      DUID_EN)
            cls.raw, _ = p.scan("raw")
            cls.safe, cls.code = p.scan("safe")

    def test_value_masked_type_readable(self):
        self.assertEqual(self.code, 0)
        self.assertEqual(value_of(self.raw, "net.ids", "DHCPv6 DUID"), DUID_EN)
        self.assertFalse([t for t in e2e.strings(self.safe) if normal(DUID_EN) in normal(t)])
        self.assertEqual(value_of(self.safe, "net.ids", "DHCPv6 DUID type"), "DUID-EN (enterprise number 311)")
        self.assertIsNone(value_of(self.safe, "net.ids", "DHCPv6 DUID generated"))


if __name__ == "__main__":
    unittest.main()
