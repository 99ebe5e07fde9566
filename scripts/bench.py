#!/usr/bin/python3
"""Benchmarks of orveldump against other DICOM readers, all timed in one run (make bench).

    bench.py run [--runs N] [--big-runs N] [--warmup N] [--strict] [--no-micro]
    bench.py verify [--small] --generator PROGRAM --orveldump PROGRAM --data FOLDER [--heap-copy PROGRAM]
    bench.py profile [--top N]

run: builds the bench configuration (Release, -O2 for this processor) in build/bench, installs
dicomParser with npm under build/bench-node, writes the large files into build/bench-data (only
those missing), checks that every tool reads each of them, then times every tool on every file
with hyperfine and prints medians, ratios and peak RSS as a table, followed by the targets with
their measured ratios, MET or NOT MET, and the micro-benchmarks. Results are also written to
build/bench/results/. Exit status 0 when everything was measured; with --strict, 1 as well when
a target is not met.

verify: writes the files (at a hundredth of the size with --small) and checks that orveldump
loads each with the node count the generator planned and that pydicom's walk finds the same
count. The test bench_files runs this in `make test`.

profile: builds the profile configuration (no -march=native, which valgrind cannot run) and
writes callgrind profiles of orveldump on the element files and the frames file, with perf's
timer samples (user and kernel time) where perf runs; prints the top functions of each.

Machines are noisy: compare ratios measured in one run, never absolute times.
"""

import argparse
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_html  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "bench"
DATA = ROOT / "build" / "bench-data"
NODE_DIR = ROOT / "build" / "bench-node"
RESULTS = BUILD / "results"
DICOM_PARSER = "dicom-parser@1.8.21"
MIB = 1024 * 1024
BIG_FILE = 100 * MIB          # files this large get fewer timed runs (each takes seconds)

# Started from make, the environment carries make's own settings, which CMake's inner make
# would take up.
for var in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "MAKEOVERRIDES"):
    os.environ.pop(var, None)

JSON_NAME = "orveldump --json"
CHECK_NAME = "orveldump --check --json"
QUIET_NAME = "orveldump --quiet"
GDCM_NAME = "gdcmdump"
DCMDUMP_NAME = "dcmdump"
DCMTK_LOAD_NAME = "dcmdump -q +P 0002,0010"
DICOM_PARSER_NAME = "dicom-parser (node)"
PYDICOM_NAME = "pydicom walk"
HEAP_NAME = "heap copy"
NO_TOUCH_NAME = "heap copy, no touch"
HUGE_NAME = "heap copy, huge pages"
MMAP_NAME = "mmap"

ELEMENT_FILES = ("elements-explicit.dcm", "elements-implicit.dcm")
FRAMES_FILE = "frames-native.dcm"


def say(text=""):
    print(text, flush=True)


# ---------------------------------------------------------------------------------------------
# Pure parts: reading tool output, ratios, targets, the table (tested in test_bench.py)

def parse_manifest(text):
    """make_bench_files output (one JSON object a line) -> {name: entry}."""
    entries = {}
    for line in text.splitlines():
        if line.strip():
            entry = json.loads(line)
            entries[entry["name"]] = entry
    return entries


def count_dump_nodes(text):
    """Nodes of every file in orveldump --json output: (loaded, node count) per line."""
    counts = []
    for line in text.splitlines():
        if not line.strip():
            continue
        dump = json.loads(line)
        if not dump.get("loaded"):
            counts.append((False, 0))
            continue
        nodes, stack = 0, list(dump["elements"])
        while stack:
            node = stack.pop()
            nodes += 1
            stack.extend(node.get("children", []))
        counts.append((True, nodes))
    return counts


def parse_hyperfine(text):
    """hyperfine --export-json -> {command name: {median, mean, stddev, min, max, runs}} (seconds)."""
    timings = {}
    for result in json.loads(text).get("results", []):
        times = result.get("times") or []
        timings[result["command"]] = {
            "median": result["median"],
            "mean": result["mean"],
            "stddev": result.get("stddev") or 0.0,
            "min": result["min"],
            "max": result["max"],
            "cpu": (result.get("user") or 0.0) + (result.get("system") or 0.0),
            "runs": len(times),
        }
    return timings


