#!/usr/bin/python3
"""Configure, build and test the five configurations of the tree.

    build_and_test.py                    build all, test native/native32/win64/asan
    build_and_test.py --build-only       build all, no tests
    build_and_test.py --configs native,win64 [--target orveldump]

Per configuration it prints one line for the build and one per test program
with its counts; failures are shown in full. A test run ends with exactly one
line "N passed, N failed", where N counts GoogleTest cases (read from each
program's XML report) plus every other CTest test as one. A configuration that
fails to configure or build counts as one failure, so a broken build can never
end in "0 passed, 0 failed". A run that includes win64 and win32 also runs the
release test (scripts/dist_test.py) when makensis is installed, and counts each
of its checks as one. The exit status is 0 only when nothing failed.

Build folders are build/<config>; they are reused, so a second run only
rebuilds what changed. Logs: build/<config>/{configure,build,ctest}.log.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# Started from the root Makefile, our environment carries make's own settings;
# CMake's inner make would then print "Entering directory" chatter and try to
# join the outer make's job server.
for var in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "MAKEOVERRIDES"):
    os.environ.pop(var, None)
BUILD = ROOT / "build"
JOBS = "2"

# name -> (description, whether its tests run here)
CONFIGS = {
    "native": ("host g++, debug", True),
    "native32": ("g++ -m32, tests under qemu-i386", True),
    "win64": ("mingw-w64, tests under Wine", True),
    "win32": ("mingw-w64 32-bit, build only", False),
    "asan": ("clang, AddressSanitizer + UBSan, fuzz target", True),
}

# Configurations built only for the release files (make dist), never tested on their own.
PACKAGING_CONFIGS = {
    "dist": "host g++ -O2, hardened, for the orveldump package",
}

WINE_PREFIX_NAME = "wineprefix"  # matches cmake/win64.cmake
OWN_SUMMARY = re.compile(r"^\s*(?:\w+:\s*)?(\d+) passed, (\d+) failed\b", re.M)


def say(text=""):
    print(text, flush=True)


def show_block(title, text):
    """Prints a failure's full text, indented, between two marker lines."""
    say(f"  ---- {title} ----")
    for line in text.replace("\r\n", "\n").replace("\r", "\n").rstrip("\n").split("\n"):
        say("    " + line)
    say(f"  ---- end of {title} ----")


def run_logged(cmd, log_path, env=None):
    """Runs cmd from the repository root with all output going to log_path."""
    log_path.parent.mkdir(parents=True, exist_ok=True)
    with open(log_path, "w", encoding="utf-8", errors="replace") as log:
        log.write("$ " + " ".join(str(c) for c in cmd) + "\n")
        log.flush()
        proc = subprocess.run(cmd, cwd=ROOT, stdout=log, stderr=subprocess.STDOUT,
                              stdin=subprocess.DEVNULL, env=env)
    return proc.returncode


def read_text(path):
    try:
        return path.read_text(encoding="utf-8", errors="replace")
    except OSError:
        return ""


class Tally:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.failures = []  # short one-line descriptions for the closing list

    def fail(self, what, count=1):
        self.failed += count
        self.failures.append(what)


def report(tally, start):
    """The closing lines of a test run, the count last; the exit status."""
    say(f"took {time.monotonic() - start:.0f} s")
    if tally.failures:
        say("failures:")
        for f in tally.failures:
            say("  " + f)
    say(f"{tally.passed} passed, {tally.failed} failed")
    return 1 if tally.failed else 0


def needs_configure(bdir):
    cache = bdir / "CMakeCache.txt"
    if not cache.exists() or not (bdir / "Makefile").exists():
        return True
    # Preset values (build type, toolchain) only reach the cache through
    # "cmake --preset"; CMake itself re-runs for CMakeLists.txt changes.
    return (ROOT / "CMakePresets.json").stat().st_mtime > cache.stat().st_mtime


def build_config(name, tally, target=None):
    """Configures (when needed) and builds one configuration; target is a target
    name or a list of them (default: all). True on success."""
    bdir = BUILD / name
    start = time.monotonic()
    configured = needs_configure(bdir)
    if configured:
        if run_logged(["cmake", "--preset", name], bdir / "configure.log") != 0:
            say(f"{name}: configure FAILED")
            show_block(f"{name} configure log", read_text(bdir / "configure.log"))
            tally.fail(f"{name}: configure failed")
            return False
    cmd = ["cmake", "--build", str(bdir), "--parallel", JOBS]
    if target:
        cmd += ["--target"] + ([target] if isinstance(target, str) else list(target))
    if run_logged(cmd, bdir / "build.log") != 0:
        say(f"{name}: build FAILED")
        show_block(f"{name} build log", read_text(bdir / "build.log"))
        tally.fail(f"{name}: build failed")
        return False
    # Warnings of the files compiled this time (an incremental build does not
    # repeat those of unchanged files).
    warnings = list(dict.fromkeys(line for line in read_text(bdir / "build.log").splitlines()
                                  if re.search(r"\bwarning:", line)))
    note = f", {len(warnings)} compiler warnings" if warnings else ""
    done = "configured and built" if configured else "built"
    what = CONFIGS[name][0] if name in CONFIGS else PACKAGING_CONFIGS[name]
    say(f"{name} ({what}): {done} in {time.monotonic() - start:.0f} s{note}")
    shown = 20
    for line in warnings[:shown]:
        say("    " + line)
    if len(warnings) > shown:
        say(f"    ... and {len(warnings) - shown} more in {bdir.relative_to(ROOT)}/build.log")
    return True


