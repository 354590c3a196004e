"""Every label of a real report has a key for the translators or a template."""
import pathlib
import sys
import unittest

import vorq_e2e as e2e

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
import i18n_keys  # noqa: E402


class ReportTexts(unittest.TestCase):
    def assert_covered(self, report):
        texts = i18n_keys.report_texts(report)
        is_ignored = i18n_keys.ignored()
        missing = [t for t in i18n_keys.uncovered(texts, i18n_keys.load_keys(), i18n_keys.load_templates())
                   if not is_ignored(t)]
        self.assertEqual(missing, [], "texts without a key or template (where: %s); add a template to "
                         "ui/i18n/templates.json or run scripts/i18n_keys.py --write" % [texts[t][0] for t in missing])

    def test_raw_report(self):
        report, _, code = e2e.scan("raw")
        self.assertEqual(code, 0)
        self.assert_covered(report)

    def test_report_with_a_display(self):
        report, _, _ = e2e.scan_with_display("raw")
        self.assertIsNotNone(report)
        self.assert_covered(report)


if __name__ == "__main__":
    unittest.main()
