"""The translation tools: what counts as a label, templates from formats, and
the dictionary check."""
import json
import pathlib
import re
import sys
import tempfile
import unittest
from unittest import mock

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
import i18n_check  # noqa: E402
import i18n_keys  # noqa: E402


class DictionaryEntries(unittest.TestCase):
    def test_entries(self):
        cases = [
            ("Rows: {n1}", "Zeilen: {n1}", []),
            ("Permanent MAC - {t1} ({x2})", "{x2}: permanente MAC - {t1}", []),
            ("Rows: {n1}", "Zeilen", ["placeholder {n1} appears 0 times (the key has it 1 times)"]),
            ("Rows: {n1}", "{n1} {n1}", ["placeholder {n1} appears 2 times (the key has it 1 times)"]),
            ("Rows", "Zeilen {x1}", ["placeholder {x1} appears 1 times (the key has it 0 times)"]),
            ("Storage", "  ", ["empty translation"]),
            ("[ok] enabled", "aktiviert", ["tags differ from the key's"]),
            ("enabled", "[ok] aktiviert", ["tags differ from the key's"]),
            ("TPM 2.0 present", "Модуль 2.0 есть", ["'TPM' must stay as it is"]),
            ("Read tpm.present and TPM2_ReadPublic", "Lies tpm.anwesend und TPM2_ReadPublic", ["'tpm.present' must stay as it is"]),
            ("Scan took {n1} ms", "Dauer {n1} Millisekunden", ["'ms' must stay as it is"]),
            ("Storage", "Speicher</script>", ["contains a sequence that could end the page's script"]),
            ("Storage", "Speicher<!--", ["contains a sequence that could end the page's script"]),
            ("HMAC tag", "HMAC-Tag", []),
            ("a value, e.g. the serial", "ein Wert, z. B. die Seriennummer", []),
            ("Objects from the BCD store (HKLM\\BCD00000000, administrator rights).",
             "来自 BCD 存储 (HKLM\\\\BCD00000000，需要管理员权限) 的对象。", ["'HKLM\\\\BCD00000000' must stay as it is (a doubled backslash?)"]),
            ("Networks (HKLM\\...\\NetworkList).", "Netzwerke (HKLM\\...\\NetworkList).", []),
        ]
        for key, text, want in cases:
            self.assertEqual(i18n_check.check_entry(key, text), want, (key, text))

    def test_unit_symbols_in_the_language_form(self):
        # A unit may take the symbol its language writes, and only that one.
        cases = [
            ("ru", "Scan took {n1} ms", "Сканирование {n1} мс", []),
            ("ru", "Scan took {n1} ms", "Сканирование {n1} ms", []),
            ("ru", "Scan took {n1} ms", "Сканирование {n1} миллисекунд", ["'ms' must stay as it is"]),
            ("ru", "{n1} ms, {n2} ms", "{n1} мс, {n2}", ["'ms' must stay as it is"]),
            ("fr", "{n1} KB", "{n1} Ko", []),
            ("fr", "{n1} ms", "{n1} мс", ["'ms' must stay as it is"]),
            ("de", "{n1} KB", "{n1} Ko", ["'KB' must stay as it is"]),
            ("zh-Hans", "Scan duration (ms)", "扫描时长 (毫秒)", []),
        ]
        for code, key, text, want in cases:
            self.assertEqual(i18n_check.check_entry(key, text, code), want, (code, key, text))


    def test_count_forms(self):
        # "<key>#<category>" is a form of a count key for a category the
        # language has; anything else is an entry no key asks for.
        keys = ["{n1} differ", "Storage"]
        cases = [
            ("ru", {"{n1} differ": "{n1} отличаются", "{n1} differ#one": "{n1} отличается", "{n1} differ#few": "{n1} отличаются",
                    "Storage": "Хранилище"}, [], [], []),
            ("de", {"{n1} differ": "{n1} abweichend", "{n1} differ#few": "{n1} x", "Storage": "Speicher", "Wired#one": "x"},
             [], [], ["{n1} differ#few", "Wired#one"]),
            ("de", {"{n1} differ": "{n1} abweichend", "{n1} differ#one": "eine", "Storage": "Speicher"},
             ['de: "{n1} differ#one" -> "eine": placeholder {n1} appears 0 times (the key has it 1 times)'], [], []),
            ("en", {"{n1} differ#one": "{n1} differs"}, [], [], []),
            ("en", {"{n1} differ#one": "{n1} differs", "Storage": "Storage"}, [], [], ["Storage"]),
        ]
        with tempfile.TemporaryDirectory() as d, mock.patch.object(i18n_check, "I18N", pathlib.Path(d)):
            for code, data, errors, missing, unknown in cases:
                (pathlib.Path(d) / (code + ".json")).write_text(json.dumps(data, ensure_ascii=False), encoding="utf-8")
                self.assertEqual(i18n_check.check_language(code, keys), (errors, missing, unknown), (code, data))


