"""orveldump --at, --tag, --redact and --diff from the outside, on built files and on pydicom's
(run with /usr/bin/python3; ORVELDUMP names the program)."""

import json
import os
import struct
import unittest

from cli_support import FolderTest, element, item, part10, run

PYDICOM = "/usr/lib/python3/dist-packages/pydicom/data/test_files"
PLANTED = [b"Zqx^Planted", b"PLANTED-ID-77", b"19991231", b"1.2.999.777", b"SECRETPRIV", b"Free text 4711"]


def study(name=b"Zqx^Planted", syntax=b"1.2.840.10008.1.2.1\0"):
    """A file with planted patient values at the top level, in a sequence item and in a private
    element; the sequence (0008,1115) holds one item with (0010,0010) and (0008,1150)."""
    meta = (element(2, 1, "OB", b"\0\1") + element(2, 2, "UI", b"1.2.840.10008.5.1.4.1.1.2\0") +
            element(2, 3, "UI", b"1.2.999.777\0") + element(2, 0x10, "UI", syntax))
    nested = element(8, 0x1150, "UI", b"1.2.840.10008.5.1.4.1.1.2\0") + element(0x10, 0x10, "PN", b"Zqx^Planted\0")
    data = (element(8, 5, "CS", b"ISO_IR 100") + element(8, 0x16, "UI", b"1.2.840.10008.5.1.4.1.1.2\0") +
            element(8, 0x18, "UI", b"1.2.999.777\0") + element(8, 0x20, "DA", b"19991231") +
            element(8, 0x60, "CS", b"CT") + element(8, 0x1115, "SQ", item(nested)) +
            element(0x10, 0x10, "PN", name + (b" " if len(name) % 2 else b"")) +
            element(0x10, 0x20, "LO", b"PLANTED-ID-77 ") + element(0x10, 0x4000, "LT", b"Free text 4711") +
            element(0x11, 0x10, "LO", b"ACME") + element(0x11, 0x1010, "LO", b"SECRETPRIV") +
            element(0x28, 0x10, "US", struct.pack("<H", 64)) + element(0x28, 0x11, "US", struct.pack("<H", 32)) +
            element(0x28, 0x4000, "LT", b"Free text 4711"))
    return part10(meta, data)


def offset_of(data, group, element_):
    return data.index(struct.pack("<HH", group, element_))


