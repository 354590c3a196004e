"""Privacy-safe reports of planted people, attacked as an adversary would:
- a home PC: account "Ana", owner "Ana Kowalczyk", print queues, volume
  labels, a known network and a boot entry named after her in several forms;
- a user in a script without spaces: "王小明", with "王小明的打印机" and
  "王小明的资料";
- an owner and organization written with ß and umlauts: "Jürgen Weiß",
  "Weiß Elektro GmbH", a queue "WEISS ELEKTRO BÜRO";
- a laptop of an organization known only by its registered name and an
  e-mail address ("Hollowmere GmbH", "ana.quellbrandt@hollowmere.com"), whose
  account is "Max";
- a person in a script written right to left ("דניאל כהן"), one in Korean
  ("김민준"), and one whose name inflects ("Katarzyna Wiśniewska", a queue
  "Drukarka Katarzyny");
- an organization sharing a word with the processor's model line ("<word>
  Dental Care", the word taken from this machine's processor texts, "Genoa"
  of "Zen 4 (Genoa)" say) whose account is named like a maker (another word
  of them, "EPYC"), and an account named like a Windows word ("Windows");
- a self-signed certificate in the personal store named after a person and
  printer ports a person typed ("Marta's room", "Nowak-Brother").
Each prefix is scanned raw and safe. Every planted value is searched for in the
safe report in every form (letter case, ß and ss, ä and ae, apostrophes,
inside longer texts, hex, JSON and URL escapes); raw and safe are compared
cell by cell; and the accounts "Max", "Oxide" and "Windows" must not make the
program's or the makers' texts ("max basic leaf, vendor", the processor's
name) masked, which would tell the name back. Texts
Windows or a maker gives ("Microsoft Print to PDF", a volume "Windows")
stay readable."""
import concurrent.futures
import hashlib
import json
import os
import re
import subprocess
import tempfile
import unicodedata
import unittest
import urllib.parse

import vorq_e2e as e2e
from test_safe_report import HMAC, add_certificate

CV = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
PRINTERS = r"HKLM\SYSTEM\CurrentControlSet\Control\Print\Printers" + "\\"
NETWORKS = CV + r"\NetworkList\Profiles" + "\\"
USER_CHOICE = r"HKCU\SOFTWARE\Microsoft\Windows\Shell\Associations\UrlAssociations\https\UserChoice"
GIVEN_QUEUES = [("Microsoft Print to PDF", "Microsoft Print To PDF"),
                ("HP LaserJet 400 M401 (Copy 2)", "HP LaserJet 400 M401 PCL 6")]
BROWSER_SUFFIX = "1F9A7C3E5B2D4A68"
BOOT_MANAGER = "{9dea862c-5cdd-4e70-acc1-f32b344d4795}"
LOADER = "{3c5e7a91-2b4d-4f6e-8a1c-9d0b2e4f6a81}"
MEMTEST = "{b2721d73-1db4-4c62-bf78-c548a880142d}"

