"""orveldump --redact from the outside: a canary planted in everything a redacted dump leaves out
never comes out, in any mode (run with /usr/bin/python3; ORVELDUMP names the program)."""

import json
import struct
import unittest

from cli_support import FolderTest, element, item, part10, run

# The canary: as text, as hex and as \xNN escapes (any four bytes of it in a row), and four of
# its bytes read as a little-endian number.
CANARY = b"Zq7XkV"
UPPER_CANARY = b"ZQ7XKV"   # holds only what a code string may


def forms():
    found = set()
    for canary in (CANARY, UPPER_CANARY):
        cycle = canary * 2
        for start in range(len(canary)):
            window = cycle[start:start + 4]
            found.add(window.decode())
            for fmt in ("%02X", "%02x"):
                found.add("".join(fmt % b for b in window))
                found.add(" ".join(fmt % b for b in window))
                found.add("".join("\\x" + fmt % b for b in window))
            found.add(str(struct.unpack("<I", window)[0]))
            found.add(str(struct.unpack(">I", window)[0]))
    return found


def planted(n):
    """n bytes of the canary, repeated."""
    return (CANARY * (n // len(CANARY) + 1))[:n]


def canary_file(syntax_vr="UI"):
    """Every value a redacted dump does not keep holds the canary: meta elements, instance UIDs,
    names, dates, a code string in lower case, a kept-by-tag UID that is not digits and dots, a
    sequence, private elements, a UN value, group 0028 elements the rule does not keep (an LO
    stored as CS, a DS that is no number, an unknown tag), an offset table and a fragment."""
    syntax = element(2, 0x10, "LO", planted(12)) if syntax_vr == "LO" else \
        element(2, 0x10, "UI", b"1.2.840.10008.1.2.1\0")
    meta = (element(2, 1, "OB", b"\0\1") + element(2, 2, "LO", planted(12)) + element(2, 3, "UI", planted(12)) +
            syntax + element(2, 0x12, "UI", planted(10)) + element(2, 0x13, "SH", planted(8)) +
            element(2, 0x16, "AE", planted(6)))
    nested = element(8, 0x1150, "UI", b"1.2." + planted(6)) + element(0x10, 0x10, "PN", planted(10))
    pixels = (struct.pack("<HH", 0x7FE0, 0x10) + b"OB\0\0" + struct.pack("<I", 0xFFFFFFFF) + item(planted(4)) +
              item(planted(10)) + struct.pack("<HHI", 0xFFFE, 0xE0DD, 0))
    data = (element(8, 5, "CS", b"ISO_IR 100") + element(8, 0x16, "UI", b"1.2.840.10008.5.1.4.1.1.7\0") +
            element(8, 0x18, "UI", planted(12)) + element(8, 0x20, "DA", planted(8)) + element(8, 0x60, "CS", b"CT") +
            element(8, 0x64, "CS", planted(4)) + element(8, 0x1115, "SQ", item(nested)) +
            element(9, 0x10, "LO", planted(6)) + element(9, 0x1001, "LO", planted(12)) +
            element(9, 0x1002, "UN", planted(8)) + element(9, 0x1003, "US", planted(2)) +
            element(0x10, 0x10, "PN", planted(10)) + element(0x10, 0x20, "LO", planted(8)) +
            element(0x28, 0x10, "US", struct.pack("<H", 4)) + element(0x28, 0x11, "US", struct.pack("<H", 4)) +
            element(0x28, 0x30, "DS", planted(6)) + element(0x28, 0x3003, "CS", UPPER_CANARY) +
            element(0x28, 0x7777, "UL", planted(4)) + pixels)
    return part10(meta, data)


class RedactTest(FolderTest):
    def assertNoCanary(self, args, code, out, err):
        text = out + err
        for form in forms():
            self.assertNotIn(form, text, "%s: %r in %s" % (" ".join(args), form, text[:4000]))

    def run_all(self, path, other):
        """Every mode with --redact; each run's arguments, exit status and output."""
        results = []
        for args in (["--redact", path], ["--redact", "--json", path], ["--redact", "--quiet", path],
                     ["--redact", "--check", path], ["--redact", "--check", "--json", path],
                     ["--redact", "--tag", "PatientName", path], ["--redact", "--json", "--tag", "0009,1001", path],
                     ["--redact", "--at", "300", path], ["--redact", "--json", "--at", "300", path],
                     ["--redact", "--diff", path, other], ["--redact", "--diff", "--json", path, other]):
            results.append((args,) + run(*args))
        return results

    def test_canary_comes_out_in_no_mode(self):
        loaded = self.write("canary.dcm", canary_file())
        lo_syntax = self.write("lo-syntax.dcm", canary_file("LO"))
        # A sequence whose value is no item: the parse reads four canary bytes as the item tag.
        refused = self.write("refused.dcm", part10(element(2, 0x10, "UI", b"1.2.840.10008.1.2.1\0"),
                                                   element(0x10, 0x10, "PN", planted(6)) +
                                                   element(0x40, 0xA730, "SQ", planted(12))))
        not_dicom = self.write("not-dicom.dcm", planted(64))
        unknown_vr = self.write("unknown-vr.dcm", part10(element(2, 0x10, "UI", b"1.2.840.10008.1.2.1\0"),
                                                         element(0x18, 0x50, "Zq", planted(4))))
        files = (loaded, lo_syntax, refused, not_dicom, unknown_vr)
        for path in files:
            for other in files:
                for args, code, out, err in self.run_all(path, other):
                    self.assertNoCanary(args, code, out, err)
        # Without --redact the canary is there: the test would see a leak.
        plain = run("--check", loaded)[1] + run("--quiet", refused)[2] + run("--quiet", not_dicom)[2] + \
            run("--diff", loaded, lo_syntax)[1]
        self.assertTrue(any(form in plain for form in forms()))

    def test_what_is_kept_and_how_the_rest_reads(self):
        path = self.write("canary.dcm", canary_file())
        nodes = {}

        def walk(list_):
            for n in list_:
                nodes.setdefault(n["tag"], n)
                walk(n["children"])
        walk(json.loads(run("--redact", "--json", path)[1])["elements"])
        # Kept by tag, VR and content; the rest prints "" (a UI of the kept tag that is not
        # digits and dots, an LO of group 0028 stored as CS, an unknown tag of group 0028).
        self.assertEqual(nodes["0002,0010"]["value"], "1.2.840.10008.1.2.1")
        self.assertEqual(nodes["0008,0060"]["value"], "CT")
        self.assertEqual(nodes["0028,0010"]["value"].strip(), "4")
        for tag in ("0008,1150", "0028,3003", "0028,7777", "0028,0030", "0008,0064", "0002,0002"):
            self.assertEqual(nodes[tag]["value"], "", tag)
        self.assertIn("ZQ7XKV", run("--json", path)[1])

        # --check: the meta-mismatch of a kept (0008,0016) quotes the LO (0002,0002) as "";
        # the offset table's entry (a value) reads ?.
        problems = json.loads(run("--redact", "--check", "--json", path)[1])["problems"]
        messages = "\n".join(p["message"] for p in problems)
        self.assertIn('(0008,0016) "1.2.840.10008.5.1.4.1.1.7" differs from (0002,0002) "" of the meta group',
                      messages)
        self.assertIn("entry 1 of 1 is ?, which", messages)
        self.assertIn('CS value 1 "" holds 0x?? at character 2', messages)

        # Failure reasons keep their words and offsets.
        refused = self.write("refused.dcm", part10(element(2, 0x10, "UI", b"1.2.840.10008.1.2.1\0"),
                                                   element(0x40, 0xA730, "SQ", planted(12))))
        failure = json.loads(run("--redact", "--json", refused)[1])["failure"]
        plain = json.loads(run("--json", refused)[1])["failure"]
        self.assertEqual(failure["offset"], plain["offset"])
        self.assertEqual(failure["path"][-1]["tag"], "????,????")
        self.assertEqual(failure["reason"], plain["reason"].replace(
            plain["path"][-1]["tag"].join("()"), "(????,????)"))
        self.assertIn("(????,????) at offset", failure["reason"])
        not_dicom = self.write("not-dicom.dcm", planted(64))
        reason = run("--redact", "--quiet", not_dicom)[2]
        self.assertIn("?? ?? ?? ?? at offset 0", reason)
        # A VR that is no VR of the standard prints ??.
        unknown_vr = self.write("unknown-vr.dcm", part10(element(2, 0x10, "UI", b"1.2.840.10008.1.2.1\0"),
                                                         element(0x18, 0x50, "Zq", b"\0\0")))
        out = run("--redact", "--json", unknown_vr)[1]
        vrs = [n["vr"] for n in json.loads(out)["elements"] if n["tag"] == "0018,0050"]
        self.assertEqual(vrs, ["??"])
        # --regions prints values only: it does not combine with --redact.
        code, _, err = run("--redact", "--regions", path)
        self.assertEqual(code, 2)
        self.assertIn("--regions and --redact do not combine", err)


if __name__ == "__main__":
    unittest.main()