class ToolsTest(FolderTest):
    def setUp(self):
        super().setUp()
        self.bytes = study()
        self.file = self.write("study.dcm", self.bytes)

    def at(self, offset, path=None):
        code, out, _ = run("--json", "--at", str(offset), path or self.file)
        return code, json.loads(out)

    def test_at_gives_the_chain_with_exact_keys_in_decimal_and_hex(self):
        sequence = offset_of(self.bytes, 8, 0x1115)
        nested_name = self.bytes.index(b"Zqx^Planted\0")
        code, found = self.at(nested_name + 3)
        self.assertEqual(code, 0)
        self.assertEqual(set(found), {"file", "offset", "path"})
        self.assertEqual([(s["index"], s["tag"]) for s in found["path"]],
                         [(10, "0008,1115"), (0, "FFFE,E000"), (1, "0010,0010")])
        for step in found["path"]:
            self.assertEqual(set(step), {"index", "tag", "vr", "tagOffset", "lastByte", "name"})
            self.assertLessEqual(step["tagOffset"], nested_name + 3)
            self.assertGreaterEqual(step["lastByte"], nested_name + 3)
        self.assertEqual(found["path"][0]["tagOffset"], sequence)
        self.assertEqual(found["path"][0]["vr"], "SQ")
        self.assertEqual(found["path"][1]["name"], "SQ Item")
        self.assertEqual(self.at(hex(nested_name + 3))[1]["path"], found["path"])
        # A header byte of the sequence: the sequence alone; preamble, "DICM", past the end: [].
        self.assertEqual(len(self.at(sequence + 5)[1]["path"]), 1)
        for nowhere in (0, 131, len(self.bytes), 2**64 - 1):
            self.assertEqual(self.at(nowhere)[1]["path"], [], nowhere)
        code, out, _ = run("--at", str(nested_name), self.file)
        self.assertIn("lies in element 10 (0008,1115) > item 0 (FFFE,E000) > element 1 (0010,0010)", out)
        self.assertIn("lies past the end of the file", run("--at", str(len(self.bytes)), self.file)[1])
        self.assertIn("lies in the 128-byte preamble", run("--at", "0x10", self.file)[1])

    def test_at_on_real_fragments_and_on_a_refused_file(self):
        jpeg = os.path.join(PYDICOM, "JPEG2000.dcm")
        pixel = json.loads(run("--json", jpeg)[1])["elements"][-1]
        fragment = pixel["children"][1]
        code, found = self.at(fragment["tagOffset"] + 20, jpeg)
        self.assertEqual([(s["tag"], s["index"]) for s in found["path"]], [("7FE0,0010", len(
            json.loads(run("--json", jpeg)[1])["elements"]) - 1), ("FFFE,E000", 1)])
        self.assertIn("> fragment 1 (FFFE,E000)", run("--at", str(fragment["tagOffset"]), jpeg)[1])
        truncated = os.path.join(PYDICOM, "rtplan_truncated.dcm")
        code, found = self.at(500, truncated)
        self.assertEqual((code, [s["tag"] for s in found["path"]]), (1, ["0008,0080"]))
        code, found = self.at(2100, truncated)   # past the failure at 2092
        self.assertEqual((code, found["path"]), (1, []))

    def test_tag_filters_at_any_depth_by_tag_or_keyword(self):
        code, out, _ = run("--json", "--tag", "PatientName", self.file)
        self.assertEqual(code, 0)
        elements = json.loads(out)["elements"]
        # The top-level match and the sequence holding the nested one, pruned to it.
        self.assertEqual([e["tag"] for e in elements], ["0008,1115", "0010,0010"])
        self.assertEqual([c["tag"] for c in elements[0]["children"][0]["children"]], ["0010,0010"])
        by_tag = json.loads(run("--json", "--tag", "(0010,0010)", self.file)[1])["elements"]
        self.assertEqual(by_tag, elements)
        # Keywords as the standard forms them.
        for keyword, tag in [("SOPClassUID", "0008,0016"), ("SpecificCharacterSet", "0008,0005"),
                             ("Rows", "0028,0010"), ("ReferencedSOPClassUID", "0008,1150"),
                             ("ReferencedStudySequence", "0008,1110"), ("PatientID", "0010,0020")]:
            found = json.loads(run("--json", "--tag", keyword, self.file)[1])["elements"]
            tags = [e["tag"] for e in found]
            if tag == "0008,1150":
                self.assertEqual(tags, ["0008,1115"])
            elif tag == "0008,1110":
                self.assertEqual(tags, [])
            else:
                self.assertEqual(tags, [tag], keyword)
        code, out, _ = run("--tag", "0010,0010", "--tag", "Rows", self.file)
        lines = out.splitlines()
        self.assertEqual(lines[-1], "3 elements match")
        self.assertIn("    path: element 10 (0008,1115) > item 0 (FFFE,E000) > element 1 (0010,0010)", lines)
        self.assertEqual(run("--tag", "NoSuchKeyword", self.file)[0], 2)
        # Real file: the nested Referenced SOP Class UIDs of an RT plan.
        rtplan = os.path.join(PYDICOM, "rtplan.dcm")
        out = run("--tag", "ReferencedSOPClassUID", rtplan)[1]
        self.assertGreaterEqual(out.count("    path: element"), 1)
        self.assertTrue(all(" > " in line for line in out.splitlines() if line.startswith("    path:")))

    def test_redact_prints_no_planted_value_in_any_mode(self):
        other = self.write("other.dcm", study(b"Zqx^Planted^Two"))
        outputs = [run(*args) for args in (
            ["--redact", self.file], ["--redact", "--json", self.file], ["--redact", "--check", self.file],
            ["--redact", "--check", "--json", self.file], ["--redact", "--tag", "PatientName", self.file],
            ["--redact", "--diff", self.file, other], ["--redact", "--diff", "--json", self.file, other])]
        for code, out, err in outputs:
            for planted in PLANTED:
                self.assertNotIn(planted.decode(), out + err)
        listing = outputs[0][1]
        for kept in ("[1.2.840.10008.1.2.1]", "[CT]", "[ISO_IR 100]", "[64 ]", "[1.2.840.10008.5.1.4.1.1.2]"):
            self.assertIn(kept, listing)
        # The structure is unchanged: the same nodes, offsets and sizes as without --redact.
        def shape(nodes):
            return [(n["tag"], n["vr"], n["tagOffset"], n["size"], n["lastByte"], shape(n["children"])) for n in nodes]
        plain = json.loads(run("--json", self.file)[1])
        redacted = json.loads(outputs[1][1])
        self.assertEqual(shape(plain["elements"]), shape(redacted["elements"]))
        self.assertIn("Zqx^Planted", json.dumps(plain))
        # The diff still says that the names differ.
        diff = json.loads(outputs[6][1])["differences"]
        self.assertIn(("value", "0010,0010", ""), [(d["kind"], d["path"][-1]["tag"], d["a"]["value"]) for d in diff])

    def test_diff_kinds_exit_status_and_json_shape(self):
        same = run("--diff", "--json", self.file, self.file)
        self.assertEqual((same[0], json.loads(same[1])["differences"]), (0, []))
        changed = self.write("changed.dcm", study(b"Qzx^Changed"))
        code, out, _ = run("--diff", "--json", self.file, changed)
        self.assertEqual(code, 3)
        result = json.loads(out)
        self.assertEqual((result["a"], result["b"]), (self.file, changed))
        self.assertEqual([(d["kind"], d["path"]) for d in result["differences"]],
                         [("value", [{"index": 11, "tag": "0010,0010"}])])
        d = result["differences"][0]
        self.assertEqual(set(d), {"path", "kind", "a", "b"})
        self.assertEqual((d["a"]["value"], d["b"]["value"]), ("Zqx^Planted ", "Qzx^Changed "))
        self.assertEqual(d["a"]["tagOffset"], self.bytes.index(b"Zqx^Planted ") - 8)
        # The same data in another transfer syntax (pydicom's): file and encoding kinds only,
        # and the meta group elements that name it.
        small = os.path.join(PYDICOM, "MR_small.dcm")
        code, out, _ = run("--diff", "--json", small, os.path.join(PYDICOM, "MR_small_bigendian.dcm"))
        self.assertEqual(code, 3)
        kinds = {(d["kind"], d.get("aspect")) for d in json.loads(out)["differences"] if not d["path"] or
                 d["path"][0]["tag"][:4] != "0002"}
        self.assertEqual(kinds, {("file", "transfer-syntax"), ("encoding", "byte-order"), ("file", "trailing-bytes")})
        # Refused: exit 1, the partial tree compared; only-in-a for what the cut lost.
        code, out, _ = run("--diff", "--json", os.path.join(PYDICOM, "rtplan.dcm"),
                           os.path.join(PYDICOM, "rtplan_truncated.dcm"))
        self.assertEqual(code, 1)
        self.assertIn("only-in-a", {d["kind"] for d in json.loads(out)["differences"]})
        self.assertEqual(run("--diff", "--quiet", self.file, changed), (3, "", ""))
        # A file that cannot be read is not compared (it used to be a file of no elements).
        missing = os.path.join(self.dir.name, "missing.dcm")
        for args in (["--json", missing, self.file], [self.file, self.dir.name]):
            code, out, err = run("--diff", *args)
            self.assertEqual((code, out), (1, ""), args)
            self.assertRegex(err, r": (No such file or directory|Is a directory)\n$")

    def test_stored_lengths_and_fragment_bytes_in_json_and_diff(self):
        meta = element(2, 0x10, "UI", b"1.2.840.10008.1.2.4.50\0")
        def encapsulated(manufacturer, fragment):
            fragments = item(b"") + item(fragment) + struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
            pixel = struct.pack("<HH", 0x7FE0, 0x10) + b"OB\0\0" + struct.pack("<I", 0xFFFFFFFF) + fragments
            data = (element(8, 0x60, "CS", b"OT") + element(8, 0x70, "LO", manufacturer) +
                    element(0x10, 0x10, "PN", b"Doe ") + element(0x28, 0x10, "US", struct.pack("<H", 64)))
            return part10(meta, data + pixel)
        # A fragment large enough to stay in the file while orveldump reads it.
        fragment = bytes(range(256)) * 8
        a = self.write("a.dcm", encapsulated(b"ABC", fragment))
        code, out, _ = run("--json", a)
        nodes = {n["tag"]: n for n in json.loads(out)["elements"]}
        self.assertEqual((nodes["0008,0070"]["size"], nodes["0008,0070"]["storedLength"]), (4, 3))
        self.assertNotIn("storedLength", nodes["0010,0010"])
        changed = bytearray(fragment)
        changed[1000] ^= 1
        b = self.write("b.dcm", encapsulated(b"ABC ", bytes(changed)))
        code, out, _ = run("--diff", "--json", a, b)
        self.assertEqual(code, 3)
        found = {(d["kind"], d["path"][-1]["tag"], len(d["path"])): d for d in json.loads(out)["differences"]}
        self.assertEqual(set(found), {("length", "0008,0070", 1), ("encoding", "0008,0070", 1),
                                      ("value", "FFFE,E000", 2)})
        length = found[("length", "0008,0070", 1)]
        self.assertEqual((length["a"]["storedLength"], length["b"]["size"]), (3, 4))
        self.assertNotIn("storedLength", length["b"])
        value = found[("value", "FFFE,E000", 2)]
        self.assertEqual(value["path"][-1]["index"], 1)
        self.assertEqual(value["a"]["firstDifference"], value["a"]["tagOffset"] + 8 + 1000)
        self.assertEqual(value["b"]["firstDifference"], value["b"]["tagOffset"] + 8 + 1000)
        code, out, _ = run("--diff", a, b)
        self.assertIn("first difference at offset %d" % value["a"]["firstDifference"], out)
        self.assertIn("stored 3", out)

    def test_usage_errors_and_help(self):
        for args in (["--diff", self.file], ["--diff", "--at", "3", self.file, self.file],
                     ["--at", "12x", self.file], ["--at"], ["--tag", "PatientName", "--check", self.file],
                     ["--quiet", "--at", "3", self.file], ["--bogus", self.file]):
            code, out, err = run(*args)
            self.assertEqual((code, out), (2, ""), args)
            self.assertTrue(err.startswith("orveldump: "), args)
        help_text = run("--help")[1]
        for flag in ("--json", "--quiet", "--regions", "--check", "--at", "--tag", "--redact", "--diff", "--help"):
            self.assertIn("  " + flag, help_text)
            self.assertIn("orveldump " + flag if flag != "--help" else flag, help_text)


if __name__ == "__main__":
    unittest.main()
