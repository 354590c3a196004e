"""The closing lines of scripts/run-tests over logs shaped like ctest's and
node's output."""
import importlib.util
import pathlib
import unittest

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
spec = importlib.util.spec_from_file_location("test_summary", ROOT / "scripts" / "test_summary.py")
ts = importlib.util.module_from_spec(spec)
spec.loader.exec_module(ts)

HOST_FAIL = """Test project /x/build/host
      Start  1: unit_tests
 1/3 Test  #1: unit_tests .......................***Failed    3.21 sec
/x/tests/unit/json_test.cpp:12: Failure
[  FAILED  ] JsonWriter.Escapes (0 ms)
[  FAILED  ] JsonWriter.Numbers (0 ms)
 2/3 Test  #2: i18n_keys ........................   Passed    0.50 sec
 3/3 Test  #3: json_fuzz ........................***Timeout  60.00 sec

33% tests passed, 2 tests failed out of 3

The following tests FAILED:
\t  1 - unit_tests (Failed)
\t  3 - json_fuzz (Timeout)
Errors while running CTest
"""
HOST_PASS = """ 1/1 Test  #1: unit_tests .......................   Passed    3.21 sec

100% tests passed, 0 tests failed out of 1
"""
WIN_E2E_FAIL = """ 1/2 Test  #2: e2e ..............................***Failed  200.00 sec
...
======================================================================
ERROR: setUpClass (test_windows.WindowsRegistryValues)
----------------------------------------------------------------------
FAIL: test_version (test_cpu.Cpu)
 2/2 Test  #1: win_tests ........................   Passed   10.00 sec

The following tests FAILED:
\t  2 - e2e (Failed)
"""
WIN_PASS = """ 1/2 Test  #2: e2e ..............................   Passed  200.00 sec
 2/2 Test  #1: win_tests ........................   Passed   10.00 sec
"""
PAGE_FAIL = """TAP version 13
# Subtest: report diff
    # Subtest: keeps rows
    not ok 1 - keeps rows
      ---
    ok 2 - draws 500 rows
not ok 1 - report diff
ok 2 - compare
# pass 1
# fail 1
"""


class Summary(unittest.TestCase):
    def test_parts(self):
        # (host log, host status, Windows log, Windows status, page log, page status, closing lines)
        cases = [
            (HOST_PASS, 0, WIN_PASS, 0, "# pass 3\n", 0,
             ["All parts passed: host tests, Windows tests, end-to-end, page."]),
            (HOST_FAIL, 8, WIN_E2E_FAIL, 8, PAGE_FAIL, 1,
             ["FAILED parts, each with its first failing test:",
              "  host tests: unit_tests (Failed): JsonWriter.Escapes; also json_fuzz",
              "  end-to-end: e2e (Failed): setUpClass (test_windows.WindowsRegistryValues)",
              "  page: keeps rows"]),
            (HOST_PASS, 0, "", 8, "", 1,
             ["FAILED parts, each with its first failing test:",
              "  Windows tests: ctest exited 8 before any test failed",
              "  page: exited 1 before any test failed"]),
        ]
        for host, hs, win, ws, page, ps, want in cases:
            with self.subTest(want=want[-1]):
                parts = [("ctest", "host tests", host, hs), ("ctest", "Windows tests", win, ws),
                         ("node", "page", page, ps)]
                self.assertEqual(ts.summary(parts), want)


if __name__ == "__main__":
    unittest.main()
