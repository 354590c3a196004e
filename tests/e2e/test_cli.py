"""The command line: console text, exit codes, the report's shape and the
HMAC key file, checked against values computed here (hashlib/hmac)."""
import hashlib
import hmac
import json
import os
import pathlib
import pwd
import re
import resource
import signal
import subprocess
import unittest

import vorq_e2e as e2e

TOP_LEVEL = ["schema", "tool", "version", "mode", "created", "hmacKeyId", "elevated", "durationMs", "device",
             "scores", "checks", "signals", "tables", "collectors", "notes"]
STAGES = [("Windows", 0), ("CPU", 2), ("FPU", 6), ("SMBIOS", 15), ("ACPI", 18), ("UEFI and boot", 20),
          ("PnP devices", 23), ("Storage", 30), ("Network", 36), ("Display", 40), ("Battery", 45), ("TPM", 47),
          ("Platform security", 58), ("Microsoft and cloud", 65), ("Kernel drivers", 69), ("VM Detection", 90),
          ("Cross-checks", 93)]
UTF8_ENV = {"LC_ALL": "C.UTF-8"}  # Wine turns arguments into UTF-16 by the locale's charset


def key_file():
    prefix = pathlib.Path(os.environ.get("WINEPREFIX") or
                          pathlib.Path(e2e.WINE_RUN).resolve().parent.parent / "build" / "wineprefix")
    user = os.environ.get("USER") or pwd.getpwuid(os.getuid()).pw_name
    return prefix / "drive_c" / "users" / user / "AppData" / "Local" / "VornixQuelm" / "hmac.key"


def pseudonym(key, context, value):
    return hmac.new(key, context.encode() + b"\x1f" + value.encode(), hashlib.sha256).hexdigest().upper()[:24]


def load(name):
    return json.loads((e2e.OUT / name).read_bytes().decode("utf-8"))


def expected_console(report, kind, path):
    lines = ["", "VornixQuelm 1.4.0 - collecting (read-only, local)..."]
    lines += ["  [%3d%%] %s" % (pct, name) for name, pct in STAGES] + ["  [100%] Done", ""]
    lines.append("  " + report["device"]["title"])
    lines += ["  %-20s %3d/100  %s" % (s["title"], s["value"], s["verdict"]) for s in report["scores"]]
    lines.append("  %d identifiers, %d checks, SECONDS s" % (len(report["signals"]), len(report["checks"])))
    lines += ["  Saved %s snapshot: %s" % (kind, path), "", ""]
    return "\n".join(lines)


class KeyFileSwap:
    """Puts given bytes in hmac.key for the runs inside, then restores the file."""

    def __init__(self, content):
        self.content = content
        self.path = key_file()

    def __enter__(self):
        self.saved = self.path.read_bytes() if self.path.exists() else None
        self.path.parent.mkdir(parents=True, exist_ok=True)
        self.path.write_bytes(self.content)
        return self

    def __exit__(self, *exc):
        if self.saved is None:
            self.path.unlink(missing_ok=True)
        else:
            self.path.write_bytes(self.saved)


