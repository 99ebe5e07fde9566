"""orveldump --check from the outside: JSON member, listing lines, exit status (run with
/usr/bin/python3; ORVELDUMP names the program)."""

import json
import os
import re
import unittest

from cli_support import FolderTest, element, part10, run

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SAMPLE = os.path.join(ROOT, "samples", "sample.dcm")


def file_with_problems():
    """A small file whose Patient ID has an odd length and whose Patient's Name comes after it."""
    meta = (element(2, 1, "OB", b"\0\1") +
            element(2, 2, "UI", b"1.2.840.10008.5.1.4.1.1.7\0") + element(2, 3, "UI", b"1.2.3.4\0") +
            element(2, 0x10, "UI", b"1.2.840.10008.1.2.1\0") + element(2, 0x12, "UI", b"1.2.3.5\0"))
    data = (element(8, 0x16, "UI", b"1.2.840.10008.5.1.4.1.1.7\0") + element(8, 0x18, "UI", b"1.2.3.4\0") +
            element(0x10, 0x20, "LO", b"ID1") + element(0x10, 0x10, "PN", b"Doe^John"))
    return part10(meta, data)


class CheckTest(FolderTest):
    def setUp(self):
        super().setUp()
        self.bad = self.write("bad.dcm", file_with_problems())
        self.refused = self.write("refused.dcm", b"not a DICOM file at all" * 10)

    def test_clean_file_gains_an_empty_problem_list_and_exits_0(self):
        code, plain, _ = run("--json", SAMPLE)
        code_checked, checked, _ = run("--check", "--json", SAMPLE)
        self.assertEqual((code, code_checked), (0, 0))
        with_problems = json.loads(checked)
        self.assertEqual(with_problems.pop("problems"), [])
        self.assertEqual(with_problems, json.loads(plain))

    def test_problems_in_file_order_with_path_and_exit_3(self):
        code, out, _ = run("--check", "--json", self.bad)
        self.assertEqual(code, 3)
        problems = json.loads(out)["problems"]
        self.assertEqual([(p["rule"], p["path"][-1]["tag"]) for p in problems],
                         [("odd-length", "0010,0020"), ("tag-order", "0010,0010")])
        for p in problems:
            self.assertEqual(set(p), {"rule", "severity", "offset", "path", "message"})
            self.assertEqual(p["severity"], "warning")
        self.assertEqual(problems[0]["path"], [{"index": 8, "tag": "0010,0020"}])
        self.assertLess(problems[0]["offset"], problems[1]["offset"])

    def test_listing_puts_each_problem_under_its_element_and_counts_them(self):
        code, out, _ = run("--check", self.bad)
        self.assertEqual(code, 3)
        lines = out.splitlines()
        at = next(i for i, line in enumerate(lines) if line.startswith("(0010,0020)"))
        offset = int(lines[at].split()[2])
        self.assertEqual(lines[at + 1].split()[:5], ["!", str(offset), "(0x%08X)" % offset, "warning", "odd-length:"])
        self.assertEqual(lines[-1], "2 problems: 0 errors, 2 warnings, 0 info")
        # Without --check the listing is as before.
        self.assertFalse(any(line.lstrip().startswith("!") for line in run(self.bad)[1].splitlines()))

    def test_redacted_messages_name_no_byte_of_a_value(self):
        # No character set and a non-ASCII name; a code string with lower-case letters.
        meta = element(2, 1, "OB", b"\0\1") + element(2, 0x10, "UI", b"1.2.840.10008.1.2.1\0")
        data = (element(8, 0x16, "UI", b"1.2.840.10008.5.1.4.1.1.7\0") + element(8, 0x64, "CS", b"wsd ") +
                element(0x10, 0x10, "PN", b"M\xfcller "))
        path = self.write("bytes.dcm", part10(meta, data))
        messages = {}
        for redact in ([], ["--redact"]):
            problems = json.loads(run("--check", "--json", *redact, path)[1])["problems"]
            messages[bool(redact)] = {p["rule"]: p["message"] for p in problems if p["rule"] in
                                      ("bad-character", "charset-missing")}
        self.assertIn("0x77 at character 1", messages[False]["bad-character"])
        self.assertIn("0xFC at byte 2", messages[False]["charset-missing"])
        self.assertEqual(messages[True], {rule: text.replace("0x77", "0x??").replace("0xFC", "0x??").replace(
            '"wsd"', '""') for rule, text in messages[False].items()})

    def test_refused_file_exits_1_before_problems_and_usage_errors_exit_2(self):
        code, out, _ = run("--check", "--json", self.bad, self.refused)
        self.assertEqual(code, 1)
        refused = json.loads(out.splitlines()[1])
        self.assertEqual((refused["loaded"], refused["problems"]), (False, []))
        # A refused file's partial tree is checked: cut inside the last value, the odd length
        # before it is still reported, and the exit status stays 1.
        cut = self.write("cut.dcm", file_with_problems()[:-3])
        code, out, _ = run("--check", "--json", cut)
        self.assertEqual(code, 1)
        self.assertEqual([p["rule"] for p in json.loads(out)["problems"]], ["odd-length"])
        self.assertIn("1 problem: 0 errors, 1 warning", run("--check", cut)[1])
        self.assertEqual(run("--check", "--regions", SAMPLE)[0], 2)
        self.assertIn("--check", run("--help")[1])

    def test_a_deflated_data_set_is_one_info_problem_refused_or_not(self):
        meta = (element(2, 1, "OB", b"\0\1") + element(2, 2, "UI", b"1.2.840.10008.5.1.4.1.1.7\0") +
                element(2, 3, "UI", b"1.2.3.4\0") + element(2, 0x10, "UI", b"1.2.840.10008.1.2.1.99") +
                element(2, 0x12, "UI", b"1.2.3.5\0"))
        # Compressed bytes that read as a few elements, odd and unordered, then as nothing.
        garbage = element(0x10, 0x20, "LO", b"ID1") + element(0x10, 0x10, "XY", b"ab") + b"\x9c\x01\x02"
        path = self.write("deflated.dcm", part10(meta, garbage))
        code, out, _ = run("--check", "--json", path)
        self.assertEqual(code, 1)
        self.assertEqual([(p["rule"], p["severity"]) for p in json.loads(out)["problems"]], [("not-checked", "info")])

    def test_help_and_manual_give_each_rule_the_severities_the_checker_reports(self):
        # From the checker's registry of rules: each row's id and severity. Every rule of the
        # registry must be reported somewhere in the checks, or its row is stale.
        analysis = os.path.join(ROOT, "dicom", "analysis")
        with open(os.path.join(analysis, "CheckRules.h"), encoding="utf-8") as f:
            table = f.read()
        rows = re.findall(r'^    RULE\((\w+), "([a-z-]+)", \w+, (\w+)\)', table, re.MULTILINE)
        self.assertEqual(len(rows), table.count("    RULE("))
        checks = ""
        for name in sorted(os.listdir(analysis)):
            if name.startswith("Check") and name.endswith(".cpp"):
                with open(os.path.join(analysis, name), encoding="utf-8") as f:
                    checks += f.read()
        reported = {}
        for name, rule, severity in rows:
            self.assertIn("CheckRule::" + name, checks, "the rule %s (%s) is reported nowhere" % (name, rule))
            reported.setdefault(rule, set()).add(severity.lower())
        self.maxDiff = None
        self.assertGreater(len(reported), 20)
        # --help: a row "rule  severity  text", further severities on rows of their own below it.
        listed, rule = {}, None
        for line in run("--help")[1].splitlines():
            row = re.match(r"^ {14}([a-z-]+) +(error|warning|info) ", line)
            more = re.match(r"^ {37}(error|warning|info) ", line)
            if row:
                rule = row.group(1)
                listed[rule] = {row.group(2)}
            elif more and rule:
                listed[rule].add(more.group(1))
        self.assertEqual(listed, reported)
        # The manual: ".B rule" and "severity: ..." clauses on the next line.
        with open(os.path.join(ROOT, "cli", "orveldump.1.in"), encoding="utf-8") as f:
            manual = f.read().split(".SH CHECK RULES", 1)[1].split(".SH ", 1)[0]
        rows = re.findall(r"^\.TP\n\.B ([a-z-]+)\n(.*)$", manual, re.M)
        self.assertEqual({rule: set(re.findall(r"\b(error|warning|info):", text)) for rule, text in rows}, reported)

    def test_elements_after_the_pixel_data_are_listed_at_the_end_with_their_tag(self):
        pixel = element(0x7FE0, 0x10, "OB", b"\0" * 16)
        after = element(0x7FE1, 0x1001, "US", b"\7\0")   # no creator
        path = self.write("after.dcm", file_with_problems() + pixel + after)
        code, out, _ = run("--check", path)
        self.assertEqual(code, 3)
        lines = out.splitlines()
        self.assertTrue(lines[-2].startswith("! %d " % (os.path.getsize(path) - len(after))), lines[-2])
        self.assertIn("warning private-creator: (7FE1,1001) after the pixel data: ", lines[-2])
        problems = json.loads(run("--check", "--json", path)[1])["problems"]
        self.assertEqual([p["rule"] for p in problems], ["odd-length", "tag-order", "private-creator"])
        self.assertEqual(problems[-1]["path"], [{"index": 11, "tag": "7FE1,1001"}])


if __name__ == "__main__":
    unittest.main()
