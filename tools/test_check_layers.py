#!/usr/bin/env python3
"""Tests of the layer check: python3 tools/test_check_layers.py"""

import os
import sys
import tempfile
import unittest
from pathlib import Path

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import check_layers  # noqa: E402


def tree(files):
    """A repository root holding the given dicom/ files ({path: text})."""
    root = Path(tempfile.mkdtemp(prefix="orvel-layers-"))
    for name, text in files.items():
        path = root / "dicom" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    return root


class Layers(unittest.TestCase):
    def test_an_include_upward_fails_and_downward_passes(self):
        root = tree({"io/A.h": '#include "dicom/model/B.h"\n',
                     "model/B.h": "",
                     "model/C.cpp": '#include "dicom/io/A.h"\n'})
        _, edges, problems = check_layers.scan(root)
        self.assertEqual(len(problems), 1)
        self.assertIn("io/A.h (io) includes dicom/model/B.h", problems[0])
        self.assertEqual(edges[("model", "io")], 1)

    def test_a_cycle_through_sources_in_one_layer_fails(self):
        # B.cpp belongs to the unit B, so A -> B -> A is a circle though no header includes
        # itself; a source including its own header is not.
        root = tree({"model/A.h": '#include "dicom/model/B.h"\n',
                     "model/B.h": "",
                     "model/B.cpp": '#include "dicom/model/B.h"\n#include "A.h"\n'})
        _, _, problems = check_layers.scan(root)
        self.assertEqual(problems, ["include cycle among model/A, model/B"])

    def test_a_file_outside_the_layers_fails(self):
        root = tree({"Loose.cpp": "", "io/A_posix.cpp": "", "io/A.h": ""})
        _, _, problems = check_layers.scan(root)
        self.assertEqual(len(problems), 1)
        self.assertIn("dicom/Loose.cpp lies in no layer", problems[0])


if __name__ == "__main__":
    unittest.main()
