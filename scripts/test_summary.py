#!/usr/bin/env python3
"""The closing lines of a test run: every part that failed, with its first
failing test, so the verdict is on the last screen and not hundreds of lines
above it.

    test_summary.py ctest "host tests" LOG STATUS [ctest|node LABEL LOG STATUS ...]

A ctest log is split further: its `e2e` test is the part "end-to-end"."""
import re
import sys

CTEST_STATUS = re.compile(r"^\s*\d+/\d+ Test +#\d+: (\S+) \.*\s*(.*)$")
CTEST_FAILED = re.compile(r"^\s+\d+ - (\S+) \(([^)]*)\)\s*$")
# First lines of a failure inside a test's output: googletest, Python unittest.
CASE_FAILED = [re.compile(r"^\[  FAILED  \] (\S+)"), re.compile(r"^(?:FAIL|ERROR): (.+?)\s*$")]
TAP_NOT_OK = re.compile(r"^\s*not ok \d+ - (.+?)(?:\s+#.*)?\s*$")
E2E_TEST = "e2e"


def first_case(lines):
    for line in lines:
        for pattern in CASE_FAILED:
            m = pattern.match(line)
            if m:
                return m.group(1)
    return None


def ctest_failures(text):
    """[(test name, how it failed, first failing case or None)] in the order
    ctest lists them."""
    lines = text.splitlines()
    failed, listed = [], False
    for line in lines:
        if line.startswith("The following tests FAILED:"):
            listed = True
        elif listed:
            m = CTEST_FAILED.match(line)
            if m:
                failed.append((m.group(1), m.group(2)))
            elif line.strip():
                listed = False
    out = []
    for name, how in failed:
        case = None
        for i, line in enumerate(lines):
            m = CTEST_STATUS.match(line)
            if m and m.group(1) == name and "Passed" not in m.group(2):
                end = next((j for j in range(i + 1, len(lines)) if CTEST_STATUS.match(lines[j])), len(lines))
                case = first_case(lines[i + 1:end])
                break
        out.append((name, how, case))
    return out


def describe(failures):
    name, how, case = failures[0]
    text = f"{name} ({how})" + (f": {case}" if case else "")
    if len(failures) > 1:
        text += f"; also {', '.join(f[0] for f in failures[1:])}"
    return text


def summary(parts):
    """parts: [(kind, label, log text, exit status)] -> the closing lines."""
    bad, names = [], []
    for kind, label, text, status in parts:
        if kind == "ctest":
            failures = ctest_failures(text)
            groups = [(label, [f for f in failures if f[0] != E2E_TEST])]
            if any(f[0] == E2E_TEST for f in failures) or re.search(rf"Test +#\d+: {E2E_TEST} ", text):
                groups.append(("end-to-end", [f for f in failures if f[0] == E2E_TEST]))
            for name, found in groups:
                names.append(name)
                if found:
                    bad.append(f"{name}: {describe(found)}")
            if status != 0 and not failures:
                bad.append(f"{label}: ctest exited {status} before any test failed")
        else:
            names.append(label)
            if status == 0:
                continue
            first = next((m.group(1) for m in map(TAP_NOT_OK.match, text.splitlines()) if m), None)
            bad.append(f"{label}: {first}" if first else f"{label}: exited {status} before any test failed")
    if not bad:
        return ["All parts passed: " + ", ".join(names) + "."]
    return ["FAILED parts, each with its first failing test:"] + [f"  {b}" for b in bad]


def main(argv):
    if len(argv) % 4:
        sys.exit("usage: test_summary.py KIND LABEL LOG STATUS [...]")
    parts = []
    for i in range(0, len(argv), 4):
        kind, label, log, status = argv[i:i + 4]
        try:
            with open(log, encoding="utf-8", errors="replace") as f:
                text = f.read()
        except OSError:
            text = ""
        parts.append((kind, label, text, int(status)))
    lines = summary(parts)
    print("\n" + "\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
