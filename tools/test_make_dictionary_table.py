#!/usr/bin/env python3
"""Tests of the dictionary table generator: python3 tools/test_make_dictionary_table.py"""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import make_dictionary_table as generator  # noqa: E402

TABLE = os.path.join(HERE, os.pardir, "dicom", "dictionary", "dictionary_table.cpp")


def row(name):
    return generator.Row(0x0010, 0x0010, name, ("PN",), None)


class CommittedTable(unittest.TestCase):
    def test_is_what_the_generator_makes_now(self):
        report = []
        text = generator.render(generator.apply_changes(generator.collect_rows()), report)
        with open(TABLE, encoding="latin-1", newline="") as f:
            committed = f.read()
        self.assertTrue(committed == text,
                        "dicom/dictionary/dictionary_table.cpp is stale or edited by hand; run "
                        "python3 tools/make_dictionary_table.py dicom/dictionary/dictionary_table.cpp")


class Texts(unittest.TestCase):
    def test_c_string_escapes_quotes_backslashes_and_high_bytes(self):
        self.assertEqual(generator.c_string(b'Patient\'s "A\\B"'), '"Patient\'s \\"A\\\\B\\""')
        # Octal escapes stop after three digits, so a digit after one stays a digit.
        self.assertEqual(generator.c_string(b"\xb51 \xff"), '"\\2651 \\377"')

    def test_names_are_latin1_or_transliterated_and_reported(self):
        report = []
        self.assertEqual(generator.encode_name(row("Gr\u00f6\u00dfe \u00b5m"), report),
                         "Gr\u00f6\u00dfe \u00b5m".encode("latin-1"))
        self.assertEqual(report, [])
        self.assertEqual(generator.encode_name(row("Caf\u0117 \u2013 \u201cx\u201d\u200b"), report),
                         b'Cafe - "x"')
        self.assertEqual(len(report), 1)
        with self.assertRaises(SystemExit):  # never a letter silently lost
            generator.encode_name(row("\u0141\u00f3d\u017a"), [])

    def test_names_that_do_not_fit_are_refused(self):
        self.assertEqual(len(generator.encode_name(row("x" * 127), [])), 127)
        with self.assertRaises(SystemExit):
            generator.encode_name(row("x" * 128), [])
        with self.assertRaises(SystemExit):
            generator.encode_name(row("tab\there"), [])

    def test_vr_alternatives_become_codes_while_they_fit(self):
        self.assertEqual(generator.split_vr("US or SS or OW", "t"), ("US", "SS", "OW"))
        with self.assertRaises(SystemExit):
            generator.split_vr("US or SS or OW or OB", "t")
        with self.assertRaises(SystemExit):
            generator.split_vr("NONE", "t")


if __name__ == "__main__":
    unittest.main()
