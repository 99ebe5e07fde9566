"""Tests of the reference walk and the comparison (run with /usr/bin/python3 -m unittest)."""

import copy
import json
import os
import struct
import subprocess
import sys
import tempfile
import textwrap
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from reference import UNDEFINED, reference, stored_size, walk_nodes  # noqa: E402
import run_conformance  # noqa: E402


class Bytes:
    """Builds a little-endian file and remembers where each part starts."""

    LONG = {"OB", "OW", "SQ", "UN", "UT", "OF"}

    def __init__(self):
        self.data = bytearray()
        self.at = {}

    def mark(self, name):
        self.at[name] = len(self.data)

    def tag(self, group, element):
        self.data += struct.pack("<HH", group, element)

    def explicit(self, name, group, element, vr, value=b"", length=None):
        self.mark(name)
        self.tag(group, element)
        length = len(value) if length is None else length
        if vr in self.LONG:
            self.data += vr.encode() + b"\0\0" + struct.pack("<I", length)
        else:
            self.data += vr.encode() + struct.pack("<H", length)
        self.data += value

    def implicit(self, name, group, element, value=b"", length=None):
        self.mark(name)
        self.tag(group, element)
        self.data += struct.pack("<I", len(value) if length is None else length)
        self.data += value

    def item(self, name, length=UNDEFINED):
        self.mark(name)
        self.tag(0xFFFE, 0xE000)
        self.data += struct.pack("<I", length)

    def delimiter(self, element):
        self.tag(0xFFFE, element)
        self.data += b"\0\0\0\0"

    def meta(self, syntax):
        self.data += b"\0" * 128 + b"DICM"
        uid = syntax.encode() + (b"\0" if len(syntax) % 2 else b"")
        self.explicit("meta length", 0x0002, 0x0000, "UL", struct.pack("<I", 14 + 8 + len(uid)))
        self.explicit("meta version", 0x0002, 0x0001, "OB", b"\0\1")
        self.explicit("syntax", 0x0002, 0x0010, "UI", uid)

    def write(self, folder, name):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(self.data)
        return path


def by_tag(result):
    """{tag: [nodes]} over the whole tree."""
    nodes = {}
    for node, _depth in walk_nodes(result["elements"]):
        nodes.setdefault(node["tag"], []).append(node)
    return nodes


def explicit_file():
    """A file with every kind of nesting, odd lengths and trailing data."""
    b = Bytes()
    b.meta("1.2.840.10008.1.2.4.50")
    b.explicit("modality", 0x0008, 0x0060, "CS", b"MR")
    # Defined-length sequence with one defined-length item.
    b.explicit("defined sq", 0x0008, 0x1111, "SQ", length=8 + 12)
    b.item("defined item", 12)
    b.explicit("class uid", 0x0008, 0x1150, "UI", b"1.2\0")
    # Undefined-length sequence and item; the UI value has odd length.
    b.explicit("undefined sq", 0x0008, 0x1140, "SQ", length=UNDEFINED)
    b.item("undefined item")
    b.explicit("odd uid", 0x0008, 0x1155, "UI", b"1.2.3")
    b.mark("item delimiter")
    b.delimiter(0xE00D)
    b.mark("sequence delimiter")
    b.delimiter(0xE0DD)
    # Private UN of undefined length: its item is implicit VR.
    b.explicit("creator", 0x0009, 0x0010, "LO", b"ACME")
    b.explicit("un", 0x0009, 0x1001, "UN", length=UNDEFINED)
    b.item("un item")
    b.implicit("un id", 0x0010, 0x0020, b"ID01")
    b.delimiter(0xE00D)
    b.mark("un delimiter")
    b.delimiter(0xE0DD)
    b.explicit("name", 0x0010, 0x0010, "PN", b"Doe")
    b.explicit("birth", 0x0010, 0x0030, "DA", b"2020")
    b.explicit("pixels", 0x7FE0, 0x0010, "OB", length=UNDEFINED)
    b.item("offset table", 0)
    b.item("fragment", 4)
    b.data += b"\xff\xd8\xff\xd9"
    b.mark("pixel delimiter")
    b.delimiter(0xE0DD)
    b.data += b"trail"
    return b


