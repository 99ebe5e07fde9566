#!/usr/bin/python3
"""The README's first screen: the title, one paragraph, then the two commands a newcomer needs
(make run, make test), with the download section after them."""

import unittest
from pathlib import Path

README = Path(__file__).resolve().parent.parent / "README.md"
SCREEN = 24  # lines of a terminal or of a repository page before scrolling


class FirstScreenTest(unittest.TestCase):
    def test_commands_follow_the_first_paragraph_and_precede_the_download_section(self):
        lines = README.read_text(encoding="utf-8").splitlines()
        self.assertTrue(lines[0].startswith("# "), "the README starts with its title")
        # The first paragraph: the first run of text lines after the title.
        at = 1
        while at < len(lines) and not lines[at].strip():
            at += 1
        while at < len(lines) and lines[at].strip() and not lines[at].startswith(("    ", "#")):
            at += 1
        while at < len(lines) and not lines[at].strip():
            at += 1
        block = []
        while at < len(lines) and lines[at].startswith("    "):
            block.append(lines[at].split()[:2])
            at += 1
        self.assertEqual(block[:2], [["make", "run"], ["make", "test"]],
                         "a block of make run and make test right after the first paragraph")
        self.assertLessEqual(at, SCREEN, "the commands are on the first screen")
        headings = [line for line in lines[at:] if line.startswith("## ")]
        self.assertEqual(headings[:1], ["## Download and install"], "the download section follows")


if __name__ == "__main__":
    unittest.main()
