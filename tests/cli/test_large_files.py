"""orveldump on a 3 GiB file whose pixel data is one defined-length element (a sparse file: no
disk space taken), beside the same file at 3 MiB: the same dump but for the sizes, and a peak
memory that does not grow with the file (run with /usr/bin/python3; ORVELDUMP names the
program)."""

import json
import os
import struct
import subprocess
import sys
import time
import unittest

from cli_support import ORVELDUMP, FolderTest, element, part10


def us(group, element_, value):
    return element(group, element_, "US", struct.pack("<H", value))


def image(path, side):
    """A part 10 file of one RGB frame side x side (8 bits a sample); its pixel data is left as a
    hole in the file. Returns the file's size and the pixel element's tag offset."""
    meta = (element(2, 1, "OB", b"\0\1") + element(2, 2, "UI", b"1.2.840.10008.5.1.4.1.1.7\0") +
            element(2, 3, "UI", b"1.2.3.4\0") + element(2, 0x10, "UI", b"1.2.840.10008.1.2.1\0"))
    data = (element(8, 0x16, "UI", b"1.2.840.10008.5.1.4.1.1.7\0") + element(8, 0x18, "UI", b"1.2.3.4\0") +
            element(8, 0x60, "CS", b"OT") + us(0x28, 2, 3) + element(0x28, 4, "CS", b"RGB ") +
            us(0x28, 0x10, side) + us(0x28, 0x11, side) + us(0x28, 0x100, 8) + us(0x28, 0x101, 8) +
            us(0x28, 0x102, 7) + us(0x28, 0x103, 0))
    head = part10(meta, data)
    pixels = 3 * side * side
    with open(path, "wb") as f:
        f.write(head + element(0x7FE0, 0x10, "OB", b"", pixels))
        f.truncate(len(head) + 12 + pixels)
    return len(head) + 12 + pixels, len(head)


def measured(*args):
    """Exit status, output, peak resident memory in MiB and wall time of one orveldump run."""
    start = time.monotonic()
    proc = subprocess.Popen([ORVELDUMP] + list(args), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = proc.stdout.read()
    proc.stdout.close()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    return proc.returncode, out.decode(), usage.ru_maxrss / 1024.0, time.monotonic() - start


class LargeFileTest(FolderTest):
    def test_three_gib_file_dumps_like_its_three_mib_twin_in_bounded_memory(self):
        big = os.path.join(self.dir.name, "big.dcm")
        small = os.path.join(self.dir.name, "small.dcm")
        big_size, pixel_at = image(big, 32768)
        small_size, _ = image(small, 1024)
        self.assertEqual(big_size - pixel_at - 12, 3 << 30)
        if os.stat(big).st_blocks * 512 > 1 << 20:
            self.skipTest("no sparse files on this file system")

        runs = {}
        for name, path in (("3 MiB", small), ("3 GiB", big)):
            code, out, peak, seconds = measured("--json", path)
            self.assertEqual(code, 0, name)
            runs[name] = (json.loads(out), peak, seconds)
        sys.stderr.write("\n".join("  orveldump --json, %s file: peak %.1f MiB, %.3f s" % (name, peak, seconds)
                                   for name, (_, peak, seconds) in runs.items()) + "\n")

        big_dump, big_peak = runs["3 GiB"][0], runs["3 GiB"][1]
        pixel = big_dump["elements"][-1]
        self.assertEqual((pixel["tag"], pixel["vr"], pixel["value"]), ("7FE0,0010", "OB", "(Frame Data)"))
        self.assertEqual((pixel["tagOffset"], pixel["dataOffset"], pixel["size"], pixel["lastByte"]),
                         (pixel_at, pixel_at + 12, 3 << 30, big_size - 1))
        # Everything but the sizes is the same as for the small file.
        small_dump = runs["3 MiB"][0]
        for a, b in zip(big_dump["elements"][:-1], small_dump["elements"][:-1]):
            self.assertEqual({k: v for k, v in a.items() if k != "value"}, {k: v for k, v in b.items() if k != "value"})
        self.assertLess(big_peak, 128, "peak memory of the 3 GiB dump in MiB")

        # The element at a byte 2.5 GiB into the pixel data and at the last byte is the pixel data;
        # past the end, none.
        for offset in (pixel_at + (5 << 29), big_size - 1):
            code, out, peak, _ = measured("--json", "--at", str(offset), big)
            self.assertEqual((code, [s["tag"] for s in json.loads(out)["path"]]), (0, ["7FE0,0010"]), offset)
            self.assertLess(peak, 128)
        code, out, _, _ = measured("--json", "--at", str(big_size), big)
        self.assertEqual(json.loads(out)["path"], [])

        # The checks look at the file's bytes as stored: the big file's are mapped, not read, and
        # both files check alike (one warning).
        checks = {}
        for name, path in (("3 MiB", small), ("3 GiB", big)):
            code, out, peak, seconds = measured("--check", "--json", path)
            self.assertEqual(code, 3, name)   # the meta group lacks its implementation class
            checks[name] = json.loads(out)["problems"]
            sys.stderr.write("  orveldump --check --json, %s file: peak %.1f MiB, %.3f s\n" % (name, peak, seconds))
        self.assertLess(peak, 128, "peak memory of the 3 GiB check in MiB")
        self.assertEqual(checks["3 GiB"], checks["3 MiB"])

        # The two differ in rows, columns and the pixel data's length, and in nothing else.
        code, out, peak, _ = measured("--diff", "--json", big, small)
        found = [(d["kind"], d["path"][-1]["tag"]) for d in json.loads(out)["differences"]]
        self.assertEqual((code, found), (3, [("value", "0028,0010"), ("value", "0028,0011"), ("length", "7FE0,0010")]))
        self.assertLess(peak, 128, "peak memory of the 3 GiB diff in MiB")


if __name__ == "__main__":
    unittest.main()