def implicit_file():
    """Implicit VR: odd lengths, a short date, a private undefined-length
    sequence, a defined-length item with an odd child, bytes after the pixels."""
    b = Bytes()
    b.meta("1.2.840.10008.1.2")
    b.implicit("group length", 0x0008, 0x0000, struct.pack("<I", 10))
    b.implicit("date", 0x0008, 0x0020, b"2020")
    b.implicit("modality", 0x0008, 0x0060, b"MR")
    b.implicit("private", 0x0009, 0x1001, b"abc")
    b.implicit("private sq", 0x0009, 0x1002, length=UNDEFINED)
    b.item("private item")
    b.implicit("id", 0x0010, 0x0020, b"ID1")
    b.delimiter(0xE00D)
    b.delimiter(0xE0DD)
    b.implicit("sq", 0x0008, 0x1140, length=8 + 8 + 5)
    b.item("item", 8 + 5)
    b.implicit("uid", 0x0008, 0x1155, b"1.2.3")
    b.implicit("name", 0x0010, 0x0010, b"Doe")
    b.implicit("bits", 0x0028, 0x0100, struct.pack("<H", 16))
    b.implicit("pixels", 0x7FE0, 0x0010, b"\1\0\2\0")
    b.data += b"tail"
    return b


def fragments_file():
    """Encapsulated pixel data whose fragment holds delimiter bytes."""
    b = Bytes()
    b.meta("1.2.840.10008.1.2.4.90")
    for n in range(4):
        b.explicit("e%d" % n, 0x0008, 0x0060 + n, "CS", b"MR")
    b.explicit("pixels", 0x7FE0, 0x0010, "OB", length=UNDEFINED)
    b.item("offset table", 0)
    b.item("fragment", 8)
    b.data += b"\xfe\xff\xdd\xe0\0\0\0\0"
    b.delimiter(0xE0DD)
    return b


class ReferenceWalkTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def test_explicit_offsets_nesting_and_trailing_data(self):
        b = explicit_file()
        result = reference(b.write(self.folder, "explicit.dcm"))
        self.assertTrue(result["loaded"], result.get("error"))
        self.assertEqual(
            (result["hasPreamble"], result["explicitVR"], result["littleEndian"],
             result["trailingBytes"], result["fileSize"]),
            (True, True, True, 5, len(b.data)))
        self.assertEqual([n["tag"] for n in result["elements"]], [
            "0002,0000", "0002,0001", "0002,0010", "0008,0060", "0008,1111",
            "0008,1140", "0009,0010", "0009,1001", "0010,0010", "0010,0030",
            "7FE0,0010"])
        nodes = by_tag(result)
        at = b.at

        odd = nodes["0008,1155"][0]
        self.assertEqual((odd["tagOffset"], odd["dataOffset"], odd["size"], odd["lastByte"]),
                         (at["odd uid"], at["odd uid"] + 8, 6, at["odd uid"] + 12))
        undefined_item = nodes["FFFE,E000"][1]
        self.assertEqual((undefined_item["tagOffset"], undefined_item["size"],
                          undefined_item["lastByte"]),
                         (at["undefined item"], UNDEFINED, at["item delimiter"] + 7))
        undefined_sq = nodes["0008,1140"][0]
        self.assertEqual((undefined_sq["dataOffset"], undefined_sq["lastByte"]),
                         (at["undefined sq"] + 12, at["sequence delimiter"] + 7))
        defined_sq = nodes["0008,1111"][0]
        self.assertEqual((defined_sq["size"], defined_sq["lastByte"],
                          len(defined_sq["children"][0]["children"])),
                         (20, at["defined sq"] + 12 + 20 - 1, 1))

        un = nodes["0009,1001"][0]
        self.assertEqual((un["vr"], un["lastByte"]), ("UN", at["un delimiter"] + 7))
        un_id = un["children"][0]["children"][0]
        self.assertEqual((un_id["tag"], un_id["vr"], un_id["tagOffset"], un_id["dataOffset"]),
                         ("0010,0020", "LO", at["un id"], at["un id"] + 8))

        self.assertEqual((nodes["0010,0010"][0]["size"], nodes["0010,0010"][0]["lastByte"]),
                         (4, at["name"] + 8 + 2))
        self.assertEqual(nodes["0010,0030"][0]["size"], 8)

        pixels = nodes["7FE0,0010"][0]
        self.assertEqual([(c["tagOffset"], c["size"], c["children"]) for c in pixels["children"]],
                         [(at["offset table"], 0, []), (at["fragment"], 4, [])])
        self.assertEqual(pixels["lastByte"], at["pixel delimiter"] + 7)
        self.assertEqual(pixels["children"][0]["lastByte"], at["offset table"] + 7)

    def test_fragment_holding_delimiter_bytes_is_read_by_its_length(self):
        b = fragments_file()
        result = reference(b.write(self.folder, "j2k.dcm"))
        pixels = result["elements"][-1]
        self.assertEqual([c["size"] for c in pixels["children"]], [0, 8])
        self.assertEqual((pixels["lastByte"], result["trailingBytes"]),
                         (len(b.data) - 1, 0))

    def test_implicit_vrs_come_from_the_dictionary(self):
        b = implicit_file()
        result = reference(b.write(self.folder, "implicit.dcm"))
        self.assertFalse(result["explicitVR"])
        got = [(n["tag"], n["vr"], n["tagOffset"], n["size"]) for n in result["elements"][3:]]
        self.assertEqual(got, [
            ("0008,0000", "UL", b.at["group length"], 4),
            ("0008,0020", "DA", b.at["date"], 8),
            ("0008,0060", "CS", b.at["modality"], 2),
            ("0009,1001", "", b.at["private"], 3),
            ("0009,1002", "", b.at["private sq"], UNDEFINED),
            ("0008,1140", "SQ", b.at["sq"], 21),
            ("0010,0010", "PN", b.at["name"], 4),
            ("0028,0100", "US", b.at["bits"], 2),
            ("7FE0,0010", "OW", b.at["pixels"], 4)])
        item = result["elements"][8]["children"][0]
        self.assertEqual((item["size"], item["children"][0]["size"]), (13, 6))
        self.assertEqual(result["trailingBytes"], 4)

    def test_truncated_value_gives_no_reading(self):
        b = explicit_file()
        path = b.write(self.folder, "cut.dcm")
        with open(path, "wb") as f:
            f.write(b.data[:b.at["name"] + 9])
        result = reference(path)
        self.assertFalse(result["loaded"])
        self.assertIn("past the end", result["error"])


