"""Platform security under Wine: no GetFirmwareType (looked up at run time, so
the program still starts), code integrity from NtQuerySystemInformation, no
Device Guard or Security Center namespaces, which the rows and the note say."""
import unittest

import vorq_e2e as e2e


class PlatformUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.report, _, cls.code = e2e.scan("raw")

    def rows(self, table_id):
        return [r["c"] for r in e2e.table(self.report, table_id)["rows"]]

    def test_posture(self):
        self.assertEqual(self.code, 0)
        run = next(c for c in self.report["collectors"] if c["name"] == "Platform security")
        self.assertEqual(run["status"], "ok")
        ids = [i for i in e2e.table_ids(self.report) if i in ("platform.posture", "platform.wsc")]
        self.assertEqual(ids, ["platform.posture", "platform.wsc"])
        rows = self.rows("platform.posture")
        self.assertEqual(rows[0], ["Firmware type", "[info] unknown", "GetFirmwareType"])
        by_feature = {r[0]: r for r in rows}
        ci = by_feature["Code integrity"]
        self.assertEqual(ci[1], "[ok] enabled")
        self.assertRegex(ci[2], r"^CodeIntegrityOptions = 0x[0-9A-F]{8}$")
        self.assertEqual(by_feature["Test signing"][1], "[ok] off")
        vbs = by_feature["Virtualization-based security"]
        self.assertEqual(vbs[1], "[info] unknown")
        self.assertTrue(vbs[2].startswith("WMI: ConnectServer(ROOT\\Microsoft\\Windows\\DeviceGuard): HRESULT 0x"), vbs)
        self.assertNotIn("HVCI service", by_feature)
        self.assertEqual(by_feature["Runtime attestation report"][1], "[info] API not present on this Windows build")
        for r in rows:
            self.assertRegex(r[1], r"^\[(ok|warn|bad|info)\] ")

    def test_security_center(self):
        wsc = e2e.table(self.report, "platform.wsc")
        self.assertEqual(wsc["rows"], [])
        self.assertTrue(wsc["note"].endswith(
            " Security Center namespace not available (server editions do not have it)."), wsc["note"])

    def test_platform_integrity_rests_on_the_facts(self):
        score = next(s for s in self.report["scores"] if s["id"] == "platform")
        items = {i["label"]: i for i in score["items"]}
        # Code integrity answered: test signing and kernel debugging are known to be off.
        self.assertEqual(items["Test signing off"]["points"], 10)
        self.assertEqual(items["Kernel debugging off"]["points"], 10)
        self.assertEqual(items["UEFI firmware"]["points"], 0)
        self.assertGreater(score["value"], 0)


if __name__ == "__main__":
    unittest.main()
