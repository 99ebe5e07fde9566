#!/usr/bin/python3
"""The README's first screen: the title, one paragraph, then the two commands a newcomer needs
(make run, make test), with the download section after them."""

import unittest
from pathlib import Path

README = Path(__file__).resolve().parent.parent / "README.md"


class FirstScreenTest(unittest.TestCase):
    def test_commands_follow_the_first_paragraph_and_precede_the_download_section(self):
        lines = README.read_text(encoding="utf-8").splitlines()
        run = next(i for i, line in enumerate(lines) if line.startswith("    make run"))
        self.assertTrue(lines[run + 1].startswith("    make test"))
        self.assertLess(run, 24, "on the first screen")
        before = "\n".join(lines[1:run]).strip()
        self.assertTrue(before and "\n\n" not in before and "#" not in before, "right after the first paragraph")
        headings = [line for line in lines[run:] if line.startswith("## ")]
        self.assertEqual(headings[0], "## Download and install")


if __name__ == "__main__":
    unittest.main()
