"""orveldump on refused files: the JSON keys, the listing's failure line, --quiet's reason and
--help (run with /usr/bin/python3; ORVELDUMP names the program)."""

import json
import struct
import unittest

from cli_support import FolderTest, element, run


def meta_without_length(syntax=b"1.2.840.10008.1.2.1\0"):
    """Preamble, "DICM" and a meta group without its group length element."""
    meta = (element(0x0002, 0x0001, "OB", b"\0\1") + element(0x0002, 0x0002, "UI", b"1.2.3.4\0")
            + element(0x0002, 0x0003, "UI", b"1.2.3.4\0") + element(0x0002, 0x0010, "UI", syntax))
    return b"\0" * 128 + b"DICM" + meta


class RefusedOutput(FolderTest):
    def test_refused_file_says_where_and_why_in_every_mode(self):
        # A sequence > item > element whose value runs past the end of the file.
        body = element(0x0008, 0x0060, "CS", b"MR")
        seq_at = len(meta_without_length()) + len(body)
        item = struct.pack("<HHI", 0xFFFE, 0xE000, 0xFFFFFFFF) + element(0x0008, 0x0100, "SH", b"AB")
        bad_at = seq_at + 12 + len(item)
        data = (meta_without_length() + body + struct.pack("<HH", 0x0008, 0x1115) + b"SQ\0\0" +
                struct.pack("<I", 0xFFFFFFFF) + item + struct.pack("<HH", 0x0008, 0x0104) + b"LO" + struct.pack("<H", 40) + b"xyz")
        path = self.write("cut.dcm", data)

        code, out, _ = run("--json", path)
        self.assertEqual(code, 1)
        dump = json.loads(out)
        self.assertEqual(list(dump.keys()), ["file", "loaded", "error", "fileSize", "hasPreamble", "explicitVR",
                                             "littleEndian", "failure", "elements"])
        self.assertEqual((dump["loaded"], dump["error"], dump["fileSize"]), (False, "Invalid DICOM file", len(data)))
        self.assertEqual((dump["hasPreamble"], dump["explicitVR"], dump["littleEndian"]), (True, True, True))
        failure = dump["failure"]
        self.assertEqual(failure["offset"], bad_at)
        self.assertEqual(failure["path"], [{"index": 5, "tag": "0008,1115"}, {"index": 0, "tag": "FFFE,E000"},
                                           {"index": 1, "tag": "0008,0104"}])
        self.assertEqual(failure["reason"], "value length 40 of (0008,0104) at offset %d runs past the end of the "
                                            "file (3 bytes left)" % bad_at)
        sequence = dump["elements"][-1]
        self.assertEqual((sequence["tag"], sequence["complete"]), ("0008,1115", False))
        self.assertEqual(sequence["children"][0]["complete"], False)
        self.assertNotIn("complete", sequence["children"][0]["children"][0])
        self.assertEqual(sequence["lastByte"], bad_at - 1)

        code, out, _ = run(path)
        self.assertEqual(code, 1)
        lines = out.splitlines()
        self.assertIn("(incomplete)", lines[-3])
        self.assertEqual(lines[-1], "Invalid DICOM file at offset %d (0x%X) in element 5 (0008,1115) > item 0 "
                                    "(FFFE,E000) > element 1 (0008,0104): %s" % (bad_at, bad_at, failure["reason"]))

        code, out, err = run("--quiet", path)
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err, "%s: Invalid DICOM file: %s\n" % (path, lines[-1][len("Invalid DICOM file "):]))

    def test_loaded_files_are_unchanged_and_help_describes_the_record(self):
        data = meta_without_length() + b"".join(element(0x0011, 0x1010 + i, "LO", b"FILL") for i in range(2))
        dump = json.loads(run("--json", self.write("good.dcm", data))[1])
        self.assertEqual(list(dump.keys()), ["file", "loaded", "fileSize", "hasPreamble", "explicitVR",
                                             "littleEndian", "trailingBytes", "elements"])
        self.assertTrue(all("complete" not in node for node in dump["elements"]))
        # Too few elements: nothing to blame in particular.
        dump = json.loads(run("--json", self.write("short.dcm", data[:-12]))[1])
        self.assertEqual(dump["failure"]["offset"], None)
        self.assertEqual(len(dump["elements"]), 5)
        helptext = run("--help")[1]
        for word in ("\"failure\"", "\"complete\": false", "--quiet", "(incomplete)", "firstReason"):
            self.assertIn(word, helptext)


if __name__ == "__main__":
    unittest.main()