PEOPLE = {
    "home": {
        "account": "Ana",
        "owner": "Ana Kowalczyk",
        "queues": [("Anas Drucker", "HP LaserJet 400 M401 PCL 6"), ("Ana\u2019s Drucker", "HP LaserJet 400 M401 PCL 6"),
                   ("Kowalczyk Laser", "Brother HL-L2350DW series"),
                   ("HP OfficeJet Pro 8020 series [4C7E21]", "HP OfficeJet Pro 8020 series PCL-3")],
        "labels": {"c": "Anas Daten", "d": "Ana\u2019s Backup"},
        "network": "Anas WLAN",
        "browser": "FirefoxURL-" + BROWSER_SUFFIX,
        "boot": "Anas Windows",
        "ca": "localhost",
        # Searched as whole words; the rest as parts of any text.
        "words": ["Ana", "Anas", "Kowalczyk"],
        "values": ["Ana Kowalczyk", "Anas Drucker", "Ana\u2019s Drucker", "Kowalczyk Laser", "4C7E21",
                   "Anas Daten", "Ana\u2019s Backup", "Anas WLAN", "Anas Windows", BROWSER_SUFFIX],
    },
    "zh": {
        "account": "\u738b\u5c0f\u660e",
        "owner": "\u738b\u5c0f\u660e",
        "queues": [("\u738b\u5c0f\u660e\u7684\u6253\u5370\u673a", "Canon TS3100 series")],
        "labels": {"c": "\u738b\u5c0f\u660e\u7684\u8d44\u6599"},
        "words": [],
        "values": ["\u738b\u5c0f\u660e", "\u5c0f\u660e\u7684"],
    },
    "weiss": {
        "account": "J\u00fcrgen",
        "owner": "J\u00fcrgen Wei\u00df",
        "organization": "Wei\u00df Elektro GmbH",
        "queues": [("J\u00fcrgens Drucker", "Brother HL-L2350DW series"),
                   ("WEISS ELEKTRO B\u00dcRO", "Kyocera TASKalfa 3253ci KX")],
        "labels": {"d": "Juergens Fotos"},
        "words": ["J\u00fcrgen", "J\u00fcrgens", "Juergens", "Wei\u00df", "Elektro"],
        "values": ["J\u00fcrgen", "Wei\u00df Elektro", "B\u00dcRO"],
    },
    "cloud": {
        "account": "Max",
        "organization": "Hollowmere GmbH",
        "email": "ana.quellbrandt@hollowmere.com",
        "queues": [("Hollowmere 3.OG Farbe", "Kyocera TASKalfa 3253ci KX")],
        "labels": {"d": "Hollowmere"},
        "ca": "Hollowmere Root CA",
        "words": ["Hollowmere", "quellbrandt"],
        "values": ["Hollowmere", "quellbrandt", "hollowmere.com"],
    },
    "rtl": {
        "account": "\u05d3\u05e0\u05d9\u05d0\u05dc",
        "owner": "\u05d3\u05e0\u05d9\u05d0\u05dc \u05db\u05d4\u05df",
        "queues": [("\u05d4\u05de\u05d3\u05e4\u05e1\u05ea \u05e9\u05dc \u05d3\u05e0\u05d9\u05d0\u05dc",
                    "Canon TS3100 series")],
        "labels": {"d": "\u05d4\u05ea\u05de\u05d5\u05e0\u05d5\u05ea \u05e9\u05dc \u05d3\u05e0\u05d9\u05d0\u05dc"},
        "words": ["\u05d3\u05e0\u05d9\u05d0\u05dc", "\u05db\u05d4\u05df"],
        "values": ["\u05d3\u05e0\u05d9\u05d0\u05dc"],
    },
    "ko": {
        "account": "\uae40\ubbfc\uc900",
        "owner": "\uae40\ubbfc\uc900",
        "queues": [("\uae40\ubbfc\uc900\uc758 \ud504\ub9b0\ud130", "Brother HL-L2350DW series")],
        "labels": {"d": "\uae40\ubbfc\uc900 \uc0ac\uc9c4"},
        "words": [],
        "values": ["\uae40\ubbfc\uc900"],
    },
    "pl": {
        "account": "Kasia",
        "owner": "Katarzyna Wi\u015bniewska",
        "queues": [("Drukarka Katarzyny", "HP LaserJet 400 M401 PCL 6"),
                   ("Laser Wi\u015bniewskiej", "Brother HL-L2350DW series")],
        "labels": {"d": "Zdj\u0119cia Kasi"},
        "network": "Sie\u0107 Wi\u015bniewskich",
        "words": ["Kasia", "Kasi", "Katarzyna", "Katarzyny", "Wi\u015bniewska", "Wi\u015bniewskiej"],
        "values": ["Katarzyn", "Wi\u015bniewsk"],
    },
    "windows": {
        "account": "Windows",
        "queues": [("Adapter Drucker", "Brother HL-L2350DW series")],
        "labels": {},
        "words": [],
        "values": ["Adapter Drucker"],
        "makers": ["Windows", "Microsoft", "Adapter"],
    },
    "cert": {
        "account": "marta",
        "owner": "Marta Nowak",
        "queues": [("Nowak Laser", "Brother HL-L2350DW series"), ("Martas Drucker", "Canon TS3100 series")],
        "ports": ["Marta's room", "Nowak-Brother"],
        "labels": {},
        "person_cert": "Marta Nowak",
        "words": ["Marta", "Nowak"],
        "values": ["Marta Nowak", "Marta's room", "Nowak-Brother"],
    },
}


