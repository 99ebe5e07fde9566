"""What the command-line tests share: the program under test (ORVELDUMP names it), explicit VR
little endian elements and items, a part 10 file around them, and a folder for a test's files."""

import os
import struct
import subprocess
import tempfile
import unittest

ORVELDUMP = os.environ.get("ORVELDUMP", "orveldump")
LONG_VRS = {"OB", "OW", "SQ", "UN", "UT", "UC", "UR", "OF", "OD", "OL", "OV", "SV", "UV"}


def element(group, element_, vr, value, length=None):
    """One explicit VR little endian element of defined length; `length` overrides the length
    field (the value bytes may then be fewer, as for a value left as a hole in a sparse file)."""
    head = struct.pack("<HH", group, element_) + vr.encode()
    size = len(value) if length is None else length
    if vr in LONG_VRS:
        return head + b"\0\0" + struct.pack("<I", size) + value
    return head + struct.pack("<H", size) + value


def item(content):
    return struct.pack("<HHI", 0xFFFE, 0xE000, len(content)) + content


def part10(meta, data=b""):
    """Preamble, "DICM", the meta group's length element and `meta`, then the data set."""
    return b"\0" * 128 + b"DICM" + element(2, 0, "UL", struct.pack("<I", len(meta))) + meta + data


def run(*args):
    """Exit status, standard output and standard error (UTF-8) of one orveldump run."""
    proc = subprocess.run([ORVELDUMP] + list(args), capture_output=True)
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")


class FolderTest(unittest.TestCase):
    """A test case with a folder of its own, removed afterwards."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path