def ratio(numerator, denominator):
    if numerator is None or denominator is None or denominator <= 0:
        return None
    return numerator / denominator


class Target:
    """One target: a measured value against a limit; met is None when it could not be measured.
    A target with a label (such as a stretch goal) is reported only and never fails a run; cpu
    is the same ratio of CPU time (user + system), which a busy machine disturbs less."""

    def __init__(self, text, value, limit, at_least, label=None, unit="x", cpu=None):
        self.text = text
        self.value = value
        self.limit = limit
        self.at_least = at_least
        self.label = label
        self.unit = unit
        self.cpu = cpu

    @property
    def report_only(self):
        return self.label is not None

    @property
    def met(self):
        if self.value is None or self.limit is None:
            return None
        return self.value >= self.limit if self.at_least else self.value <= self.limit

    def line(self):
        limit = "?" if self.limit is None else f"{self.limit:.1f} MiB" if self.unit == "MiB" else f"{self.limit:.2f}"
        need = (">= " if self.at_least else "<= ") + limit
        verdict = {True: "MET", False: "NOT MET", None: "NOT MEASURED"}[self.met]
        value = "-" if self.value is None else (f"{self.value:.1f} MiB" if self.unit == "MiB" else f"{self.value:.2f}")
        prefix = f"{self.label}: " if self.label else ""
        cpu = "" if self.cpu is None else f"; in CPU time {self.cpu:.2f}"
        return f"{prefix}{self.text}: {value} (needs {need}{cpu})  {verdict}"


def median_of(timings, name):
    entry = timings.get(name)
    return entry["median"] if entry else None


def cpu_of(timings, name):
    entry = timings.get(name)
    return entry.get("cpu") if entry else None


def speed_target(timings, file_name, slower, faster, limit, at_least, label=None):
    """The ratio of two commands' medians on one file (and of their CPU times)."""
    t = timings.get(file_name, {})
    numerator, denominator = (slower, faster) if at_least else (faster, slower)
    return Target(f"{file_name}: {numerator} / {denominator}",
                  ratio(median_of(t, numerator), median_of(t, denominator)), limit, at_least, label=label,
                  cpu=ratio(cpu_of(t, numerator), cpu_of(t, denominator)))


def evaluate_targets(timings, rss, sizes):
    """timings: {file: {command: entry}}; rss: {file: {command: KiB}}; sizes: {file: bytes}."""
    targets = []
    for name in ELEMENT_FILES:
        targets.append(speed_target(timings, name, GDCM_NAME, JSON_NAME, 4.0, True))
        targets.append(speed_target(timings, name, DCMTK_LOAD_NAME, QUIET_NAME, 3.0, True))
        # The encoding checks cost at most as much again as the dump they are added to.
        targets.append(speed_target(timings, name, JSON_NAME, CHECK_NAME, 2.0, False))
    targets.append(speed_target(timings, FRAMES_FILE, HEAP_NAME, QUIET_NAME, 1.2, False))
    size = sizes.get(FRAMES_FILE)
    peak = rss.get(FRAMES_FILE, {}).get(QUIET_NAME)
    limit = None if size is None else 1.05 * size / MIB + 32
    targets.append(Target(f"{FRAMES_FILE}: peak RSS of {QUIET_NAME} (1.05 x file size + 32 MiB)",
                          None if peak is None else peak / 1024, limit, False, unit="MiB"))
    targets.append(speed_target(timings, FRAMES_FILE, NO_TOUCH_NAME, QUIET_NAME, 1.2, False,
                                label="report only, the copy not read back"))
    targets.append(speed_target(timings, FRAMES_FILE, MMAP_NAME, QUIET_NAME, 2.0, False,
                                label="stretch (report only)"))
    return targets