def dental_person(raw):
    """An organization named after a word of this machine's processor texts
    (the brand string and the microarchitecture the program names), with an
    account named after another: the words differ from one processor to the
    next, so they are read from the unplanted prefix's report."""
    summary = {c[0]: c[1] for c in rows(raw, "cpu.summary")}
    texts = [summary.get("Microarchitecture (approx.)", ""), summary.get("Brand string", "")]
    words = list(dict.fromkeys(w for t in texts for w in re.findall(r"(?<![^\W\d_])[^\W\d_]{4,}(?![^\W\d_])", t)
                               if w.casefold() not in ("approx", "processor", "core")))
    if not words:
        raise AssertionError(f"no word of four letters in the processor's texts {texts}")
    org, account = words[0], words[-1]
    return {
        "account": account,
        "organization": org + " Dental Care",
        "queues": [(org + " Dental Empfang", "Kyocera TASKalfa 3253ci KX")],
        "ports": [org + " Reception"],
        "labels": {},
        "words": ["Dental"],
        "values": [org + " Dental", org + " Reception"],
        "makers": list(dict.fromkeys([org, account])),
    }


def fold(text):
    """A text as an adversary compares it: no letter case, no apostrophes,
    ß as ss and ä ö ü as ae oe ue."""
    text = re.sub("['\u2019\u02bc`]", "", text).casefold()
    for a, b in (("\u00e4", "ae"), ("\u00f6", "oe"), ("\u00fc", "ue")):
        text = text.replace(a, b)
    return text


def bare(text):
    """A text without letter case, apostrophes and accents: "Jürgen" as
    "jurgen", "Weiß" as "weiss"."""
    text = re.sub("['\u2019\u02bc`]", "", text).casefold()
    return "".join(c for c in unicodedata.normalize("NFKD", text) if not unicodedata.combining(c))


def forms(text):
    return {fold(text), bare(text)}


def word_pattern(word):
    return re.compile(r"(?<!\w)(?:" + "|".join(re.escape(f) for f in forms(word)) + r")(?!\w)")


def encodings(value):
    """The value's byte and escape forms, folded."""
    forms = {value.encode("utf-8").hex(), value.encode("utf-16-le").hex(), urllib.parse.quote(value),
             json.dumps(value)[1:-1], json.dumps(value, ensure_ascii=False)[1:-1]}
    return {f.casefold() for f in forms if f.casefold() != value.casefold()}


def certificate(folder, subject, ca=True):
    """DER of a self-signed certificate with basic constraints CA:TRUE, as
    openssl makes one by default, or CA:FALSE, as a person makes one for
    signing."""
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "k.pem", "-out", "c.der",
                    "-outform", "DER", "-days", "365", "-subj", "/CN=" + subject,
                    "-addext", "basicConstraints=critical,CA:" + ("TRUE" if ca else "FALSE")],
                   cwd=folder, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(os.path.join(folder, "c.der"), "rb") as f:
        return f.read()


def system_time(year, month, day, hour, minute):
    return "".join("%02X%02X" % (v & 0xFF, v >> 8) for v in (year, month, 0, day, hour, minute, 0, 0))