class Gathering(unittest.TestCase):
    def test_formats_become_templates(self):
        cases = [
            ("%d read path(s) disagree", "{n1} read path(s) disagree"),
            ("%s rev %u.%u (%llu, day %d)", "{x1} rev {n2}.{n3} ({n4}, day {n5})"),
            ("TPM response code 0x%08X", "TPM response code 0x{x1}"),
            ("%.1f%% of %zu", None),   # nothing left to translate
            ("observation has a %d%% confidence ceiling", "observation has a {p1} confidence ceiling"),
            ("%u (%llu%%)", None),
            ("%s: %s", None),
            ("no conversion", None),
        ]
        for fmt, want in cases:
            self.assertEqual(i18n_keys.format_to_template(fmt), want, fmt)

    def test_parameters_shown_as_keys(self):
        code = """
function card(title, meta, body) { return tx(title) + meta + body; }
const stat = (n, label, tone) => '<b>' + esc(tn(n, label)) + tone;
const row = (label) => label.trim();
"""
        self.assertEqual(i18n_keys.label_parameters([code]), {"card": {0}, "stat": {1}})

    def test_report_labels_are_gathered_and_data_is_not(self):
        report = {
            "device": {"title": "Windows PC", "subtitle": "AMD EPYC · 24 GB RAM"},
            "tables": [{"id": "t", "title": "Batteries", "note": "No battery present.", "columns": ["Property", "Value", "Serial"],
                        "sens": 0, "groupCol": -1, "rows": [{"c": ["Chemistry", "Li-ion", "SN123"]},
                                                            {"c": ["Charging", "[ok] charging", "SN9"]},
                                                            {"c": ["Owner Name", "Alice", ""], "s": 1}]}],
            "scores": [{"id": "s", "title": "Device identity", "verdict": "High", "note": "", "items": [{"label": "TPM endorsement key", "note": "no TPM 2.0"}]}],
            "checks": [{"id": "x.uuid", "category": "Consistency", "title": "System UUID", "detail": "both agree"}],
            "signals": [{"key": "k", "cat": "Windows", "name": "MachineGuid", "v": "b0dd-11", "group": "os"}],
            "collectors": [{"name": "Battery", "error": "error 5: Access denied."}],
            "notes": ["CPU"],
        }
        got = set(i18n_keys.report_texts(report))
        self.assertEqual(got, {"Windows PC", "Batteries", "No battery present.", "Property", "Value", "Serial",
                               "Chemistry", "Charging", "charging", "Device identity", "High", "TPM endorsement key",
                               "no TPM 2.0", "System UUID", "both agree", "Consistency", "Windows", "os",
                               "Battery", "error 5: Access denied."})

    def test_templates_cover_variable_texts(self):
        templates = ["Rows: {n1}", "Disk {n1} serial ({x1})"]
        keys = {"Storage": [], "No disks found.": [], "Run as administrator.": []}
        texts = ["Rows: 12", "Rows: many", "Disk 0 serial (WD Blue)", "Storage", "Storage - 2 disks", "Disks - 2",
                 "No disks found. Run as administrator.", "No disks found. Rows: 3", "No disks found. Try again.",
                 "No disks. Run as administrator."]
        self.assertEqual(i18n_keys.uncovered(texts, keys, templates),
                         ["Disks - 2", "No disks found. Try again.", "No disks. Run as administrator.", "Rows: many"])

    def test_no_template_is_hidden_by_an_earlier_one(self):
        # The page takes the first template that matches: a more general one
        # before a specific one would leave the specific one unused.
        templates = i18n_keys.load_templates()
        self.assertEqual(len(templates), len(set(templates)))
        for j, later in enumerate(templates):
            sample = re.sub(r"\{[xt]\d+\}", "Ab", re.sub(r"\{n\d+\}", "12", re.sub(r"\{p\d+\}", "12%", later)))
            for earlier in templates[:j]:
                self.assertIsNone(i18n_keys.compile_template(earlier).match(sample), (earlier, later))

    def test_no_template_writes_its_own_percent_sign(self):
        # The page writes every percentage with the language's sign: "92 %".
        for t in i18n_keys.load_templates():
            self.assertNotRegex(t, r"[\d}]\s?%", t)
        for code in i18n_check.LANGS:
            d = json.loads((i18n_check.I18N / (code + ".json")).read_text(encoding="utf-8"))
            self.assertEqual([k for k in d if re.search(r"[\d}]\s?%", d[k]) and "%0" not in k], [], code)

    def test_committed_key_list_is_sorted_and_holds_every_template(self):
        entries = json.loads(i18n_keys.KEYS_FILE.read_text(encoding="utf-8"))
        keys = [e["key"] for e in entries]
        self.assertEqual(keys, sorted(keys, key=lambda s: (s.lower(), s)))
        self.assertEqual(len(keys), len(set(keys)))
        self.assertLessEqual(set(i18n_keys.load_templates()), set(keys))
        self.assertTrue(all(e["where"] for e in entries))

    def test_no_two_keys_differ_only_by_hyphens_or_articles(self):
        # Producers of one text write it one way, so translators see it once.
        def norm(k):
            return re.sub(r"\s+", " ", re.sub(r"\b(a|an|the)\s", " ", k.replace("-", " "))).strip()
        # The FPU table's family "x86 semantics" and class "x86-semantics" are
        # two fixed texts of the report.
        both = [["x86 semantics", "x86-semantics"]]
        groups = {}
        for e in json.loads(i18n_keys.KEYS_FILE.read_text(encoding="utf-8")):
            groups.setdefault(norm(e["key"]), []).append(e["key"])
        self.assertEqual([g for g in groups.values() if len(g) > 1 and g not in both], [])


if __name__ == "__main__":
    unittest.main()
