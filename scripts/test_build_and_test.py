#!/usr/bin/python3
"""Tests of the runner's counting: a failure must never be reported as success."""

import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, str(Path(__file__).resolve().parent))
import build_and_test as bt  # noqa: E402

GTEST_REPORT = """<?xml version="1.0" encoding="UTF-8"?>
<testsuites tests="5" failures="1" disabled="1" errors="0" name="AllTests">
  <testsuite name="Reader" tests="5" failures="1" disabled="1" skipped="1" errors="0">
    <testcase name="ReadsTag" status="run" result="completed" classname="Reader" />
    <testcase name="RejectsShortFile" status="run" result="completed" classname="Reader">
      <failure message="x.cpp:3&#x0A;Expected equality" type=""><![CDATA[x.cpp:3
Expected equality]]></failure>
    </testcase>
    <testcase name="NeedsBigFile" status="run" result="skipped" classname="Reader">
      <skipped message="no big file"/>
    </testcase>
    <testcase name="DISABLED_Slow" status="notrun" result="suppressed" classname="Reader" />
    <testcase name="ReadsItem" status="run" result="completed" classname="Reader" />
  </testsuite>
</testsuites>
"""

EMPTY_REPORT = """<?xml version="1.0" encoding="UTF-8"?>
<testsuites tests="0" failures="0" disabled="0" errors="0" name="AllTests">
</testsuites>
"""

CTEST_JUNIT = """<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="(empty)" tests="3" failures="2">
  <testcase name="dicom_tests" classname="dicom_tests" status="run">
    <system-out>[  PASSED  ] 2 tests.</system-out>
  </testcase>
  <testcase name="hexedit_tests" classname="hexedit_tests" status="fail">
    <failure message=""/>
    <system-out>[ RUN      ] Hex.Paints</system-out>
  </testcase>
  <testcase name="conformance" classname="conformance" status="notrun">
    <skipped message="Disabled"/>
  </testcase>
</testsuite>
"""

CTEST_LOG = """\
1/4 Test #1: dicom_tests ......................   Passed    0.02 sec
2/4 Test #2: hexedit_tests ....................Subprocess aborted***Exception:   0.01 sec
3/4 Test #3: gui_tests ........................***Timeout 900.05 sec
4/4 Test #4: conformance ......................***Failed    3.35 sec
"""