class ExportTest(unittest.TestCase):
    def check_run(self, mode, option_kind, name):
        report, text, code = e2e.scan(mode)
        self.assertEqual(code, 0, text)
        self.assertIsNotNone(report)
        self.assertEqual(list(report), TOP_LEVEL)
        self.assertEqual(report["mode"], mode)
        self.assertEqual(report["schema"], "vorq.snapshot/1")
        self.assertEqual([(c["name"], c["status"]) for c in report["collectors"]],
                         [(name, "ok") for name, _ in STAGES])
        self.assertRegex(report["created"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
        self.assertRegex(report["hmacKeyId"], r"^[0-9A-F]{8}$")
        seconds = re.search(r"checks, (\d+\.\d) s\n", text)
        self.assertIsNotNone(seconds, text)
        self.assertEqual(text.replace(seconds.group(1) + " s\n", "SECONDS s\n", 1),
                         expected_console(report, option_kind, name))

    def test_export_writes_a_safe_report(self):
        self.check_run("safe", "privacy-safe", "scan-safe.json")

    def test_export_raw_writes_a_raw_report(self):
        self.check_run("raw", "raw", "scan-raw.json")

    def test_unwritable_path_fails_after_the_scan(self):
        code, text = e2e.run("--export", "/nonexistent/dir/r.json")
        self.assertEqual(code, 1)
        self.assertIn("  [100%] Done\n", text)
        self.assertTrue(text.endswith("  FAILED to write privacy-safe snapshot: /nonexistent/dir/r.json\n\n"), text)

    def test_failed_write_keeps_the_previous_report(self):
        old = json.dumps({"old": "x" * 60000}).encode()

        def full_disk():  # files of this process stop growing at 16 KiB, as on a full disk
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (16384, 16384))

        for name, preexec, mode in [("full-disk.json", full_disk, 0o644), ("read-only.json", None, 0o444)]:
            path = e2e.OUT / name
            e2e.OUT.mkdir(parents=True, exist_ok=True)
            path.unlink(missing_ok=True)
            path.write_bytes(old)
            path.chmod(mode)
            code, text = e2e.run("--export", name, preexec=preexec)
            self.assertEqual(code, 1, name)
            self.assertIn("  FAILED to write privacy-safe snapshot: %s\n" % name, text)
            self.assertEqual(path.read_bytes(), old, name)
            self.assertEqual(sorted(p.name for p in e2e.OUT.glob(name + ".*")), [], "temporary files left")
            path.chmod(0o644)

    def test_make_run_shows_only_the_program(self):
        run_scan = pathlib.Path(e2e.WINE_RUN).resolve().parent / "run-scan"
        log = pathlib.Path(e2e.EXE).resolve().parent / "wine-run.log"
        log.unlink(missing_ok=True)
        e2e.OUT.mkdir(parents=True, exist_ok=True)
        p = subprocess.run([str(run_scan), e2e.EXE, "run-scan.json"], stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, cwd=e2e.OUT, timeout=600)
        text = p.stdout.decode("utf-8", "replace")
        self.assertEqual(p.returncode, 0, text)
        seconds = re.search(r"checks, (\d+\.\d) s\n", text)
        self.assertIsNotNone(seconds, text)
        self.assertEqual(text.replace(seconds.group(1) + " s\n", "SECONDS s\n", 1),
                         expected_console(load("run-scan.json"), "privacy-safe", "run-scan.json"))
        self.assertTrue(log.exists())

    def test_modes_without_a_scan(self):
        # Without a display the message boxes return at once.
        cases = [
            (["--help"], 0, ""),
            (["--export", "not-written.json", "/?"], 0, ""),
            (["--export"], 1, ""),  # no path: window mode, which cannot start without a display
        ]
        for args, want_code, want_text in cases:
            code, text = e2e.run(*args)
            self.assertEqual((code, text), (want_code, want_text), args)
        self.assertFalse((e2e.OUT / "not-written.json").exists())


class HmacKeyTest(unittest.TestCase):
    def test_known_key_gives_known_ids_and_pseudonyms(self):
        key = bytes(range(0x40, 0x60))
        safe_name = "known-\u00e9\u96ea.json"  # the saved line shows it as UTF-8
        with KeyFileSwap(key) as swap:
            code, _ = e2e.run("--export-raw", "known-raw.json")
            self.assertEqual(code, 0)
            code, text = e2e.run("--export", safe_name, env=UTF8_ENV)
            self.assertEqual(code, 0)
            self.assertEqual(swap.path.read_bytes(), key, "the key file is only read")
        self.assertIn("  Saved privacy-safe snapshot: %s\n" % safe_name, text)
        raw, safe = load("known-raw.json"), load(safe_name)
        key_id = hashlib.sha256(key).hexdigest().upper()[:8]
        self.assertEqual(raw["hmacKeyId"], key_id)
        self.assertEqual(safe["hmacKeyId"], key_id)
        for sig in raw["signals"]:
            if sig["sens"] and sig["v"]:
                self.assertEqual(sig["h"], pseudonym(key, sig["key"], sig["v"]), sig["key"])
        # Every masked cell of the safe report against the raw value (same scan order and content).
        raw_tables = {t["id"]: t for t in raw["tables"]}
        for t in safe["tables"]:
            rt = raw_tables.get(t["id"])
            if rt is None or len(rt["rows"]) != len(t["rows"]):
                continue  # a table whose content changed between the two scans
            for row, raw_row in zip(t["rows"], rt["rows"]):
                for i, cell in enumerate(row["c"]):
                    if not cell.startswith("hmac:") or i >= len(raw_row["c"]):
                        continue
                    title = t["columns"][i] if i < len(t["columns"]) else str(i)
                    self.assertEqual(cell, "hmac:" + pseudonym(key, t["id"] + "/" + title, raw_row["c"][i]))

    def test_short_key_file_gives_a_key_per_process_and_stays(self):
        short = b"0123456789"
        with KeyFileSwap(short) as swap:
            ids = []
            for name in ("short-1.json", "short-2.json"):
                code, _ = e2e.run("--export-raw", name)
                self.assertEqual(code, 0)
                ids.append(load(name)["hmacKeyId"])
            self.assertEqual(swap.path.read_bytes(), short)
        self.assertNotEqual(ids[0], ids[1])


if __name__ == "__main__":
    unittest.main()
