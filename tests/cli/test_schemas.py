"""Every --json object orveldump prints over the fuzz corpus (and pydicom's files) against its
schema: files, refused files, --check problems, --at, --diff and the summary (run with
/usr/bin/python3; ORVELDUMP names the program)."""

import os
import unittest

from cli_support import run

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "..", "fuzz", "seeds")
PYDICOM = "/usr/lib/python3/dist-packages/pydicom/data/test_files"


class SchemasOverCorpus(unittest.TestCase):
    def test_every_object_of_the_corpus_matches_its_schema(self):
        seeds = sorted(os.path.join(CORPUS, name) for name in os.listdir(CORPUS))
        # run() checks each line of --json output against its schema.
        for args in (["--check", "--json", "--summary"], ["--json", "--redact"], ["--json", "--at", "0x90"]):
            code, out, _ = run(*args, "-r", CORPUS, PYDICOM)
            self.assertIn(code, (0, 1, 3), args)
            self.assertGreater(len(out.splitlines()), len(seeds), args)
        for a, b in zip(seeds, seeds[1:]):
            code, _, _ = run("--diff", "--json", a, b)
            self.assertIn(code, (0, 1, 3))


if __name__ == "__main__":
    unittest.main()
