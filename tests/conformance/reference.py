"""Independent reading of a DICOM file with pydicom, in orveldump's JSON shape.

Element positions come from pydicom's reader: `data_element_generator` for
the top level, `read_sequence` for sequence values and `read_item` for the
items of encapsulated pixel data.  The only bytes read here directly are
the ones pydicom does not keep: an item's length field, the two VR letters
of an undefined-length element, and the delimiter tags that close
undefined-length items and sequences, which are checked rather than
searched for.

Every node carries the value length as the file states it ("valueLength").
"size" is that length after the padding and DA rules of the viewer, so a
reference dump can be read side by side with orveldump's.
"""

import io
import struct
import warnings

import pydicom
from pydicom import config
from pydicom.datadict import dictionary_VR, dictionary_description
from pydicom.dataelem import RawDataElement
from pydicom.encaps import read_item
from pydicom.filebase import DicomBytesIO
from pydicom.filereader import data_element_generator, read_preamble, read_sequence
from pydicom.sequence import Sequence
from pydicom.valuerep import EXPLICIT_VR_LENGTH_32

UNDEFINED = 0xFFFFFFFF
PIXEL_DATA = 0x7FE00010
ITEM = 0xFFFEE000
ITEM_DELIMITER = 0xFFFEE00D
SEQUENCE_DELIMITER = 0xFFFEE0DD
DEFLATED = "1.2.840.10008.1.2.1.99"

# Odd lengths of these VRs are padded to even when the value is stored.
PADDED_VRS = {"AE", "AS", "AT", "CS", "DS", "DT", "IS", "LO", "LT", "PN",
              "SH", "ST", "TM", "UI", "UT", "OB", "OW"}

# Transfer syntaxes whose pixel data is held as fragments.
ENCAPSULATED_SYNTAXES = (
    {"1.2.840.10008.1.2.5"}
    | {"1.2.840.10008.1.2.4.%d" % n for n in
       (50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66,
        70, 80, 81, 90, 91)})


class ReferenceError(Exception):
    """pydicom could not give a consistent reading of the file."""


def stored_size(length, vr):
    """The length the viewer stores for a value of `length` bytes and `vr`."""
    if length in (0, UNDEFINED):
        return length
    if vr == "DA" and length not in (8, 10):
        return 8 if length < 8 else 10
    if length % 2 and vr in PADDED_VRS:
        return length + 1
    return length


def tag_text(tag):
    return "%04X,%04X" % (tag >> 16, tag & 0xFFFF)


def dictionary_vr_of(tag):
    """The first VR pydicom's dictionary gives for `tag`, "" when unknown."""
    if tag & 0xFFFF == 0:
        return "UL"
    if (tag >> 16) & 1:  # private tags are in no public dictionary
        return ""
    try:
        return dictionary_VR(tag).split(" or ")[0]
    except KeyError:
        return ""


def dictionary_name_of(tag):
    if tag & 0xFFFF == 0:
        return "Group Length"
    try:
        return dictionary_description(tag)
    except KeyError:
        return ""