def ours_from(ref):
    """What a correct orveldump prints for the reference `ref`."""
    ours = copy.deepcopy(ref)
    for key in ("transferSyntax", "pixelRepresentation", "notes"):
        ours.pop(key, None)
    for node, _depth in walk_nodes(ours["elements"]):
        node.pop("valueLength")
        node.pop("implicitVR", None)
        node["value"] = "" if node["tag"] == "FFFE,E000" else "text"
    return ours


def node(tag, vr, offset, length, implicit=False, children=()):
    header = 8 if implicit or vr not in ("OB", "OW", "SQ", "UN", "UT") else 12
    return {"tag": tag, "name": "", "vr": vr, "tagOffset": offset,
            "dataOffset": offset + header, "size": stored_size(length, vr),
            "valueLength": length, "lastByte": offset + header + length - 1,
            "implicitVR": implicit, "children": list(children)}


def file_of(*elements, **flags):
    result = {"file": "f", "loaded": True, "fileSize": 1000, "hasPreamble": True,
              "explicitVR": True, "littleEndian": True, "trailingBytes": 0,
              "elements": list(elements), "pixelRepresentation": None}
    result.update(flags)
    return result


class CompareTest(unittest.TestCase):
    def differences(self, ours, ref, refusal=None, vr_differences=None):
        return run_conformance.compare(ours, ref, refusal, vr_differences or {})

    def test_padding_and_date_rules(self):
        self.assertEqual([stored_size(3, vr) for vr in ("PN", "UI", "OB", "UN", "US", "")],
                         [4, 4, 4, 3, 3, 3])
        self.assertEqual([stored_size(n, "DA") for n in (0, 4, 8, 9, 10, 12)],
                         [0, 8, 8, 10, 10, 10])
        self.assertEqual(stored_size(UNDEFINED, "OB"), UNDEFINED)

    def test_agreeing_parse_passes_and_each_field_is_checked(self):
        ref = file_of(node("0010,0010", "PN", 132, 3),
                      node("0008,1140", "SQ", 144, 0, children=[
                          node("FFFE,E000", "", 156, 0, implicit=True)]))
        self.assertEqual(self.differences(ours_from(ref), ref), [])
        for path, key, value in ((0, "size", 3), (0, "lastByte", 143), (0, "vr", "LO"),
                                 (0, "dataOffset", 141), (1, "tag", "0008,1141")):
            ours = ours_from(ref)
            ours["elements"][path][key] = value
            self.assertEqual(len(self.differences(ours, ref)), 1, key)
        ours = ours_from(ref)
        ours["elements"][1]["children"] = []
        self.assertIn("missing FFFE,E000", self.differences(ours, ref)[0])
        ours = ours_from(ref)
        ours["trailingBytes"] = 2
        self.assertIn("trailingBytes", self.differences(ours, ref)[0])

    def test_refusals_must_be_expected_and_expected_ones_must_happen(self):
        ref = file_of(node("0010,0010", "PN", 132, 4))
        refused = {"file": "f", "loaded": False, "error": "Invalid DICOM file"}
        self.assertEqual(self.differences(refused, ref, "truncated"), [])
        self.assertIn("expects a refusal", self.differences(ours_from(ref), ref, "truncated")[0])
        self.assertIn("not listed", self.differences(refused, ref)[0])
        unreadable = {"file": "f", "loaded": False, "error": "cut short"}
        self.assertIn("cannot read", self.differences(ours_from(ref), unreadable)[0])

    def test_implicit_vr_differences_only_when_listed(self):
        ref = file_of(node("0018,9999", "LO", 132, 3, implicit=True), explicitVR=False)
        ours = ours_from(ref)
        ours["elements"][0].update(vr="", size=3)
        self.assertIn("vr ours", self.differences(ours, ref)[0])
        self.assertEqual(self.differences(ours, ref, None, {("0018,9999", "LO"): ""}), [])
        # A listed difference does not excuse a wrong size.
        ours["elements"][0]["size"] = 4
        self.assertEqual(len(self.differences(ours, ref, None, {("0018,9999", "LO"): ""})), 1)
        explicit = file_of(node("0018,9999", "LO", 132, 4))
        ours = ours_from(explicit)
        ours["elements"][0]["vr"] = ""
        self.assertEqual(len(self.differences(ours, explicit, None,
                                              {("0018,9999", "LO"): ""})), 1)

    def test_every_node_has_a_value_text_and_items_an_empty_one(self):
        ref = file_of(node("0008,1140", "SQ", 132, 8, children=[node("FFFE,E000", "", 144, 0)]))
        ours = ours_from(ref)
        self.assertEqual(self.differences(ours, ref), [])
        del ours["elements"][0]["value"]
        self.assertIn("value null", self.differences(ours, ref)[0])
        ours = ours_from(ref)
        ours["elements"][0]["children"][0]["value"] = "x"
        self.assertIn("value", self.differences(ours, ref)[0])

    def test_pixel_value_range_vr_follows_pixel_representation(self):
        ref = file_of(node("0028,0106", "US", 132, 2), pixelRepresentation=1)
        ours = ours_from(ref)
        self.assertEqual(len(self.differences(ours, ref)), 1)
        ours["elements"][0]["vr"] = "SS"
        self.assertEqual(self.differences(ours, ref), [])