def list_tests(bdir):
    out = subprocess.run(["ctest", "--test-dir", str(bdir), "--show-only=json-v1"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         stdin=subprocess.DEVNULL, text=True)
    if out.returncode != 0:
        return None
    tests = []
    for t in json.loads(out.stdout).get("tests", []):
        labels = []
        for prop in t.get("properties", []):
            if prop.get("name") == "LABELS":
                labels = prop.get("value", [])
        tests.append({"name": t["name"], "labels": labels,
                      "xml": gtest_report_path(t.get("command", []))})
    return tests


def gtest_report_path(command):
    """Where a test command asks GoogleTest to write its XML report, or None
    for a test that is not a GoogleTest program."""
    for arg in command:
        if arg.startswith("--gtest_output=xml:"):
            p = arg[len("--gtest_output=xml:"):]
            # Programs under Wine are given the Unix path as drive Z:.
            if re.match(r"^[Zz]:[/\\]", p):
                p = p[2:].replace("\\", "/")
            return Path(p)
    return None


def read_junit(path):
    """CTest's JUnit report: test name -> (passed, output)."""
    results = {}
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError):
        return results
    for tc in root.iter("testcase"):
        ok = tc.get("status") == "run" and tc.find("failure") is None and tc.find("error") is None
        out = tc.findtext("system-out") or ""
        results[tc.get("name")] = (ok, out)
    return results


def read_ctest_verdicts(log_text):
    """CTest's one-line verdicts ("Subprocess aborted", "Timeout", ...) by test name."""
    verdicts = {}
    for m in re.finditer(r"Test\s+#\d+: (\S+) \.*\s*(.*?)\s+[\d.]+ sec", log_text):
        verdicts[m.group(1)] = re.sub(r"\*+(Exception:)?", " ", m.group(2)).strip()
    return verdicts


def count_gtest_cases(path):
    """GoogleTest XML report -> (passed, failed names, skipped), or None if unreadable."""
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError):
        return None
    passed, failed, skipped = 0, [], 0
    for tc in root.iter("testcase"):
        case = f"{tc.get('classname')}.{tc.get('name')}"
        if tc.find("failure") is not None or tc.find("error") is not None:
            failed.append(case)
        elif tc.get("status") == "notrun" or tc.get("result") in ("skipped", "suppressed"):
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped


def stop_wineserver(bdir):
    """Lets the prefix's wineserver finish (it lingers a few seconds) so the
    run leaves no Wine processes behind; kills it if it does not end."""
    prefix = bdir / WINE_PREFIX_NAME
    if not prefix.exists():
        return
    env = dict(os.environ, WINEPREFIX=str(prefix))
    try:
        subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=env, timeout=30,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=env,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def test_config(name, tally):
    bdir = BUILD / name
    tests = list_tests(bdir)
    if tests is None:
        say(f"  could not list the tests of {name}")
        tally.fail(f"{name}: could not list tests")
        return
    if not tests:
        say(f"  {name} registers no tests")
        tally.fail(f"{name}: no tests registered")
        return

    # Stale reports must not stand in for a program that crashed this time.
    for t in tests:
        if t["xml"] is not None and t["xml"].exists():
            t["xml"].unlink()

    env = dict(os.environ)
    env.pop("DISPLAY", None)  # tests never draw on the developer's display
    # The private display has no window manager: Wine's windows are not handed to one.
    env["ORVEL_WINE_MANAGED"] = "N"
    junit = bdir / "ctest-junit.xml"
    if junit.exists():
        junit.unlink()
    cmd = ["ctest", "--test-dir", str(bdir), "--parallel", JOBS,
           "--output-junit", str(junit),
           "--test-output-size-passed", "1000000",
           "--test-output-size-failed", "20000000",
           "--test-output-truncation", "middle"]
    if any("gui" in t["labels"] for t in tests):
        # A private X display for GUI tests, gone when ctest ends.
        cmd = ["xvfb-run", "--auto-servernum",
               "--server-args=-screen 0 1280x1024x24 -nolisten tcp"] + cmd
    if name == "win64":
        # A wineserver still alive from an earlier run would hand our programs
        # to its desktop process, which may belong to a display now gone.
        stop_wineserver(bdir)
    run_logged(cmd, bdir / "ctest.log", env=env)
    if name == "win64":
        stop_wineserver(bdir)

    results = read_junit(junit)
    verdicts = read_ctest_verdicts(read_text(bdir / "ctest.log"))
    width = max(len(t["name"]) for t in tests)
    for t in tests:
        j = judge(name, t, results.get(t["name"]), verdicts.get(t["name"]))
        tally.passed += j.passed
        for f in j.failures:
            tally.fail(f)
        say(f"  {t['name']:<{width}}  {j.line}")
        if j.show_output is not None:
            if t["name"] in results:
                show_block(f"output of {name}/{t['name']}", j.show_output)
            else:
                show_block(f"{name} ctest log", read_text(bdir / "ctest.log"))


