"""The glossary check: which concepts a key names, which variants a
translation uses, and what makes a glossary file invalid."""
import contextlib
import io
import json
import pathlib
import sys
import tempfile
import unittest
from unittest import mock

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
import i18n_glossary as g  # noqa: E402

CONCEPTS = [
    {"id": "evidence", "en": ["evidence"], "term": "evidencias", "forms": ["evidencia", "evidencias"],
     "variants": ["pruebas", "prueba"]},
    {"id": "test", "en": ["test"], "term": "prueba", "forms": ["prueba", "pruebas"], "variants": ["test"]},
    {"id": "key", "en": ["key"], "term": "clave", "variants": ["llave"]},
    {"id": "endorsement-key", "en": ["endorsement key", "EK"], "term": "clave de aprobación",
     "variants": ["clave de respaldo"]},
    {"id": "identity", "en": ["identity"], "term": "identidad", "variants": ["identificación"]},
    {"id": "evidence-ru", "en": ["proof"], "term": "доказательства", "variants": ["признак"]},
    {"id": "client", "en": ["client"], "term": "客户端", "variants": ["客户机"]},
]


class Concepts(unittest.TestCase):
    def test_english_words(self):
        cases = [
            ("Evidence", ["evidence"]),
            ("Keys of the old install", ["key"]),
            ("Two identities", ["identity"]),
            ("TPM endorsement key", ["endorsement-key"]),            # the longer phrase wins
            ("Endorsement  keys and a key", ["endorsement-key", "key"]),
            ("EK present, key handle", ["endorsement-key", "key"]),
            ("keyboard, monkey, testing, evidenced", []),           # whole words only
            ("Tests and evidence", ["evidence", "test"]),
            ("", []),
        ]
        for key, want in cases:
            self.assertEqual(sorted(g.concepts_in(key, CONCEPTS)), sorted(want), key)


class Variants(unittest.TestCase):
    def test_translations(self):
        cases = [
            ("es", "Evidence", "Pruebas", [("evidence", "pruebas")]),
            ("es", "Evidence strength", "Fuerza de la PRUEBA", [("evidence", "prueba")]),
            ("es", "Evidence strength", "Fuerza de las evidencias", []),
            ("es", "Tests and evidence", "Pruebas y evidencias", []),         # a form of the other concept
            ("es", "Test results", "Resultados de pruebas", []),              # the concept is not named
            ("es", "Endorsement key", "Clave de respaldo", [("endorsement-key", "clave de respaldo")]),
            ("es", "Keys", "Llaves", [("key", "llave")]),                       # a word start
            ("es", "Keys", "Dellaves", []),                                     # not inside a word
            ("es", "Identity", "identificación", [("identity", "identificación")]),
            ("es", "Identity", "identificacio\u0301n", [("identity", "identificación")]),  # decomposed accent
            ("ru", "Proof", "Сила признаков", [("evidence-ru", "признак")]),
            ("zh-Hans", "Client", "客户机名称", [("client", "客户机")]),        # Chinese: a substring
            ("zh-Hans", "Client", "客户端名称", []),
            # A path or identifier the key holds stays as written.
            ("es", "Evidence under HKLM\\SOFTWARE\\Pruebas", "Evidencias en HKLM\\SOFTWARE\\Pruebas", []),
            ("es", "Evidence in prueba_state.flag", "Evidencias en prueba_state.flag", []),
        ]
        for code, key, text, want in cases:
            self.assertEqual(g.variants_in(code, key, text, CONCEPTS), want, (code, key, text))

    def test_count_forms_take_their_key(self):
        glossary = {"concepts": CONCEPTS}
        out = g.check_language("es", glossary, {"{n1} keys#one": "{n1} llave", "{n1} keys": "{n1} claves"})
        self.assertEqual(len(out), 1)
        self.assertIn("{n1} keys#one", out[0])
        self.assertIn("'llave'", out[0])


class Languages(unittest.TestCase):
    def test_every_page_language_needs_a_glossary(self):
        with tempfile.TemporaryDirectory() as tmp:
            concepts = [{"id": i, "en": [i], "term": i} for i in g.SHARED]
            (pathlib.Path(tmp) / "es.json").write_text(json.dumps({"language": "es", "concepts": concepts}))
            out = io.StringIO()
            with mock.patch.object(g, "GLOSSARIES", pathlib.Path(tmp)), \
                    mock.patch.object(g.i18n_check, "LANGS", ["es", "pt"]), contextlib.redirect_stdout(out):
                status = g.main([])
        self.assertEqual(status, 1)
        self.assertIn("pt: no glossary", out.getvalue())
        self.assertIn("es: %d concepts, 0 failures" % len(g.SHARED), out.getvalue())


class Validation(unittest.TestCase):
    def full(self, concepts):
        ids = {c["id"] for c in concepts}
        return concepts + [{"id": i, "en": [i], "term": i} for i in g.SHARED if i not in ids]

    def test_files(self):
        good = {"id": "key", "en": ["key"], "term": "clave", "variants": ["llave"]}
        cases = [
            ({"language": "es", "concepts": self.full([good])}, []),
            ({"language": "pt", "concepts": self.full([good])}, ["\"language\" is 'pt', the file name says 'es'"]),
            ({"language": "es", "concepts": self.full([good, good])}, ["key: id appears twice"]),
            ({"language": "es", "concepts": self.full([dict(good, term="")])}, ["key: no term"]),
            ({"language": "es", "concepts": self.full([dict(good, en=[])])}, ["key: no English words"]),
            ({"language": "es", "concepts": self.full([dict(good, variants=["Clave"])])},
             ["key: variant 'Clave' is also a form of the term"]),
            ({"language": "es", "concepts": self.full([dict(good, forms=["claves"])])},
             ["key: the term 'clave' is not among its forms"]),
            ({"language": "es", "concepts": [good]}, ["%s: shared concept missing" % i for i in g.SHARED if i != "key"]),
            ({"language": "es"}, ["expected an object with a list \"concepts\""]),
        ]
        for data, want in cases:
            self.assertEqual(g.validate("es", data), want, data)


if __name__ == "__main__":
    unittest.main()