class ReferenceWalk:
    """Reads one file with pydicom and builds the node tree."""

    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.data = f.read()
        self.size = len(self.data)
        self.little = True
        self.implicit = False
        self.bits_allocated = None
        self.pixel_representation = None
        self.inside_un = False
        # Things the viewer's rules may read differently, noticed on the way.
        self.notes = []

    # -- small helpers -------------------------------------------------

    def _u32(self, pos, little):
        if pos + 4 > self.size:
            raise ReferenceError("header at %d runs past the end" % pos)
        return struct.unpack("<I" if little else ">I", self.data[pos:pos + 4])[0]

    def _tag_at(self, pos, little):
        if pos + 4 > self.size:
            return None
        g, e = struct.unpack("<HH" if little else ">HH", self.data[pos:pos + 4])
        return (g << 16) | e

    def _expect_delimiter(self, pos, tag, little, what):
        found = self._tag_at(pos, little)
        if found != tag:
            raise ReferenceError(
                "%s: expected %s at %d, found %s" % (
                    what, tag_text(tag), pos,
                    "end of file" if found is None else tag_text(found)))
        if pos + 8 > self.size:
            raise ReferenceError("%s: delimiter at %d cut short" % (what, pos))

    def _node(self, tag, vr, tag_offset, data_offset, length, children):
        if length == UNDEFINED:
            raise AssertionError("undefined lengths get their end elsewhere")
        return {
            "tag": tag_text(tag),
            "name": "SQ Item" if tag == ITEM else dictionary_name_of(tag),
            "vr": vr,
            "tagOffset": tag_offset,
            "dataOffset": data_offset,
            "size": length,
            "valueLength": length,
            "lastByte": data_offset + length - 1,
            "children": children,
        }

    # -- elements -------------------------------------------------------

    def _header(self, elem, value_offset, implicit_stream):
        """(tag offset, VR, explicit?) of one element pydicom has read."""
        tag = int(elem.tag)
        if isinstance(elem, RawDataElement):
            # pydicom may read single elements of an explicit data set as
            # implicit, and it fills in the dictionary VR for undefined
            # lengths: the VR counts as explicit only when the file has it.
            vr = elem.VR
            if not elem.is_implicit_VR and vr is not None and len(vr) == 2:
                header = 12 if vr.upper() in EXPLICIT_VR_LENGTH_32 else 8
                start = value_offset - header
                if self.data[start + 4:start + 6] == vr.encode("latin-1"):
                    return start, vr.upper(), True
            return value_offset - 8, self._implicit_vr(tag), False
        # An undefined-length sequence: pydicom reports "SQ" whatever the
        # file says, so look at the header itself.
        if not implicit_stream:
            start = value_offset - 12
            letters = self.data[start + 4:start + 6]
            if (start >= 0 and self._tag_at(start, self.little) == tag
                    and letters.isalpha() and letters.isupper()):
                return start, letters.decode("ascii"), True
        return value_offset - 8, self._implicit_vr(tag), False

    def _implicit_vr(self, tag):
        if tag == PIXEL_DATA and self.bits_allocated is not None:
            return "OW" if self.bits_allocated > 8 else "OB"
        return dictionary_vr_of(tag)

    def element(self, elem, base, implicit_stream, top_level):
        """Node for one element; `base` is the file offset of pydicom's stream."""
        tag = int(elem.tag)
        if isinstance(elem, RawDataElement):
            value_offset = base + elem.value_tell
            length = elem.length
        else:
            value_offset = base + elem.file_tell
            length = UNDEFINED
        tag_offset, vr, explicit = self._header(elem, value_offset, implicit_stream)
        if explicit == self.implicit and not self.inside_un and tag >> 16 != 2:
            self.notes.append("%s at %d read in %s VR, the data set is %s VR" % (
                tag_text(tag), tag_offset, "explicit" if explicit else "implicit",
                "implicit" if self.implicit else "explicit"))
        if tag in (0x00280100, 0x00280103) and top_level and elem.value \
                and len(elem.value) >= 2:
            number = struct.unpack("<H" if self.little else ">H", elem.value[:2])[0]
            if tag == 0x00280100:
                self.bits_allocated = number
            else:
                self.pixel_representation = number

        if tag == PIXEL_DATA and (length == UNDEFINED or (
                top_level and self.encapsulated_syntax)):
            if not explicit and length == UNDEFINED:
                self.notes.append("pixel data at %d: undefined length in implicit VR"
                                  % tag_offset)
            node = self._fragments(tag, vr, tag_offset, value_offset, length)
            node["implicitVR"] = not explicit
            return node

        if not isinstance(elem, RawDataElement) and isinstance(elem.value, Sequence):
            # Items of an undefined-length UN sequence are implicit VR.
            outer, self.inside_un = self.inside_un, self.inside_un or vr == "UN"
            try:
                node = self._sequence(tag, vr, tag_offset, value_offset, UNDEFINED,
                                      elem.value, base, explicit)
            finally:
                self.inside_un = outer
            node["implicitVR"] = not explicit
            return node
        if length == UNDEFINED:
            raise ReferenceError(
                "%s at %d: undefined length on a value pydicom does not read "
                "as a sequence" % (tag_text(tag), tag_offset))
        if value_offset + length > self.size:
            raise ReferenceError("%s at %d: value runs past the end of the file"
                                 % (tag_text(tag), tag_offset))
        if vr == "SQ" or (not explicit and dictionary_vr_of(tag) == "SQ"):
            items = read_sequence(io.BytesIO(elem.value or b""), not explicit,
                                  self.little, length, self.encoding)
            node = self._sequence(tag, vr, tag_offset, value_offset, length,
                                  items, value_offset, explicit)
            node["implicitVR"] = not explicit
            return node
        node = self._node(tag, vr, tag_offset, value_offset, length, [])
        if not (tag == PIXEL_DATA and top_level):  # native pixel data keeps its length
            node["size"] = stored_size(length, vr)
        node["implicitVR"] = not explicit
        return node

    def _sequence(self, tag, vr, tag_offset, value_offset, length, items,
                  base, explicit):
        children = []
        pos = value_offset
        for item in items:
            children.append(self._item(item, base, pos))
            pos = children[-1]["lastByte"] + 1
        if length == UNDEFINED:
            self._expect_delimiter(pos, SEQUENCE_DELIMITER, self.little,
                                   "sequence %s" % tag_text(tag))
            node = self._node(tag, vr, tag_offset, value_offset, 0, children)
            node.update(size=UNDEFINED, valueLength=UNDEFINED, lastByte=pos + 7)
            return node
        if pos != value_offset + length:
            raise ReferenceError("sequence %s at %d: items end at %d, not at %d"
                                 % (tag_text(tag), tag_offset, pos,
                                    value_offset + length))
        return self._node(tag, vr, tag_offset, value_offset, length, children)

    def _item(self, item, base, expected_offset):
        offset = base + item.seq_item_tell
        if offset != expected_offset:
            raise ReferenceError("item at %d, expected at %d" % (offset, expected_offset))
        if self._tag_at(offset, self.little) != ITEM:
            raise ReferenceError("item header at %d is not (FFFE,E000)" % offset)
        length = self._u32(offset + 4, self.little)
        elems = sorted(dict.values(item._dict), key=lambda e: (
            e.value_tell if isinstance(e, RawDataElement) else e.file_tell))
        implicit = bool(getattr(item, "read_implicit_vr", self.implicit))
        children = []
        pos = offset + 8
        for elem in elems:
            child = self.element(elem, base, implicit, top_level=False)
            if child["tagOffset"] != pos:
                raise ReferenceError(
                    "item at %d: element %s at %d, expected at %d (element lost?)"
                    % (offset, child["tag"], child["tagOffset"], pos))
            children.append(child)
            pos = child["lastByte"] + 1
        if length == UNDEFINED:
            self._expect_delimiter(pos, ITEM_DELIMITER, self.little,
                                   "item at %d" % offset)
            node = self._node(ITEM, "", offset, offset + 8, 0, children)
            node.update(size=UNDEFINED, valueLength=UNDEFINED, lastByte=pos + 7)
            return node
        if pos != offset + 8 + length:
            raise ReferenceError("item at %d: elements end at %d, not at %d"
                                 % (offset, pos, offset + 8 + length))
        return self._node(ITEM, "", offset, offset + 8, length, children)

    def _fragments(self, tag, vr, tag_offset, value_offset, length):
        """Pixel data held as items: the offset table, then each fragment."""
        fp = DicomBytesIO(self.data)
        fp.is_little_endian = self.little
        fp.seek(value_offset)
        children = []
        while True:
            pos = fp.tell()
            if length != UNDEFINED and pos >= value_offset + length:
                break
            if self._tag_at(pos, self.little) not in (ITEM, SEQUENCE_DELIMITER):
                raise ReferenceError("pixel data item at %d is not an item" % pos)
            try:
                fragment = read_item(fp)
            except (EOFError, ValueError, struct.error) as exc:
                raise ReferenceError("pixel data item at %d: %s" % (pos, exc))
            if fragment is None:  # sequence delimiter
                if length != UNDEFINED:
                    raise ReferenceError("delimiter in defined-length pixel data")
                break
            stated = self._u32(pos + 4, self.little)
            if len(fragment) != stated:
                raise ReferenceError("pixel data item at %d runs past the end" % pos)
            children.append(self._node(ITEM, "", pos, pos + 8, stated, []))
        if length == UNDEFINED:
            node = self._node(tag, vr, tag_offset, value_offset, 0, children)
            node.update(size=UNDEFINED, valueLength=UNDEFINED, lastByte=fp.tell() - 1)
            return node
        if fp.tell() != value_offset + length:
            raise ReferenceError("pixel data items end at %d, not at %d"
                                 % (fp.tell(), value_offset + length))
        return self._node(tag, vr, tag_offset, value_offset, length, children)

    # -- the file --------------------------------------------------------

    def walk(self):
        try:
            ds = pydicom.dcmread(self.path, force=True)
        except Exception as exc:  # pydicom's own failures are many kinds
            raise ReferenceError("pydicom cannot read the file: %s" % exc)
        self.implicit = bool(ds.is_implicit_VR)
        self.little = bool(ds.is_little_endian)
        self.encoding = "iso8859"
        syntax = ""
        if "TransferSyntaxUID" in ds.file_meta:
            syntax = str(ds.file_meta.TransferSyntaxUID).rstrip("\0 ")
        self.syntax = syntax
        self.encapsulated_syntax = self.little and syntax in ENCAPSULATED_SYNTAXES

        elements = []
        trailing = 0
        with open(self.path, "rb") as fp:
            has_preamble = read_preamble(fp, force=True) is not None
            meta = data_element_generator(
                fp, False, True, stop_when=lambda t, vr, n: t.group != 2)
            for elem in meta:
                elements.append(self.element(elem, 0, False, top_level=True))
            end = fp.tell()
            # Elements after the last one pydicom yields are cut short.
            for elem in data_element_generator(fp, self.implicit, self.little):
                node = self.element(elem, 0, self.implicit, top_level=True)
                if node["tagOffset"] != end:
                    raise ReferenceError(
                        "top level: element %s at %d, expected at %d"
                        % (node["tag"], node["tagOffset"], end))
                elements.append(node)
                end = node["lastByte"] + 1
                if int(elem.tag) == PIXEL_DATA:
                    trailing = self.size - end
                    break
            else:
                if end != self.size:
                    self.notes.append("%d bytes after the last element"
                                      % (self.size - end))
        return {
            "file": self.path,
            "loaded": True,
            "fileSize": self.size,
            "hasPreamble": has_preamble,
            "explicitVR": not self.implicit,
            "littleEndian": self.little,
            "trailingBytes": trailing,
            "elements": elements,
            "transferSyntax": syntax,
            "pixelRepresentation": self.pixel_representation,
        }


def reference(path):
    """The reference reading of `path`, or a dict with "error" when none."""
    saved = config.settings.reading_validation_mode
    config.settings.reading_validation_mode = config.IGNORE
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")  # pydicom's complaints are not ours
            walk = ReferenceWalk(path)
            try:
                result = walk.walk()
            except ReferenceError as exc:
                return {"file": path, "loaded": False, "error": str(exc),
                        "fileSize": walk.size}
        if walk.notes:
            result["notes"] = walk.notes
        return result
    finally:
        config.settings.reading_validation_mode = saved


def walk_nodes(nodes, depth=0):
    """Every node in file order with its depth."""
    for node in nodes:
        yield node, depth
        yield from walk_nodes(node["children"], depth + 1)


def main(argv=None):
    import json
    import sys
    for path in (argv if argv is not None else sys.argv[1:]):
        print(json.dumps(reference(path)))


if __name__ == "__main__":
    main()