def plant_and_scan(name, person):
    """(raw, safe, CA thumbprint or None) of a scratch prefix planted with one person."""
    with e2e.ScratchPrefix("safe-chosen-" + name) as p:
        if person.get("owner"):
            p.reg_add(CV, "RegisteredOwner", "REG_SZ", person["owner"])
        if person.get("organization"):
            p.reg_add(CV, "RegisteredOrganization", "REG_SZ", person["organization"])
        ports = person.get("ports", [])
        for i, (queue, driver) in enumerate(person["queues"] + GIVEN_QUEUES):
            p.reg_add(PRINTERS + queue, "Name", "REG_SZ", queue)
            p.reg_add(PRINTERS + queue, "Port", "REG_SZ", ports[i] if i < len(ports) else "USB001")
            p.reg_add(PRINTERS + queue, "Printer Driver", "REG_SZ", driver)
            p.reg_add(PRINTERS + queue, "Attributes", "REG_DWORD", 0)
        if person.get("network"):
            key = NETWORKS + "{6A1F0C3E-2B4D-4E8A-9C71-5D3B2F0E8A14}"
            p.reg_add(key, "ProfileName", "REG_SZ", person["network"])
            p.reg_add(key, "Category", "REG_DWORD", 1)
            p.reg_add(key, "NameType", "REG_DWORD", 71)
            p.reg_add(key, "DateCreated", "REG_BINARY", system_time(2023, 4, 5, 6, 7))
            p.reg_add(key, "DateLastConnected", "REG_BINARY", system_time(2026, 11, 30, 21, 42))
        if person.get("boot"):
            # The default loader's description, and a second entry Windows named.
            bcd = r"HKLM\BCD00000000\Objects" + "\\"
            p.reg_add(bcd + BOOT_MANAGER + r"\Elements\23000003", "Element", "REG_SZ", LOADER)
            p.reg_add(bcd + BOOT_MANAGER + r"\Elements\24000001", "Element", "REG_MULTI_SZ", [LOADER, MEMTEST])
            p.reg_add(bcd + LOADER + r"\Elements\12000004", "Element", "REG_SZ", person["boot"])
            p.reg_add(bcd + MEMTEST + r"\Elements\12000004", "Element", "REG_SZ", "Windows Memory Diagnostic")
        if person.get("browser"):
            p.reg_add(USER_CHOICE, "ProgId", "REG_SZ", person["browser"])
        if person.get("email"):
            join = r"HKLM\SYSTEM\CurrentControlSet\Control\CloudDomainJoin\JoinInfo\0A1B2C3D4E5F60718293A4B5C6D7E8F901234567"
            p.reg_add(join, "TenantId", "REG_SZ", "4d2c9e71-8b3a-4f6e-a0d5-c7e19b2f3a84")
            p.reg_add(join, "UserEmail", "REG_SZ", person["email"])
            enrollment = r"HKLM\SOFTWARE\Microsoft\Enrollments\{1F2E3D4C-5B6A-4978-8695-A4B3C2D1E0F9}"
            p.reg_add(enrollment, "EnrollmentType", "REG_DWORD", 6)
            p.reg_add(enrollment, "ProviderID", "REG_SZ", "MS DM Server")
            p.reg_add(enrollment, "UPN", "REG_SZ", person["email"])
        thumbprint = None
        if person.get("ca"):
            with tempfile.TemporaryDirectory() as tmp:
                der = certificate(tmp, person["ca"])
            add_certificate(p, "My", der)
            thumbprint = hashlib.sha256(der).hexdigest()
        if person.get("person_cert"):
            with tempfile.TemporaryDirectory() as tmp:
                add_certificate(p, "My", certificate(tmp, person["person_cert"], ca=False))
        # Wine reads a drive's label from ".windows-label" in its root when its server starts.
        labels = {"c": "Windows", **person["labels"]}
        for letter, label in labels.items():
            root = p.path / "drive_c" if letter == "c" else p.path / ("drive_" + letter)
            root.mkdir(exist_ok=True)
            if letter != "c":
                os.symlink("../" + root.name, p.path / "dosdevices" / (letter + ":"))
            file = root / ".windows-label"
            if file.exists():
                file.unlink()  # a hard link to the build's prefix
            file.write_text(label, encoding="utf-8")
        p._call("wineserver", "-k")
        p._call("wineserver", "-w")
        p._start_server()
        # Wine answers GetUserNameW with this name; a UTF-8 locale carries it
        # outside ASCII.
        p.env.update(USER=person["account"], WINEUSERNAME=person["account"], LC_ALL="C.UTF-8")
        raw, raw_code = p.scan("raw")
        safe, safe_code = p.scan("safe")
        if (raw_code, safe_code) != (0, 0):
            raise AssertionError(f"{name}: scans exited {raw_code}, {safe_code}")
        return raw, safe, thumbprint


def rows(report, table_id):
    return [r["c"] for r in e2e.table(report, table_id)["rows"]]