def format_seconds(value):
    if value is None:
        return "-"
    return f"{value:.3f} s" if value >= 0.01 else f"{value * 1000:.2f} ms"


def format_ratio(value):
    return "-" if value is None else f"{value:.2f}"


def format_table(name, entry, timings, rss, failed):
    """One file's block of the table: a row per command with its median, spread, peak RSS and
    ratios: how many times slower the command is than orveldump --json and --quiet, and its time
    over one heap copy of the file."""
    json_median = median_of(timings, JSON_NAME)
    quiet_median = median_of(timings, QUIET_NAME)
    heap_median = median_of(timings, HEAP_NAME)
    lines = [f"{name}: {entry['nodes']:,} nodes, {entry['size'] / MIB:.2f} MiB",
             f"  {'command':<26}{'median':>11}{'+/-':>10}{'CPU':>10}{'peak RSS':>12}"
             f"{'/ --json':>10}{'/ --quiet':>11}{'/ heap copy':>13}"]
    names = list(timings) + [n for n in failed if n not in timings]
    for command in names:
        if command in failed:
            lines.append(f"  {command:<26}{'FAILED: ' + failed[command]:>11}")
            continue
        t = timings[command]
        peak = rss.get(command)
        lines.append(f"  {command:<26}{format_seconds(t['median']):>11}{format_seconds(t['stddev']):>10}"
                     f"{format_seconds(t.get('cpu')):>10}"
                     f"{('-' if peak is None else f'{peak / 1024:.1f} MiB'):>12}"
                     f"{format_ratio(ratio(t['median'], json_median)):>10}"
                     f"{format_ratio(ratio(t['median'], quiet_median)):>11}"
                     f"{format_ratio(ratio(t['median'], heap_median)):>13}")
    return "\n".join(lines)


# ---------------------------------------------------------------------------------------------
# Running things