class RunnerTest(unittest.TestCase):
    """The whole run against a stand-in orveldump."""

    def setUp(self):
        self.folder = tempfile.mkdtemp()
        corpus = os.path.join(self.folder, "corpus")
        os.makedirs(os.path.join(corpus, "sub"))
        self.corpus = corpus
        good = explicit_file()
        for name in ("a.dcm", "sub/b", "crash.dcm", "cut.dcm"):
            good.write(corpus, name)
        with open(os.path.join(corpus, "cut.dcm"), "wb") as f:
            f.write(good.data[:good.at["name"] + 9])
        with open(os.path.join(corpus, "notes.txt"), "w") as f:
            f.write("not DICOM")
        fake = os.path.join(self.folder, "orveldump")
        with open(fake, "w") as f:
            f.write(textwrap.dedent("""\
                #!/usr/bin/python3
                import json, sys
                sys.path.insert(0, %r)
                from reference import reference
                from test_conformance import ours_from
                for path in sys.argv[2:]:
                    if path.endswith("crash.dcm"):
                        sys.exit(139)
                    ref = reference(path)
                    if not ref["loaded"]:
                        ref = {"file": path, "loaded": False, "error": "Invalid DICOM file"}
                    else:
                        ref = ours_from(ref)
                        if path.endswith("b"):
                            ref["elements"][3]["size"] += 1
                    print(json.dumps(ref), flush=True)
                """ % HERE))
        os.chmod(fake, 0o755)
        self.fake = fake
        self.refused = os.path.join(self.folder, "refused.txt")
        with open(self.refused, "w") as f:
            f.write("# comment\ncut.dcm  truncated: Patient's Name runs past the end\n")

    def run_it(self):
        proc = subprocess.run(
            [sys.executable, os.path.join(HERE, "run_conformance.py"), "--orveldump",
             self.fake, "--corpus", self.corpus, "--refused", self.refused],
            capture_output=True, text=True, timeout=300)
        return proc.returncode, proc.stdout.splitlines()

    def test_failures_are_reported_per_file_and_counted(self):
        code, lines = self.run_it()
        self.assertEqual(code, 1)
        self.assertEqual(lines[-1], "2 passed, 2 failed")
        failures = sorted(line.split(":")[0] for line in lines if line.startswith("FAIL"))
        self.assertEqual(failures, ["FAIL crash.dcm", "FAIL sub/b"])
        self.assertIn("exited with 139", "".join(lines))
        self.assertIn("0008,0060: size ours 3, reference 2", "".join(lines))

    def test_clean_run_exits_zero(self):
        os.remove(os.path.join(self.corpus, "crash.dcm"))
        os.remove(os.path.join(self.corpus, "sub", "b"))
        code, lines = self.run_it()
        self.assertEqual((code, lines[-1]), (0, "2 passed, 0 failed"))

    def test_corpus_skips_what_is_not_dicom(self):
        files, skipped = run_conformance.collect_corpus([self.corpus])
        self.assertEqual(set(rel for _root, rel in files),
                         {"a.dcm", "crash.dcm", "cut.dcm", "sub/b"})
        self.assertEqual(skipped, [("notes.txt", "text")])