def restated(raw, safe):
    """Raw texts the safe report masks though their producer did not mark
    them: cells outside a table's and a row's sensitive bits, and values of
    signals not marked sensitive."""
    found = []
    safe_signals = {(s["key"], s["name"]): s for s in safe["signals"]}
    for s in raw["signals"]:
        t = safe_signals.get((s["key"], s["name"]))
        if t and not s["sens"] and "v" not in t and s.get("v"):
            found.append(s["v"])
    safe_tables = {t["id"]: t for t in safe["tables"]}
    for t in raw["tables"]:
        if t["id"] not in safe_tables or len(t["rows"]) != len(safe_tables[t["id"]]["rows"]):
            continue
        for r, s in zip(t["rows"], safe_tables[t["id"]]["rows"]):
            marked = t["sens"] | r.get("s", 0)
            for i, (rc, sc) in enumerate(zip(r["c"], s["c"])):
                if rc and HMAC.match(sc) and not (i < 32 and marked >> i & 1):
                    found.append(rc)
    return found


class PlantedPeople(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        base_raw, _, _ = e2e.scan("raw")
        cls.people = {**PEOPLE, "dental": dental_person(base_raw)}
        with concurrent.futures.ThreadPoolExecutor(len(cls.people)) as pool:
            futures = {name: pool.submit(plant_and_scan, name, person) for name, person in cls.people.items()}
            cls.scans = {name: f.result() for name, f in futures.items()}
        base_safe, _, _ = e2e.scan("safe")
        cls.base_restated = set(restated(base_raw, base_safe))

    def test_planted_values_are_in_the_raw_reports(self):
        for name, person in self.people.items():
            raw, _, _ = self.scans[name]
            texts = [fold(t) for t in e2e.strings(raw)]
            for value in person["values"] + person["words"]:
                self.assertTrue([t for t in texts if fold(value) in t], (name, value))
            queues = [c[0] for c in rows(raw, "devices.printers")]
            self.assertEqual(sorted(queues), sorted(q for q, _ in person["queues"] + GIVEN_QUEUES), name)
            labels = {c[0][0].lower(): c[1] for c in rows(raw, "storage.volumes")}
            self.assertEqual({k: labels.get(k) for k in person["labels"]}, person["labels"], name)

    def test_no_planted_value_in_any_form(self):
        for name, person in self.people.items():
            _, safe, thumbprint = self.scans[name]
            texts = list(e2e.strings(safe))
            folded = [f for t in texts for f in forms(t)]
            with open(e2e.OUT / f"safe-chosen-{name}-prefix-safe.json", encoding="utf-8") as f:
                written = f.read().casefold()
            values = person["values"] + [q for q, _ in person["queues"]] + list(person["labels"].values())
            for extra in ("owner", "organization", "email"):
                if person.get(extra):
                    values.append(person[extra])
            for value in values:
                for form in forms(value):
                    self.assertFalse([t for t in folded if form in t], (name, value, form))
                for form in encodings(value):
                    self.assertNotIn(form, written, (name, value, form))
                    self.assertFalse([t for t in texts if form in t.casefold()], (name, value, form))
            for word in person["words"]:
                pattern = word_pattern(word)
                self.assertFalse([t for t in folded if pattern.search(t)], (name, word))
            if thumbprint:
                self.assertFalse([t for t in texts if thumbprint in t.lower()], (name, "CA thumbprint"))

    def test_given_texts_stay_readable(self):
        for name, person in self.people.items():
            raw, safe, _ = self.scans[name]
            queues = [c[0] for c in rows(safe, "devices.printers")]
            for queue, _ in GIVEN_QUEUES:
                self.assertIn(queue, queues, name)
            self.assertEqual(sum(1 for q in queues if HMAC.match(q)), len(person["queues"]), name)
            labels = {c[0][0].lower(): c[1] for c in rows(safe, "storage.volumes")}
            if "c" not in person["labels"]:
                self.assertEqual(labels["c"], "Windows", name)
            for letter in person["labels"]:
                self.assertRegex(labels[letter], HMAC, (name, letter))

    def test_times_handler_and_boot_entry_of_this_installation(self):
        raw, safe, _ = self.scans["home"]
        network = rows(safe, "net.profiles")[0]
        for cell in network[1], network[4], network[5]:
            self.assertRegex(cell, HMAC)
        self.assertEqual(rows(raw, "net.profiles")[0][4:6], ["2023-04-05 06:07", "2026-11-30 21:42"])
        known = [c for c in rows(safe, "net.ids") if c[0] == "Known networks"]
        self.assertRegex(known[0][1], HMAC)
        self.assertEqual([c[2] for c in rows(raw, "uefi.bcd")], ["Anas Windows", "Windows Memory Diagnostic"])
        boot = {c[0]: c[2] for c in rows(safe, "uefi.bcd")}
        self.assertRegex(boot["Default loader"], HMAC)
        self.assertEqual(boot["Display order"], "Windows Memory Diagnostic")
        os_rows = {c[0]: c[1] for c in rows(safe, "windows.os")}
        self.assertEqual(os_rows["Default browser (https handler)"], "FirefoxURL")
        self.assertRegex(os_rows["Default browser handler suffix (per installation)"], HMAC)

    def test_certificate_authorities_in_the_personal_store(self):
        for name, subject_shown in (("home", True), ("cloud", False)):
            raw, safe, _ = self.scans[name]
            mine = [c for c in rows(safe, "windows.certs") if c[0] == "personal (My)"]
            self.assertEqual([c[7] for c in mine], ["root CA"], name)
            self.assertRegex(mine[0][1], HMAC, name)  # the thumbprint, CA or not
            if subject_shown:
                self.assertEqual(mine[0][2], "localhost")
            else:
                self.assertRegex(mine[0][2], HMAC)

    def test_diff_masks_only_what_holds_a_planted_value(self):
        # Raw against safe: a text masked as a restatement holds a planted
        # value, unless the unplanted prefix masks it too.
        for name, person in self.people.items():
            raw, safe, _ = self.scans[name]
            values = {f for v in person["values"] + [q for q, _ in person["queues"]] + list(person["labels"].values())
                      for f in forms(v)}
            words = [word_pattern(w) for w in person["words"] + [person["account"]]]
            for extra in ("owner", "organization", "email"):
                if person.get(extra):
                    words += [word_pattern(w) for w in re.findall(r"\w+", person[extra]) if len(w) > 2]

            def explained(text):
                texts = forms(text)
                return any(v in t for v in values for t in texts) or any(w.search(t) for w in words for t in texts)

            unexplained = [t for t in restated(raw, safe) if t not in self.base_restated and not explained(t)]
            self.assertEqual(unexplained, [], name)

    def test_names_leave_makers_and_windows_texts_readable(self):
        # An organization sharing a word with the model line and accounts
        # named like a maker or a Windows word leave every text of the
        # unplanted prefix's safe report that holds those words as it was.
        base = set(e2e.strings(e2e.scan("safe")[0]))
        for name in ("dental", "windows"):
            raw, safe, _ = self.scans[name]
            shown = set(e2e.strings(safe))
            for word in self.people[name]["makers"]:
                pattern = re.compile(r"(?<![^\W_])" + re.escape(word) + r"(?![^\W_])", re.IGNORECASE)
                holding = {t for t in base & set(e2e.strings(raw)) if pattern.search(t)}
                self.assertTrue(holding, (name, word))
                self.assertEqual(sorted(holding - shown), [], (name, word))

    def test_typed_ports_and_a_person_named_certificate(self):
        _, safe, _ = self.scans["cert"]
        ports = {c[0]: c[2] for c in rows(safe, "devices.printers")}
        self.assertEqual(ports["Microsoft Print to PDF"], "USB001")  # Windows' own port
        self.assertEqual(sum(1 for p in ports.values() if HMAC.match(p)), 2)
        mine = [c for c in rows(safe, "windows.certs") if c[0] == "personal (My)"]
        self.assertEqual([c[7] for c in mine], ["self-signed"])
        for cell in mine[0][1:6]:
            self.assertRegex(cell, HMAC)

    def test_read_back_of_the_account_max(self):
        # Every text of the program holding the word "max" stays readable with
        # the account "Max": masked, their words would give the name back.
        raw, safe, _ = self.scans["cloud"]
        self.assertEqual([c[1] for c in rows(raw, "ms.ids") if c[0] == "Current user"], ["Max"])
        # The account's own places (its name, its profile folder) are masked.
        holding = {t for t in e2e.strings(raw) if re.search(r"(?<![^\W_])max(?![^\W_])", t, re.IGNORECASE)
                   and t.casefold() != "max" and "\\max" not in t.casefold()}
        self.assertTrue({"max basic leaf, vendor", "MULSD(DBL_MAX, 2)"} <= holding, holding)
        shown = set(e2e.strings(safe))
        self.assertEqual(sorted(holding - shown), [])


if __name__ == "__main__":
    unittest.main()
