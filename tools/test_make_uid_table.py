#!/usr/bin/env python3
"""Tests of the UID name table generator: python3 tools/test_make_uid_table.py"""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import make_uid_table as generator  # noqa: E402

TABLE = os.path.join(HERE, os.pardir, "dicom", "dictionary", "uid_table.cpp")


class CommittedTable(unittest.TestCase):
    def test_is_what_the_generator_makes_now(self):
        with open(TABLE, encoding="ascii", newline="") as f:
            committed = f.read()
        self.assertTrue(committed == generator.render(generator.collect_rows()),
                        "dicom/dictionary/uid_table.cpp is stale or edited by hand; run "
                        "python3 tools/make_uid_table.py dicom/dictionary/uid_table.cpp")

    def test_rows_are_in_the_order_the_lookup_searches(self):
        # The program's binary search compares bytes, as strcmp does.
        uids = [uid.encode() for uid, _ in generator.collect_rows()]
        self.assertEqual(uids, sorted(uids))
        self.assertEqual(len(uids), len(set(uids)))


if __name__ == "__main__":
    unittest.main()
