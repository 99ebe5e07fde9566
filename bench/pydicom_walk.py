#!/usr/bin/python3
"""Full walk of a DICOM file with pydicom, for the benchmarks.

    pydicom_walk.py FILE           read the file and convert every element's value (person
                                   names decoded to text), recursing into every item; prints
                                   nothing
    pydicom_walk.py --count FILE   the same, then prints how many nodes the walk met: elements
                                   of the meta group and the data set, items, and for
                                   encapsulated pixel data its offset table and fragments (the
                                   nodes orveldump's tree has)
"""

import sys

from pydicom import dcmread
from pydicom.encaps import generate_pixel_data_fragment
from pydicom.filebase import DicomBytesIO


def walk(dataset):
    """Converts every element's value below `dataset`; returns the nodes met."""
    nodes = 0
    for element in dataset:
        nodes += 1
        value = element.value
        if element.VR == "PN" and value is not None:
            str(value)
        elif element.VR == "SQ":
            for item in value:
                nodes += 1 + walk(item)
    return nodes


def fragment_nodes(dataset):
    """Offset table and fragments of encapsulated pixel data, 0 for native pixel data."""
    element = dataset.get((0x7FE0, 0x0010))
    if element is None or not element.is_undefined_length:
        return 0
    stream = DicomBytesIO(element.value)
    stream.is_little_endian = True
    # The items it yields start with the offset table.
    return sum(1 for _ in generate_pixel_data_fragment(stream))


def main(argv):
    count = len(argv) == 2 and argv[0] == "--count"
    if len(argv) != (2 if count else 1):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    dataset = dcmread(argv[-1])
    nodes = walk(dataset.file_meta) + walk(dataset)
    if count:
        # The walk itself does not split the pixel data; that is only for the comparison.
        print(nodes + fragment_nodes(dataset))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
