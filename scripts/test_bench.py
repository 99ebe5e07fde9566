#!/usr/bin/python3
"""Tests of the benchmark script: node counts, timings, targets and peak memory must be read
right, and a target that was not measured must never pass."""

import json
import sys
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, str(Path(__file__).resolve().parent))
import bench  # noqa: E402

MIB = 1024 * 1024


def node(tag, children=()):
    return {"tag": tag, "children": list(children)}


def timing(median, mean=None, cpu=None):
    return {"median": median, "mean": mean if mean is not None else median, "stddev": 0.0,
            "min": median, "max": median, "cpu": cpu if cpu is not None else median, "runs": 3}


def all_timings(json_s, quiet_s, gdcm_s, load_s, heap_s, mmap_s):
    element = {bench.JSON_NAME: timing(json_s), bench.CHECK_NAME: timing(2 * json_s), bench.QUIET_NAME: timing(quiet_s),
               bench.GDCM_NAME: timing(gdcm_s), bench.DCMTK_LOAD_NAME: timing(load_s)}
    frames = {bench.QUIET_NAME: timing(quiet_s), bench.HEAP_NAME: timing(heap_s),
              bench.NO_TOUCH_NAME: timing(heap_s), bench.MMAP_NAME: timing(mmap_s)}
    return {bench.ELEMENT_FILES[0]: element, bench.ELEMENT_FILES[1]: dict(element), bench.FRAMES_FILE: frames}


class ReadingToolOutput(unittest.TestCase):
    def test_dump_nodes_count_every_level_and_refused_files(self):
        dump = {"loaded": True, "elements": [
            node("0002,0000"),
            node("0040,A730", [node("FFFE,E000", [node("0040,A010"), node("0040,A043", [node("FFFE,E000")])]),
                               node("FFFE,E000")]),
        ]}
        text = json.dumps(dump) + "\n" + json.dumps({"loaded": False, "error": "Invalid DICOM file"}) + "\n"
        self.assertEqual(bench.count_dump_nodes(text), [(True, 7), (False, 0)])

    def test_hyperfine_gives_medians_not_means_and_cpu_as_user_plus_system(self):
        text = json.dumps({"results": [
            {"command": "a", "mean": 2.0, "stddev": 0.5, "median": 1.0, "min": 0.9, "max": 4.1,
             "user": 0.25, "system": 0.5, "times": [0.9, 1.0, 4.1]},
        ]})
        timings = bench.parse_hyperfine(text)["a"]
        self.assertEqual((timings["median"], timings["cpu"], timings["runs"]), (1.0, 0.75, 3))

    def test_manifest_lines(self):
        text = ('{"name": "a.dcm", "path": "/x/a.dcm", "nodes": 5, "size": 10, "written": true}\n'
                '{"name": "b.dcm", "path": "/x/b.dcm", "nodes": 6, "size": 12, "written": false}\n')
        manifest = bench.parse_manifest(text)
        self.assertEqual(sorted(manifest), ["a.dcm", "b.dcm"])
        self.assertEqual(manifest["b.dcm"]["nodes"], 6)


class Targets(unittest.TestCase):
    def verdicts(self, timings, peak_kib, size=500 * MIB):
        rss = {bench.FRAMES_FILE: {bench.QUIET_NAME: peak_kib}}
        targets = bench.evaluate_targets(timings, rss, {bench.FRAMES_FILE: size})
        return [(t.text.split(":")[0], t.met, t.report_only) for t in targets]

    def test_limits_are_met_exactly_at_the_boundary(self):
        # 4x and 3x faster, checks 2x the dump, 1.2x the heap copy, 2x mmap, and the peak right
        # at the limit.
        timings = all_timings(json_s=0.25, quiet_s=1.2, gdcm_s=1.0, load_s=3.6, heap_s=1.0, mmap_s=0.6)
        verdicts = self.verdicts(timings, peak_kib=int((1.05 * 500 + 32) * 1024))
        self.assertEqual([met for _, met, _ in verdicts], [True] * 10)
        self.assertEqual([only for _, _, only in verdicts], [False] * 8 + [True, True])

    def test_slower_than_the_limits_is_not_met(self):
        timings = all_timings(json_s=0.26, quiet_s=1.21, gdcm_s=1.0, load_s=3.6, heap_s=1.0, mmap_s=0.6)
        for name in bench.ELEMENT_FILES:
            timings[name][bench.CHECK_NAME] = timing(0.521)
        verdicts = self.verdicts(timings, peak_kib=int((1.05 * 500 + 32) * 1024) + 1)
        self.assertEqual([met for _, met, _ in verdicts], [False] * 10)

    def test_cpu_ratios_are_reported_beside_the_wall_clock_ones(self):
        timings = all_timings(json_s=0.25, quiet_s=1.2, gdcm_s=1.0, load_s=3.6, heap_s=1.0, mmap_s=0.6)
        timings[bench.ELEMENT_FILES[0]][bench.GDCM_NAME]["cpu"] = 0.5
        first = bench.evaluate_targets(timings, {}, {})[0]
        self.assertEqual((first.value, first.cpu, first.met), (4.0, 2.0, True))
        self.assertIn("in CPU time 2.00", first.line())

    def test_a_missing_measurement_is_not_measured_never_met(self):
        timings = all_timings(json_s=0.1, quiet_s=0.1, gdcm_s=1.0, load_s=3.6, heap_s=1.0, mmap_s=0.6)
        del timings[bench.ELEMENT_FILES[0]][bench.GDCM_NAME]
        del timings[bench.FRAMES_FILE][bench.HEAP_NAME]
        targets = bench.evaluate_targets(timings, {}, {})
        missing = [t for t in targets if t.met is None]
        # gdcmdump on the first file, the heap copy, and the peak (neither size nor RSS given).
        self.assertEqual(len(missing), 3)
        for target in missing:
            self.assertTrue(target.line().endswith("NOT MEASURED"), target.line())

    def test_lines_say_the_ratio_and_the_verdict(self):
        target = bench.Target("f: a / b", 2.5, 4.0, True)
        self.assertEqual(target.line(), "f: a / b: 2.50 (needs >= 4.00)  NOT MET")
        target = bench.Target("f: a / b", 1.1, 1.2, False, label="stretch (report only)", cpu=1.3)
        self.assertEqual(target.line(),
                         "stretch (report only): f: a / b: 1.10 (needs <= 1.20; in CPU time 1.30)  MET")