ORVELDUMP = os.environ.get("ORVELDUMP") or os.path.join(
    HERE, "..", "..", "build", "native", "cli", "orveldump")


@unittest.skipUnless(os.access(ORVELDUMP, os.X_OK), "orveldump is not built")
class OrveldumpOnBuiltFilesTest(unittest.TestCase):
    """orveldump against the reference on files with what pydicom's lack:
    odd lengths, short dates, UN and private sequences, trailing bytes."""

    def test_built_files_agree(self):
        folder = tempfile.mkdtemp()
        explicit_file().write(folder, "explicit.dcm")
        implicit_file().write(folder, "implicit.dcm")
        fragments_file().write(folder, "fragments.dcm")
        # Refused: 2 stray bytes after the last element; only 5 elements.
        stray = implicit_file()
        stray.data = stray.data[:stray.at["pixels"]] + b"\0\0"
        stray.write(folder, "stray.dcm")
        five = Bytes()
        five.meta("1.2.840.10008.1.2.1")
        five.explicit("modality", 0x0008, 0x0060, "CS", b"MR")
        five.explicit("name", 0x0010, 0x0010, "PN", b"Doe ")
        five.write(folder, "five.dcm")
        refused = os.path.join(folder, "refused.txt")
        with open(refused, "w") as f:
            f.write("stray.dcm  2 bytes after the last element\n"
                    "five.dcm  5 top-level elements\n")
        proc = subprocess.run(
            [sys.executable, os.path.join(HERE, "run_conformance.py"), "--orveldump",
             ORVELDUMP, "--corpus", folder, "--refused", refused],
            capture_output=True, text=True, timeout=300)
        self.assertEqual(proc.stdout.splitlines()[-1:], ["5 passed, 0 failed"], proc.stdout)


if __name__ == "__main__":
    unittest.main()