class Judgement:
    def __init__(self, line, passed=0, failures=(), show_output=None):
        self.line = line                  # the counts shown for the program
        self.passed = passed              # cases or tests that passed
        self.failures = list(failures)    # one entry per failure counted
        self.show_output = show_output    # output to show in full, if any


def judge(config, test, result, verdict):
    """Decides what one CTest test contributes to the counts.

    result is (exit ok, output) from CTest's report, or None if CTest has no
    result for it; verdict is CTest's short verdict text, if any. GoogleTest
    programs count their cases; any other test counts as one."""
    where = f"{config}/{test['name']}"
    if result is None:
        return Judgement("FAILED: no result from ctest", failures=[f"{where}: no result"],
                         show_output="")
    exit_ok, output = result
    why = f" (ctest: {verdict})" if verdict and not exit_ok else ""

    if test["xml"] is None:
        own = OWN_SUMMARY.findall(output)
        note = f" (its own count: {own[-1][0]} passed, {own[-1][1]} failed)" if own else ""
        if exit_ok:
            return Judgement("passed" + note, passed=1)
        return Judgement("FAILED" + why + note, failures=[where], show_output=output)

    counts = count_gtest_cases(test["xml"])
    if counts is None:
        return Judgement("FAILED: no GoogleTest report" + why,
                         failures=[f"{where}: no report"], show_output=output)
    passed, failed, skipped = counts
    line = f"{passed} passed, {len(failed)} failed"
    if skipped:
        line += f", {skipped} skipped"
    failures = [f"{where}: {case}" for case in failed]
    problem = None
    if not exit_ok and not failed:
        problem = "exited with an error although no case failed"
    elif passed + len(failed) + skipped == 0:
        problem = "ran no test case"
    if problem:
        failures.append(f"{where}: {problem}")
        line += f"; FAILED: {problem}{why}"
    return Judgement(line, passed=passed, failures=failures,
                     show_output=output if failures else None)


def judge_dist(lines, status):
    """What the release test's output adds: (checks passed, one entry per failure).
    Its last line must be its count; a run without one, or with a bad exit status
    and no failed check, counts as a failure."""
    counts = OWN_SUMMARY.findall(lines[-1]) if lines else []
    if not counts:
        return 0, [f"dist: ended without its counts (exit status {status})"]
    passed, failed = (int(n) for n in counts[-1])
    named = [line.split("FAILED", 1)[1].strip()[:120] for line in lines
             if line.lstrip().startswith("FAILED")]
    failures = [f"dist: {what}" for what in named[:failed]]
    failures += ["dist: a check that printed no FAILED line"] * (failed - len(failures))
    if status != 0 and failed == 0:
        failures.append(f"dist: exit status {status} although no check failed")
    return passed, failures


def test_dist(tally):
    """The release test (scripts/dist_test.py): prints its lines as they come and adds
    its counts, one per check, to the tally."""
    say("dist (release files, installer under Wine):")
    proc = subprocess.Popen([sys.executable, str(ROOT / "scripts/dist_test.py")], cwd=ROOT,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, errors="replace")
    lines = []
    for line in proc.stdout:
        lines.append(line.rstrip("\n"))
        say("  " + lines[-1])
    passed, failures = judge_dist(lines, proc.wait())
    tally.passed += passed
    for what in failures:
        tally.fail(what)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--configs", default=",".join(CONFIGS),
                        help="comma-separated subset of " + ", ".join(CONFIGS))
    parser.add_argument("--build-only", action="store_true")
    parser.add_argument("--target", help="build only this target (implies --build-only)")
    args = parser.parse_args()

    names = [c for c in args.configs.split(",") if c]
    unknown = [c for c in names if c not in CONFIGS]
    if unknown:
        parser.error("unknown configuration: " + ", ".join(unknown))
    build_only = args.build_only or bool(args.target)

    tally = Tally()
    start = time.monotonic()
    for name in names:
        if build_config(name, tally, args.target) and not build_only and CONFIGS[name][1]:
            test_config(name, tally)

    # The release test needs both Windows widths and NSIS; a run of some
    # configurations only leaves it out.
    if not build_only and {"win64", "win32"} <= set(names) and shutil.which("makensis"):
        test_dist(tally)

    if build_only:
        if tally.failed:
            say(f"build failed: {', '.join(tally.failures)}")
        return 1 if tally.failed else 0

    say()
    return report(tally, start)


if __name__ == "__main__":
    sys.exit(main())