class Commands(unittest.TestCase):
    def test_every_command_a_target_compares_is_timed(self):
        # A renamed command would leave its target unmeasured on every run.
        timed = {name for name, _, _ in bench.commands_for("/x/" + bench.ELEMENT_FILES[0])}
        for target in bench.evaluate_targets({}, {}, {}):
            if "peak RSS" in target.text:
                continue
            compared = target.text.split(": ", 1)[1].split(" / ")
            self.assertTrue(set(compared) <= timed, target.text)

    def test_checks_are_timed_on_the_element_files_only(self):
        def names(file_name):
            return [name for name, _, _ in bench.commands_for("/x/" + file_name)]
        self.assertIn(bench.CHECK_NAME, names(bench.ELEMENT_FILES[1]))
        self.assertNotIn(bench.CHECK_NAME, names(bench.FRAMES_FILE))

    def test_walks_that_count_are_the_other_readers(self):
        counting = {name for name, _, count in bench.commands_for("/x/f.dcm") if count}
        self.assertEqual(counting, {bench.DICOM_PARSER_NAME, bench.PYDICOM_NAME})


class Table(unittest.TestCase):
    def test_rows_show_ratios_and_failed_commands(self):
        timings = {bench.JSON_NAME: timing(0.5), bench.QUIET_NAME: timing(0.25), bench.HEAP_NAME: timing(0.05),
                   bench.GDCM_NAME: timing(2.0)}
        text = bench.format_table("a.dcm", {"nodes": 200000, "size": 5 * MIB}, timings,
                                  {bench.GDCM_NAME: 100 * 1024}, {bench.PYDICOM_NAME: "exit status 1"})
        lines = {line.split("  ")[1].strip(): line for line in text.splitlines()[2:]}
        self.assertIn("200,000 nodes, 5.00 MiB", text)
        self.assertEqual(lines[bench.GDCM_NAME].split()[-3:], ["4.00", "8.00", "40.00"])
        self.assertEqual(lines[bench.GDCM_NAME].split()[1:5], ["2.000", "s", "0.00", "ms"])
        self.assertIn("100.0 MiB", lines[bench.GDCM_NAME])
        self.assertIn("FAILED: exit status 1", lines[bench.PYDICOM_NAME])


class PeakMemory(unittest.TestCase):
    def test_the_peak_is_the_childs_own_not_this_scripts(self):
        # This process holds 300 MiB; a small child must not be charged with it.
        ballast = bytearray(300 * MIB)
        for at in range(0, len(ballast), 4096):
            ballast[at] = 1
        code, peak, _, _ = bench.run_measured(["/bin/true"])
        self.assertEqual(code, 0)
        self.assertLess(peak, 50 * 1024)
        del ballast

    def test_a_child_that_allocates_is_charged_with_it(self):
        code, peak, _, text = bench.run_measured(
            [sys.executable, "-c", "b = bytearray(120 * 1024 * 1024); print(len(b))"], capture=True)
        self.assertEqual(code, 0)
        self.assertEqual(text.strip(), str(120 * MIB))
        self.assertGreater(peak, 120 * 1024)

    def test_a_failing_child_reports_its_status_and_error_output(self):
        code, _, _, text = bench.run_measured([sys.executable, "-c", "import sys; sys.exit('broken file')"])
        self.assertEqual(code, 1)
        self.assertIn("broken file", text)


if __name__ == "__main__":
    unittest.main()
