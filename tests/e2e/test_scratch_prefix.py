"""Registry writes into a scratch prefix, with a stand-in for `wine` on PATH
that refuses a given number of writes before it accepts."""
import contextlib
import io
import os
import pathlib
import tempfile
import unittest
from unittest import mock

import vorq_e2e as e2e

FAKE_WINE = """#!/bin/sh
n=$(cat "$0.count" 2>/dev/null || echo 0)
echo $((n + 1)) > "$0.count"
printf '%s\n' "$*" >> "$0.calls"
if [ "$n" -lt "$REFUSALS" ]; then
  echo "reg: access denied ($n)" >&2
  exit 1
fi
exit 0
"""


class ScratchPrefixWrites(unittest.TestCase):
    def write(self, refusals):
        """(exception or None, stderr text, wine calls) of one reg_add."""
        with tempfile.TemporaryDirectory() as d:
            wine = pathlib.Path(d) / "wine"
            wine.write_text(FAKE_WINE)
            wine.chmod(0o755)
            env = {"PATH": f"{d}{os.pathsep}{os.environ['PATH']}", "REFUSALS": str(refusals)}
            err, raised = io.StringIO(), None
            with mock.patch.dict(os.environ, env), contextlib.redirect_stderr(err):
                try:
                    e2e.ScratchPrefix("fake").reg_add(r"HKLM\SOFTWARE\X", "V", "REG_MULTI_SZ", ["a", "b"])
                except Exception as e:  # noqa: BLE001 - the test looks at what was raised
                    raised = e
            calls = pathlib.Path(f"{wine}.calls").read_text().splitlines()
            return raised, err.getvalue(), calls

    def test_refusals(self):
        # (refusals before Wine accepts, raises, wine calls, says it retries)
        for refusals, raises, calls, retried in [(0, False, 1, False), (1, False, 2, True),
                                                 (2, True, 2, True)]:
            with self.subTest(refusals=refusals):
                raised, err, seen = self.write(refusals)
                self.assertEqual(raised is not None, raises)
                self.assertEqual(len(seen), calls)
                self.assertEqual("trying once more" in err, retried)
                if retried:
                    self.assertIn("reg: access denied (0)", err)
                if raises:
                    # Wine's own words of the last refusal are in the error.
                    self.assertIn("reg: access denied (1)", str(raised))
                self.assertEqual(seen[0], r"reg add HKLM\SOFTWARE\X /v V /t REG_MULTI_SZ /d a\0b /f")


if __name__ == "__main__":
    unittest.main()
