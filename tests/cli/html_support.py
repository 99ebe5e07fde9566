"""What the tests of orveldump --html share: files to make pages of, and the page's model read
back (node rows with absolute offsets, the embedded bytes)."""

import base64
import json
import re
import struct

from cli_support import element, item, part10

MODEL = re.compile(rb'<script type="application/json" id="model">(.*?)</script>', re.S)
HOSTILE = ["</script><script>window.pwned=1</script>", "<img src=x onerror=alert(1)>", "javascript:alert(2)",
           "&lt;b&gt;<!--"]
# A file name with markup and the line separators (values lose them: their texts show them as spaces).
HOSTILE_NAME = "<b>x&y\u2028\u2029.dcm"


def meta(syntax=b"1.2.840.10008.1.2.1\0"):
    return (element(2, 1, "OB", b"\0\1") + element(2, 2, "UI", b"1.2.840.10008.5.1.4.1.1.7\0") +
            element(2, 3, "UI", b"1.2.999.31337\0") + element(2, 0x10, "UI", syntax))


def undefined_item(content):
    return struct.pack("<HHI", 0xFFFE, 0xE000, 0xFFFFFFFF) + content + struct.pack("<HHI", 0xFFFE, 0xE00D, 0)


def report_file(pixels=6000, long_values=0):
    """Patient values at the top level, in a defined-length item and an undefined-length one of a
    sequence, a private element, an odd-length Patient ID (a --check problem), `long_values`
    private OB values of 3000 bytes and a native pixel value of `pixels` bytes."""
    nested = element(8, 0x1150, "UI", b"1.2.840.10008.5.1.4.1.1.7\0") + element(0x10, 0x10, "PN", b"Nested^Secret")
    sequence = struct.pack("<HH", 8, 0x1115) + b"SQ\0\0" + struct.pack("<I", 0xFFFFFFFF) + item(nested) + \
        undefined_item(element(0x10, 0x20, "LO", b"INNER-ID-42 ")) + struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
    data = (element(8, 5, "CS", b"ISO_IR 192") + element(8, 0x18, "UI", b"1.2.999.31337\0") +
            element(8, 0x20, "DA", b"19991231") + element(8, 0x60, "CS", b"MR") + sequence +
            element(0x10, 0x10, "PN", b"Zqx^Planted ") + element(0x10, 0x20, "LO", b"ODD") +
            element(0x11, 0x10, "LO", b"ACME") + element(0x11, 0x1010, "LO", b"SECRETPRIV") +
            b"".join(element(0x11, 0x1020 + k, "OB", bytes([k]) * 3000) for k in range(long_values)) +
            element(0x28, 0x10, "US", struct.pack("<H", 50)) + element(0x28, 0x11, "US", struct.pack("<H", 60)) +
            element(0x7FE0, 0x10, "OW", bytes(range(256)) * (pixels // 256) + b"\x5A" * (pixels % 256)))
    return part10(meta(), data)


def hostile_file():
    """Values that are markup, script and the line separators JavaScript treats as line ends."""
    values = b"".join(element(0x10, 0x10 + 0x10 * k, "LO" if k else "PN", _even(text.encode("utf-8")))
                      for k, text in enumerate(HOSTILE))
    return part10(meta(), element(8, 5, "CS", b"ISO_IR 192") + values)


def _even(value):
    return value + (b" " if len(value) % 2 else b"")


def refused_file():
    """A sequence whose second item holds an element running past the end of the file."""
    inner = item(element(0x10, 0x20, "LO", b"FIRST-ITEM")) + struct.pack("<HHI", 0xFFFE, 0xE000, 0xFFFFFFFF) + \
        struct.pack("<HH", 8, 0x104) + b"LO" + struct.pack("<H", 60) + b"cut"
    sequence = struct.pack("<HH", 8, 0x1115) + b"SQ\0\0" + struct.pack("<I", 0xFFFFFFFF) + inner
    return part10(meta(), element(8, 0x60, "CS", b"MR") + sequence)


def model_of(page):
    """The page's model, parsed, with every node decoded into a dict of --json's keys."""
    found = MODEL.findall(page)
    assert len(found) == 1, "one model block"
    model = json.loads(found[0].decode("utf-8"))
    nodes, offset = [], 0
    for row in model["nodes"]:
        stored = row[10] if len(row) > 10 else None
        row = row + [0] * (10 - len(row))
        offset += row[3]
        nodes.append({"tag": row[0], "name": model["names"][row[1]][0], "vr": row[2], "tagOffset": offset,
                      "dataOffset": offset + row[4], "size": row[5], "lastByte": offset + row[6], "value": row[7],
                      "children": row[8], "flags": row[9]})
        if stored is not None:
            nodes[-1]["storedLength"] = stored
    model["decoded"] = nodes
    return model


def embedded_bytes(model):
    """{offset: byte} of every byte the page holds."""
    held = {}
    for start, text in model["bytes"]["segments"]:
        for k, b in enumerate(base64.b64decode(text)):
            held[start + k] = b
    return held


def flatten(elements):
    """--json's nested elements in pre-order, each with its child count instead of children."""
    out = []
    for node in elements:
        flat = dict(node)
        flat["children"] = len(node["children"])
        flat.pop("complete", None)
        out.append(flat)
        out.extend(flatten(node["children"]))
    return out