def run_measured(argv, env=None, capture=False):
    """Runs argv once; returns (exit status, peak RSS in KiB, seconds, stdout text or None; the
    error output instead when it failed).

    The peak comes from GNU time, not from our own wait4(): Linux counts the memory a process
    had before exec in its peak, and this script's own can be hundreds of MiB."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, \
            tempfile.NamedTemporaryFile("r") as peak:
        start = time.monotonic()
        code = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak.name] + list(argv),
                              stdout=out if capture else subprocess.DEVNULL, stderr=err,
                              stdin=subprocess.DEVNULL, env=env).returncode
        seconds = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        text = out.read().decode("utf-8", "replace") if capture else None
        if code != 0:
            text = err.read().decode("utf-8", "replace")
        kib = peak.read().strip().splitlines()
        return code, int(kib[-1]) if kib and kib[-1].isdigit() else None, seconds, text


def generate(generator, data, small):
    cmd = [str(generator)] + (["--small"] if small else []) + [str(data)]
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if proc.returncode != 0:
        raise SystemExit(f"bench: {' '.join(cmd)} failed:\n{proc.stderr}")
    return parse_manifest(proc.stdout)


def check_orveldump(orveldump, entry):
    """None when orveldump --json loads the file with the planned node count, else the problem."""
    code, _, _, text = run_measured([str(orveldump), "--json", entry["path"]], capture=True)
    if code != 0:
        return f"orveldump --json exited with {code}: {text.strip()}"
    counts = count_dump_nodes(text)
    if counts != [(True, entry["nodes"])]:
        return f"orveldump --json found {counts}, expected {entry['nodes']} nodes"
    return None


def check_count(argv, entry, env=None):
    """Runs a --count walk; None when it prints the planned node count, else the problem."""
    code, _, _, text = run_measured(argv, env=env, capture=True)
    if code != 0:
        return f"exited with {code}: {text.strip()[-400:]}"
    if text.strip() != str(entry["nodes"]):
        return f"counted {text.strip()} nodes, expected {entry['nodes']}"
    return None


def verify(args):
    manifest = generate(args.generator, args.data, args.small)
    failures = 0
    for name, entry in manifest.items():
        problems = []
        size = Path(entry["path"]).stat().st_size if Path(entry["path"]).exists() else None
        if size != entry["size"]:
            problems.append(f"the file has {size} bytes, the generator planned {entry['size']}")
        problem = check_orveldump(args.orveldump, entry)
        if problem:
            problems.append(problem)
        for mode in ([[], ["--no-touch"], ["--huge"], ["--mmap"]] if args.heap_copy else []):
            code, _, _, text = run_measured([str(args.heap_copy)] + mode + [entry["path"]])
            if code != 0:
                problems.append(f"heap_copy {' '.join(mode)} exited with {code}: {text.strip()}")
        problem = check_count(["/usr/bin/python3", str(ROOT / "bench" / "pydicom_walk.py"), "--count", entry["path"]], entry)
        if problem:
            problems.append("pydicom walk " + problem)
        if problems:
            failures += 1
            say(f"{name}: FAILED")
            for problem in problems:
                say(f"    {problem}")
        else:
            say(f"{name}: {entry['nodes']} nodes, {entry['size']} bytes: orveldump and pydicom agree"
                + (", heap_copy reads it" if args.heap_copy else ""))
    say(f"{len(manifest) - failures} passed, {failures} failed")
    return 1 if failures or not manifest else 0


def build(preset="bench", targets=("orveldump", "make_bench_files", "heap_copy", "orvel_microbench"),
          what="bench configuration (Release, -O2 -march=native)"):
    start = time.monotonic()
    folder = ROOT / "build" / preset
    log = folder / "build.log"
    folder.mkdir(parents=True, exist_ok=True)
    cache = folder / "CMakeCache.txt"
    steps = []
    if not cache.exists() or (ROOT / "CMakePresets.json").stat().st_mtime > cache.stat().st_mtime:
        steps.append(["cmake", "--preset", preset])
    steps.append(["cmake", "--build", str(folder), "--parallel", "2", "--target"] + list(targets))
    with open(log, "w") as out:
        for cmd in steps:
            out.write("$ " + " ".join(cmd) + "\n")
            out.flush()
            if subprocess.run(cmd, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL).returncode:
                say(log.read_text(errors="replace"))
                raise SystemExit("bench: the build failed")
    say(f"build: {what} in {time.monotonic() - start:.0f} s")


def install_dicom_parser():
    package = NODE_DIR / "node_modules" / "dicom-parser" / "package.json"
    wanted = DICOM_PARSER.rsplit("@", 1)[1]
    if package.exists() and json.loads(package.read_text()).get("version") == wanted:
        return
    NODE_DIR.mkdir(parents=True, exist_ok=True)
    cmd = ["npm", "install", "--prefix", str(NODE_DIR), "--no-audit", "--no-fund", "--loglevel=error", DICOM_PARSER]
    if subprocess.run(cmd, stdin=subprocess.DEVNULL).returncode != 0:
        raise SystemExit("bench: npm could not install " + DICOM_PARSER)
    say(f"npm: installed {DICOM_PARSER} in {NODE_DIR.relative_to(ROOT)}")


def commands_for(path):
    """(name, argv, count argv or None) of every command timed on one file; the encoding checks
    on the element files (which break no rule, so the check exits 0 like the dump)."""
    orveldump = str(BUILD / "cli" / "orveldump")
    heap_copy = str(BUILD / "bench" / "heap_copy")
    node = ["node", str(ROOT / "bench" / "dicomparser_offsets.js")]
    pydicom = ["/usr/bin/python3", str(ROOT / "bench" / "pydicom_walk.py")]
    checked = [(CHECK_NAME, [orveldump, "--check", "--json", path], None)] if Path(path).name in ELEMENT_FILES else []
    return [
        (JSON_NAME, [orveldump, "--json", path], None),
        *checked,
        (QUIET_NAME, [orveldump, "--quiet", path], None),
        (GDCM_NAME, ["gdcmdump", path], None),
        (DCMDUMP_NAME, ["dcmdump", path], None),
        (DCMTK_LOAD_NAME, ["dcmdump", "-q", "+P", "0002,0010", path], None),
        (DICOM_PARSER_NAME, node + [path], node + ["--count", path]),
        (PYDICOM_NAME, pydicom + [path], pydicom + ["--count", path]),
        (HEAP_NAME, [heap_copy, path], None),
        (NO_TOUCH_NAME, [heap_copy, "--no-touch", path], None),
        (HUGE_NAME, [heap_copy, "--huge", path], None),
        (MMAP_NAME, [heap_copy, "--mmap", path], None),
    ]


def bench_env():
    env = dict(os.environ)
    env["NODE_PATH"] = str(NODE_DIR / "node_modules")
    return env


def measure_once(entry, env):
    """Runs each command once: its peak RSS, and the commands that failed with why. The walks
    of pydicom and dicomParser must find the planned node count, so every tool does the same
    work."""
    rss, failed = {}, {}
    problem = check_orveldump(BUILD / "cli" / "orveldump", entry)
    if problem:
        failed[JSON_NAME] = problem
    for name, argv, count_argv in commands_for(entry["path"]):
        # A walk that can count is run counting: the count costs next to nothing.
        code, peak, _, text = run_measured(count_argv or argv, env=env, capture=bool(count_argv))
        if code != 0:
            failed[name] = f"exit status {code}: {(text or '').strip()[-300:]}"
        elif count_argv and text.strip() != str(entry["nodes"]):
            failed[name] = f"counted {text.strip()} nodes, expected {entry['nodes']}"
        elif peak is None:
            failed[name] = "no peak RSS from /usr/bin/time"
        else:
            rss[name] = peak
    return rss, failed


def time_file(entry, env, runs, warmup, skip):
    """hyperfine over every command that ran; {command: timing}."""
    RESULTS.mkdir(parents=True, exist_ok=True)
    export = RESULTS / (entry["name"] + ".json")
    cmd = ["hyperfine", "--shell=none", "--style", "basic", "--warmup", str(warmup), "--runs", str(runs),
           "--export-json", str(export)]
    for name, argv, _ in commands_for(entry["path"]):
        if name not in skip:
            cmd += ["--command-name", name, " ".join(shlex.quote(a) for a in argv)]
    with open(RESULTS / (entry["name"] + ".log"), "w") as log:
        if subprocess.run(cmd, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, env=env).returncode:
            say(f"  hyperfine failed; see {log.name}")
            return {}
    return parse_hyperfine(export.read_text())


def run_micro():
    out = RESULTS / "micro.json"
    cmd = [str(BUILD / "bench" / "orvel_microbench"), "--benchmark_min_time=0.2",
           f"--benchmark_out={out}", "--benchmark_out_format=json"]
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, stdin=subprocess.DEVNULL)
    return proc.returncode, proc.stdout


def run(args):
    started = time.monotonic()
    build()
    install_dicom_parser()
    manifest = generate(BUILD / "bench" / "make_bench_files", DATA, False)
    written = [n for n, e in manifest.items() if e["written"]]
    say(f"files: {DATA.relative_to(ROOT)}/ ({'written now: ' + ', '.join(written) if written else 'all present'})")
    env = bench_env()

    timings, rss, failed = {}, {}, {}
    for name, entry in manifest.items():
        file_start = time.monotonic()
        rss[name], failed[name] = measure_once(entry, env)
        runs = args.runs if entry["size"] < BIG_FILE else args.big_runs
        timings[name] = time_file(entry, env, runs, args.warmup, failed[name])
        say(f"timed {name}: {len(timings[name])} commands, {runs} runs each after {args.warmup} warm-up, "
            f"{time.monotonic() - file_start:.0f} s")

    tables = [format_table(n, manifest[n], timings[n], rss[n], failed[n]) for n in manifest]
    targets = evaluate_targets(timings, rss, {n: e["size"] for n, e in manifest.items()})
    # The --html pages of the same files, opened in headless Chromium (seconds, MiB, ratios).
    html_lines, html_targets = bench_html.measure(BUILD / "cli" / "orveldump", DATA, say=say)
    targets += [Target(text + (" (s)" if unit == "s" else ""), value, limit, False, unit="MiB" if unit == "MiB" else "x")
                for text, value, limit, unit in html_targets]
    text = ["", "Medians of whole-process runs (+/-: standard deviation; CPU: mean user + system time);",
            "the ratio columns are the command's median over that of orveldump --json, orveldump --quiet",
            "and one heap copy of the file (above 1: slower).", ""]
    text += [t + "\n" for t in tables]
    text += ["orveldump --html:"] + ["  " + line for line in html_lines] + [""]
    text += ["Targets (ratios in this run):"] + ["  " + t.line() for t in targets]
    say("\n".join(text))

    RESULTS.mkdir(parents=True, exist_ok=True)
    micro_status = 0
    if not args.no_micro:
        micro_status, micro_text = run_micro()
        say("\nMicro-benchmarks (orvel_microbench):\n" + micro_text)
        text += ["", micro_text]
    (RESULTS / "table.txt").write_text("\n".join(text) + "\n")
    (RESULTS / "summary.json").write_text(json.dumps({
        "timings": timings, "peak_rss_kib": rss, "failed": failed,
        "targets": [{"target": t.text, "value": t.value, "limit": t.limit, "met": t.met, "cpu": t.cpu,
                     "report_only": t.report_only} for t in targets]}, indent=2))
    say(f"results in {RESULTS.relative_to(ROOT)}/; make bench took {time.monotonic() - started:.0f} s")

    unmeasured = any(failed.values()) or any(t.met is None for t in targets) or micro_status != 0
    if unmeasured:
        say("bench: some commands failed or could not be measured (see above)")
        return 1
    if args.strict and any(t.met is False for t in targets if not t.report_only):
        return 1
    return 0


def top_lines(text, count, ours_only=False):
    """The first `count` function lines of a callgrind_annotate or perf report listing; with
    ours_only, only functions of dicom/ and cli/ (as the build names them, relative)."""
    lines = []
    for line in text.splitlines():
        stripped = line.strip()
        if not stripped or stripped.startswith("#") or "%" not in stripped:
            continue
        if "PROGRAM TOTALS" in stripped or "file:function" in stripped:
            continue
        if ours_only and not re.search(r"\s(dicom|cli)/[^ :]+:", stripped):
            continue
        lines.append(line.rstrip())
        if len(lines) == count:
            break
    return lines


def perf_works():
    """True when perf can sample this machine by its timer (it may have no hardware counters)."""
    try:
        proc = subprocess.run(["perf", "record", "-e", "cpu-clock", "-o", "/dev/null", "true"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    except OSError:
        return False
    return proc.returncode == 0


def profile(args):
    """callgrind (instructions, user space) and, where perf runs, timer samples (kernel time as
    well) of orveldump on the element files and the native frames file."""
    build("profile", ("orveldump", "make_bench_files"), "profile configuration (Release, -O2 -g, any x86-64)")
    folder = ROOT / "build" / "profile"
    orveldump = folder / "cli" / "orveldump"
    manifest = generate(folder / "bench" / "make_bench_files", DATA, False)
    out_dir = folder / "results"
    out_dir.mkdir(parents=True, exist_ok=True)
    runs = [(name, mode) for name in ELEMENT_FILES for mode in ("--json", "--quiet")] + [(FRAMES_FILE, "--quiet")]
    use_perf = perf_works()
    # perf samples the program make bench times (valgrind cannot run it).
    timed = BUILD / "cli" / "orveldump"
    for name, mode in runs:
        path = manifest[name]["path"]
        label = f"{name.rsplit('.', 1)[0]}{mode.replace('--', '-')}"
        cg = out_dir / f"{label}.callgrind"
        cmd = ["valgrind", "--tool=callgrind", f"--callgrind-out-file={cg}", str(orveldump), mode, path]
        if subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL).returncode:
            say(f"{label}: callgrind failed")
            continue
        sections = []
        for inclusive in ("no", "yes"):
            text = subprocess.run(["callgrind_annotate", f"--inclusive={inclusive}", str(cg)],
                                  stdout=subprocess.PIPE, text=True).stdout
            (out_dir / f"{label}.callgrind-{'inclusive' if inclusive == 'yes' else 'self'}.txt").write_text(text)
            total = next((l for l in text.splitlines() if "PROGRAM TOTALS" in l), "").strip()
            sections.append((inclusive, total, top_lines(text, args.top, ours_only=inclusive == "yes")))
        say(f"\n== orveldump {mode} {name}: callgrind, {sections[0][1]}")
        for inclusive, _, lines in sections:
            say("  " + ("inclusive, functions of dicom/ and cli/ (with what they call):" if inclusive == "yes"
                        else "self (exclusive):"))
            say("\n".join("    " + l for l in lines))
        if use_perf:
            data = out_dir / f"{label}.perf.data"
            subprocess.run(["perf", "record", "-e", "cpu-clock", "-F", "4000", "-g", "-o", str(data),
                            str(timed if timed.exists() else orveldump), mode, path],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            text = subprocess.run(["perf", "report", "-i", str(data), "--no-children", "--stdio", "-g", "none",
                                   "--percent-limit", "0.5"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  text=True).stdout
            (out_dir / f"{label}.perf.txt").write_text(text)
            say("  perf timer samples, user and kernel (self):")
            say("\n".join("    " + l for l in top_lines(text, args.top)))
            # In a virtual machine the kernel's samples gather where interrupts come back on;
            # their callers say what the time was spent on (page faults, seeks, reads).
            graph = subprocess.run(["perf", "report", "-i", str(data), "--no-children", "--stdio",
                                    "-g", "caller,2,0,callee", "--percent-limit", "10"], stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True).stdout
            (out_dir / f"{label}.perf-callers.txt").write_text(graph)
            lines = [l.rstrip() for l in graph.splitlines() if l.strip() and not l.startswith("#")
                     and l.strip() != "|"]
            say("  perf, entries of 10% and more with their callers:")
            say("\n".join("    " + l for l in lines[:40]))
    say(f"\nprofiles in {out_dir.relative_to(ROOT)}/")
    return 0


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="action", required=True)
    p_run = sub.add_parser("run", help="build, generate, time everything (make bench)")
    p_run.add_argument("--runs", type=int, default=int(os.environ.get("BENCH_RUNS", "10")),
                       help="timed runs of each command on the element files")
    p_run.add_argument("--big-runs", type=int, default=int(os.environ.get("BENCH_BIG_RUNS", "5")),
                       help="timed runs of each command on the files of 100 MiB and more")
    p_run.add_argument("--warmup", type=int, default=int(os.environ.get("BENCH_WARMUP", "1")))
    p_run.add_argument("--strict", action="store_true", help="exit 1 when a target is not met")
    p_run.add_argument("--no-micro", action="store_true", help="skip the micro-benchmarks")
    p_verify = sub.add_parser("verify", help="generate the files and check they load")
    p_verify.add_argument("--small", action="store_true")
    p_verify.add_argument("--generator", type=Path, required=True)
    p_verify.add_argument("--orveldump", type=Path, required=True)
    p_verify.add_argument("--data", type=Path, required=True)
    p_verify.add_argument("--heap-copy", type=Path, help="also run heap_copy in every mode on each file")
    p_profile = sub.add_parser("profile", help="callgrind and perf profiles of orveldump (make bench-profile)")
    p_profile.add_argument("--top", type=int, default=15, help="functions shown per profile")
    args = parser.parse_args(argv)
    return {"run": run, "verify": verify, "profile": profile}[args.action](args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