class Files(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def write(self, name, text):
        path = Path(self.dir.name) / name
        path.write_text(text, encoding="utf-8")
        return path


class CountGtestCases(Files):
    def test_counts_passed_failed_and_skipped_cases(self):
        passed, failed, skipped = bt.count_gtest_cases(self.write("r.xml", GTEST_REPORT))
        self.assertEqual(passed, 2)
        self.assertEqual(failed, ["Reader.RejectsShortFile"])
        self.assertEqual(skipped, 2)  # GTEST_SKIP and DISABLED_

    def test_missing_or_truncated_report_is_unreadable(self):
        self.assertIsNone(bt.count_gtest_cases(Path(self.dir.name) / "absent.xml"))
        cut = self.write("cut.xml", GTEST_REPORT[: len(GTEST_REPORT) // 2])
        self.assertIsNone(bt.count_gtest_cases(cut))


class ReportPath(unittest.TestCase):
    def test_unix_and_wine_paths(self):
        cases = [
            (["/b/t", "--gtest_output=xml:/b/r/t.xml"], Path("/b/r/t.xml")),
            (["wine-run.sh", "/p", "t.exe", "--gtest_output=xml:Z:/b/r/t.xml"], Path("/b/r/t.xml")),
            (["t.exe", "--gtest_output=xml:z:\\b\\r\\t.xml"], Path("/b/r/t.xml")),
            (["/usr/bin/python3", "run.py", "--orveldump", "/b/orveldump"], None),
        ]
        for command, expected in cases:
            with self.subTest(command=command):
                self.assertEqual(bt.gtest_report_path(command), expected)


class CtestOutputs(Files):
    def test_junit_marks_failed_and_not_run_tests_as_not_ok(self):
        results = bt.read_junit(self.write("j.xml", CTEST_JUNIT))
        self.assertEqual(results["dicom_tests"], (True, "[  PASSED  ] 2 tests."))
        self.assertEqual(results["hexedit_tests"], (False, "[ RUN      ] Hex.Paints"))
        self.assertFalse(results["conformance"][0])

    def test_unreadable_junit_gives_no_results(self):
        self.assertEqual(bt.read_junit(self.write("j.xml", "<testsuite")), {})

    def test_verdicts(self):
        self.assertEqual(bt.read_ctest_verdicts(CTEST_LOG), {
            "dicom_tests": "Passed",
            "hexedit_tests": "Subprocess aborted",
            "gui_tests": "Timeout",
            "conformance": "Failed",
        })


class Judge(Files):
    def gtest(self, report_text=None):
        path = Path(self.dir.name) / "t.xml"
        if report_text is not None:
            path.write_text(report_text, encoding="utf-8")
        return {"name": "dicom_tests", "labels": ["gtest"], "xml": path}

    def test_each_failed_case_is_one_failure_and_output_is_shown(self):
        j = bt.judge("win64", self.gtest(GTEST_REPORT), (False, "log"), "Failed")
        self.assertEqual((j.passed, j.failures), (2, ["win64/dicom_tests: Reader.RejectsShortFile"]))
        self.assertEqual(j.line, "2 passed, 1 failed, 2 skipped")
        self.assertEqual(j.show_output, "log")

    def test_error_exit_after_passing_cases_is_a_failure(self):
        report = GTEST_REPORT.replace('<failure message="x.cpp:3&#x0A;Expected equality" type="">'
                                      '<![CDATA[x.cpp:3\nExpected equality]]></failure>', "")
        j = bt.judge("native", self.gtest(report), (False, "out"), "Subprocess aborted")
        self.assertEqual(j.passed, 3)
        self.assertEqual(len(j.failures), 1)
        self.assertIn("exited with an error", j.line)
        self.assertIn("Subprocess aborted", j.line)

    def test_crash_without_report_is_a_failure(self):
        j = bt.judge("native32", self.gtest(None), (False, "[ RUN ] A.B"), "Subprocess aborted")
        self.assertEqual((j.passed, len(j.failures)), (0, 1))
        self.assertEqual(j.show_output, "[ RUN ] A.B")

    def test_program_with_no_cases_is_a_failure(self):
        j = bt.judge("native", self.gtest(EMPTY_REPORT), (True, ""), None)
        self.assertEqual((j.passed, len(j.failures)), (0, 1))

    def test_missing_ctest_result_is_a_failure(self):
        j = bt.judge("native", self.gtest(GTEST_REPORT), None, None)
        self.assertEqual((j.passed, len(j.failures)), (0, 1))

    def test_other_tests_count_as_one_by_exit_status(self):
        script = {"name": "conformance", "labels": [], "xml": None}
        ok = bt.judge("native", script, (True, "a.dcm ok\n118 passed, 0 failed\n"), "Passed")
        self.assertEqual((ok.passed, ok.failures), (1, []))
        self.assertIn("118 passed, 0 failed", ok.line)
        # Its own count claims success, but the exit status decides.
        bad = bt.judge("native", script, (False, "3 passed, 0 failed\n"), "Failed")
        self.assertEqual((bad.passed, bad.failures), (0, ["native/conformance"]))
        self.assertIsNotNone(bad.show_output)


class JudgeDist(unittest.TestCase):
    def test_each_failed_check_is_one_failure(self):
        lines = ["  ok      zip", "  FAILED  lintian reports no errors: E: x", "3 passed, 1 failed"]
        self.assertEqual(bt.judge_dist(lines, 1), (3, ["dist: lintian reports no errors: E: x"]))

    def test_a_crash_or_a_false_success_is_a_failure(self):
        passed, failures = bt.judge_dist(["Traceback (most recent call last):"], 1)
        self.assertEqual((passed, len(failures)), (0, 1))
        passed, failures = bt.judge_dist(["5 passed, 0 failed"], 1)
        self.assertEqual((passed, len(failures)), (5, 1))
        # A count that claims failures without naming them still counts each.
        self.assertEqual(len(bt.judge_dist(["2 passed, 2 failed"], 1)[1]), 2)


if __name__ == "__main__":
    unittest.main()
