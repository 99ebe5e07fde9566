"""What the command-line tests share: the program under test (ORVELDUMP names it), explicit VR
little endian elements and items, a part 10 file around them, a folder for a test's files, and
the check of every --json object against its schema (cli/schemas)."""

import glob
import json
import os
import struct
import subprocess
import tempfile
import unittest

import jsonschema

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


SCHEMA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cli", "schemas")


def _load_schemas():
    schemas = {}
    for path in glob.glob(os.path.join(SCHEMA_DIR, "*.schema.json")):
        with open(path, encoding="utf-8") as f:
            schema = json.load(f)
        schemas[schema["$id"]] = schema
    return schemas


SCHEMAS = _load_schemas()
VALIDATORS = {id_: jsonschema.Draft202012Validator(schema, resolver=jsonschema.RefResolver.from_schema(schema, store=SCHEMAS))
              for id_, schema in SCHEMAS.items()}


def schema_of(obj):
    """The schema id for one object orveldump --json prints, told by its keys."""
    if "summary" in obj:
        return "urn:orveldump:summary"
    if "differences" in obj:
        return "urn:orveldump:diff"
    if "loaded" not in obj:
        return "urn:orveldump:at"
    if "ioError" in obj:
        return "urn:orveldump:io-error"
    return "urn:orveldump:file" if obj["loaded"] else "urn:orveldump:refused"


def validate(obj):
    """Raises jsonschema.ValidationError where the object breaks its schema."""
    VALIDATORS[schema_of(obj)].validate(obj)


def validate_lines(text):
    """Every line of --json output parsed and checked against its schema; the objects."""
    objects = [json.loads(line) for line in text.splitlines() if line.strip()]
    for obj in objects:
        validate(obj)
    return objects


def run(*args):
    """Exit status, standard output and standard error (UTF-8) of one orveldump run; --json output
    is checked against its schemas on the way."""
    proc = subprocess.run([ORVELDUMP] + list(args), capture_output=True)
    out = proc.stdout.decode("utf-8", "replace")
    if "--json" in args and proc.returncode != 2:
        validate_lines(out)
    return proc.returncode, out, proc.stderr.decode("utf-8", "replace")


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
