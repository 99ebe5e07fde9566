#!/usr/bin/env python3
"""Writes dicom/dictionary/uid_table.cpp, the names of the SOP classes and transfer syntaxes.

The rows come from the UID registry that Debian's python3-pydicom ships
(pydicom._uid_dict), run with the system python3:

    python3 tools/make_uid_table.py dicom/dictionary/uid_table.cpp
    python3 tools/make_uid_table.py --check dicom/dictionary/uid_table.cpp

--check writes nothing; it exits 1 (and prints a diff) when the file differs from what this
script produces now. Only the kinds in KINDS are kept (what a file names in (0002,0002),
(0008,0016) and (0002,0010)); a retired UID's name gets " (Retired)". Rows are sorted by UID
text, so the program finds one by binary search.
"""

import argparse
import difflib
import sys

import pydicom
from pydicom._uid_dict import UID_dictionary

KINDS = ("SOP Class", "Meta SOP Class", "Transfer Syntax")


def collect_rows():
    rows = []
    for uid, (name, kind, _info, retired, _keyword) in UID_dictionary.items():
        if kind not in KINDS or not name:
            continue
        if retired == "Retired" and "Retired" not in name:
            name += " (Retired)"
        # Names are plain ASCII in the registry; anything else would be a change to look at.
        if not all(32 <= ord(c) < 127 for c in name + uid) or '"' in name or "\\" in name:
            raise SystemExit("make_uid_table: unexpected characters in %r %r" % (uid, name))
        rows.append((uid, name))
    rows.sort()
    return rows


def render(rows):
    lines = [
        "// GENERATED FILE - DO NOT EDIT BY HAND.",
        "//",
        "// Made by: python3 tools/make_uid_table.py dicom/dictionary/uid_table.cpp",
        "// from the UID registry of pydicom %s (pydicom._uid_dict)." % pydicom.__version__,
        "// To change a row, change tools/make_uid_table.py and run it again.",
        "",
        '#include "dicom/dictionary/UidDictionary.h"',
        "",
        "extern constexpr UidRecord kUidTable[] = {",
    ]
    lines += ['    {"%s", "%s"},' % row for row in rows]
    lines += ["};", "extern constexpr size_t kUidTableSize = sizeof kUidTable / sizeof kUidTable[0];", ""]
    return "\n".join(lines)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true")
    parser.add_argument("output")
    args = parser.parse_args(argv)
    text = render(collect_rows())
    if args.check:
        with open(args.output, encoding="ascii", newline="") as f:
            committed = f.read()
        if committed != text:
            sys.stdout.writelines(difflib.unified_diff(committed.splitlines(True), text.splitlines(True),
                                                       args.output, "generated"))
            return 1
        return 0
    with open(args.output, "w", encoding="ascii", newline="") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
