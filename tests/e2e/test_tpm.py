"""The TPM collector and the self-test under Wine, which reports no TPM and
ends the process when its unimplemented TBS functions are called."""
import unittest

import vorq_e2e as e2e


class TpmUnderWine(unittest.TestCase):
    def test_scan_reports_only_the_device_query(self):
        report, _, code = e2e.scan("raw")
        self.assertEqual(code, 0)
        run = next(c for c in report["collectors"] if c["name"] == "TPM")
        self.assertEqual(run["status"], "ok")
        tables = [t for t in report["tables"] if t["tab"] == "tpm"]
        self.assertEqual([t["id"] for t in tables], ["tpm.device"])
        self.assertEqual([r["c"] for r in tables[0]["rows"]],
                         [["Present", "[info] No TPM was reported by TBS (0x8028400F)"]])
        self.assertFalse([s for s in report["signals"] if s["key"].startswith("tpm.")])
        # The scan went on to the collectors after it.
        self.assertIn("Cross-checks", [c["name"] for c in report["collectors"]])

    def test_selftest_fails_at_create_and_reports_the_key_state(self):
        code, text = e2e.run("--selftest")
        self.assertEqual(code, 1)
        lines = text.splitlines()
        self.assertIn("VornixQuelm 1.4.0 self-test: TPM-bound key (Microsoft Platform Crypto Provider)", lines)
        create = next(l for l in lines if l.startswith("  create    : "))
        # Wine opens the provider but refuses every key: that is not "no key".
        self.assertTrue(create.startswith("  create    : FAILED | The TPM-bound key's state could not be read: "
                                          "HRESULT 0x80090029"), create)
        # No key, no signed challenge: nothing to compare, so no verdict on keys or nonces.
        self.assertIn("  same key  : skipped", lines)
        self.assertIn("  nonce     : skipped", lines)
        self.assertIn("  after     : could not be read", lines)
        self.assertTrue(text.endswith("\n\n"), text)
