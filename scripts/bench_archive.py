#!/usr/bin/python3
"""orveldump over whole trees (make bench): files per second of --quiet -r, --check --json -r and
--summary at -j 1 and at all cores, beside dcmdump's directory scan (+sd), a plain cat of every
file and tree_read (bench/tree_read.c: the floor of walking the tree and reading each file whole
in one process), on a generated tree of 20,000 small files and one of 200 large ones, and on
pydicom's test files copied 30 times (written once into build/bench-data/). Prints a table and
the targets; writes build/bench/results/archive.txt.

    bench_archive.py [--runs N] [--small-files N] [--large-files N] [--real-copies N] [--strict]

Machines are noisy: compare ratios measured in one run, never absolute times.
"""

import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "bench"
DATA = ROOT / "build" / "bench-data"
RESULTS = BUILD / "results"
CORES = os.cpu_count() or 1


def element(group, element_, vr, value):
    head = struct.pack("<HH", group, element_) + vr.encode()
    if vr in ("OB", "OW", "SQ", "UN", "UT"):
        return head + b"\0\0" + struct.pack("<I", len(value)) + value
    return head + struct.pack("<H", len(value)) + value


def text(value):
    value = value.encode()
    return value + (b" " if len(value) % 2 else b"")


def uid(value):
    value = value.encode()
    return value + (b"\0" if len(value) % 2 else b"")


def dicom_file(index, pixel_bytes, modality):
    """A CT-like part 10 file: meta group, some patient and study elements, pixel data."""
    sop = "1.2.840.10008.5.1.4.1.1.2"
    meta = (element(2, 1, "OB", b"\0\1") + element(2, 2, "UI", uid(sop)) +
            element(2, 3, "UI", uid("1.2.826.0.1.3680043.9.%d" % index)) + element(2, 0x10, "UI", uid("1.2.840.10008.1.2.1")))
    data = (element(8, 0x16, "UI", uid(sop)) + element(8, 0x18, "UI", uid("1.2.826.0.1.3680043.9.%d" % index)) +
            element(8, 0x60, "CS", text(modality)) + element(0x10, 0x10, "PN", text("Doe^Jane^%d" % index)) +
            element(0x10, 0x20, "LO", text("ID%06d" % index)) + element(0x20, 0x13, "IS", text(str(index))) +
            element(0x28, 0x10, "US", struct.pack("<H", 64)) + element(0x28, 0x11, "US", struct.pack("<H", 64)) +
            element(0x7FE0, 0x10, "OW", bytes(pixel_bytes)))
    return b"\0" * 128 + b"DICM" + element(2, 0, "UL", struct.pack("<I", len(meta))) + meta + data


def write_tree(folder, count, pixel_bytes):
    """count files in folders of 100, written once; a marker file says the tree is complete."""
    marker = folder.with_suffix(".complete")
    if marker.exists() and marker.read_text() == "%d %d\n" % (count, pixel_bytes):
        return False
    shutil.rmtree(folder, ignore_errors=True)
    for i in range(count):
        sub = folder / ("series%03d" % (i // 100))
        sub.mkdir(parents=True, exist_ok=True)
        (sub / ("%06d.dcm" % i)).write_bytes(dicom_file(i, pixel_bytes, ("CT", "MR", "US")[i % 3]))
    marker.write_text("%d %d\n" % (count, pixel_bytes))
    return True


PYDICOM = Path("/usr/lib/python3/dist-packages/pydicom/data/test_files")


def write_real_tree(folder, copies):
    """pydicom's test files (real files written by many tools, headers of tens to hundreds of
    elements) copied into `copies` folders; returns how many files the tree holds."""
    sources = sorted(p for p in PYDICOM.rglob("*.dcm") if p.is_file())
    marker = folder.with_suffix(".complete")
    expected = "%d %d\n" % (copies, len(sources))
    if not (marker.exists() and marker.read_text() == expected):
        shutil.rmtree(folder, ignore_errors=True)
        for copy in range(copies):
            sub = folder / ("copy%02d" % copy)
            sub.mkdir(parents=True)
            for i, source in enumerate(sources):
                shutil.copyfile(source, sub / ("%03d-%s" % (i, source.name)))
        marker.write_text(expected)
        print("bench: wrote %s (%d files)" % (folder.relative_to(ROOT), copies * len(sources)), flush=True)
    return copies * len(sources)


def hyperfine(commands, runs):
    """Median seconds of each shell command."""
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        argv = ["hyperfine", "--style", "none", "--warmup", "1", "--runs", str(runs), "--ignore-failure",
                "--export-json", out.name] + [c for _, c in commands]
        subprocess.run(argv, check=True, stdout=subprocess.DEVNULL)
        results = json.load(open(out.name))["results"]
    return {name: r["median"] for (name, _), r in zip(commands, results)}


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=int(os.environ.get("BENCH_RUNS", "3")))
    parser.add_argument("--small-files", type=int, default=20000)
    parser.add_argument("--large-files", type=int, default=200)
    parser.add_argument("--real-copies", type=int, default=30, help="copies of pydicom's test files in the real tree")
    parser.add_argument("--strict", action="store_true", help="exit 1 when a target is not met")
    args = parser.parse_args(argv)

    orveldump = BUILD / "cli" / "orveldump"
    tree_read = BUILD / "bench" / "tree_read"
    for program in (orveldump, tree_read):
        if not program.exists():
            subprocess.run(["cmake", "--build", str(BUILD), "--parallel", "2", "--target", program.name], check=True)
    trees = {"small": (DATA / "archive-small", args.small_files, 2048),
             "large": (DATA / "archive-large", args.large_files, 8 * 1024 * 1024)}
    for name, (folder, count, pixels) in trees.items():
        if write_tree(folder, count, pixels):
            print("bench: wrote %s (%d files)" % (folder.relative_to(ROOT), count), flush=True)
    if PYDICOM.is_dir():
        # Beside the generated files of nine elements: real headers, where a reader's work is in
        # the elements rather than in opening the file.
        folder = DATA / "archive-real"
        trees["real"] = (folder, write_real_tree(folder, args.real_copies), None)

    o = str(orveldump)
    lines = ["orveldump over trees (files per second, median of %d runs; %d cores)" % (args.runs, CORES), ""]
    targets = []
    for name, (folder, count, _) in trees.items():
        d = str(folder)
        commands = [
            ("cat of every file", "find %s -type f -print0 | xargs -0 cat > /dev/null" % d),
            ("read floor (one process)", "%s %s > /dev/null" % (tree_read, d)),
            ("dcmdump +sd", "dcmdump +sd +r %s > /dev/null 2>&1" % d),
            ("--quiet -r -j 1", "%s --quiet -r -j 1 %s" % (o, d)),
            ("--quiet -r -j %d" % CORES, "%s --quiet -r -j %d %s" % (o, CORES, d)),
            ("--check --json -r -j 1", "%s --check --json -r -j 1 %s > /dev/null" % (o, d)),
            ("--check --json -r -j %d" % CORES, "%s --check --json -r -j %d %s > /dev/null" % (o, CORES, d)),
            ("--quiet --summary -r -j 1", "%s --quiet --summary -r -j 1 %s > /dev/null" % (o, d)),
            ("--quiet --summary -r -j %d" % CORES, "%s --quiet --summary -r -j %d %s > /dev/null" % (o, CORES, d)),
        ]
        seconds = hyperfine(commands, args.runs)
        lines.append("%s tree: %d files" % (name, count))
        for label, _ in commands:
            lines.append("  %-32s %9.3f s %10.0f files/s" % (label, seconds[label], count / seconds[label]))
        lines.append("")
        quiet1, quietN = seconds["--quiet -r -j 1"], seconds["--quiet -r -j %d" % CORES]
        check1, checkN = seconds["--check --json -r -j 1"], seconds["--check --json -r -j %d" % CORES]
        targets += [
            ("%s: --quiet -r -j 1 against dcmdump +sd (at least 10x)" % name, seconds["dcmdump +sd"] / quiet1, 10, True),
            ("%s: --check --json -r -j %d over -j 1 (at least 1.7x on two cores)" % (name, CORES), check1 / checkN, 1.7, True),
            ("%s: --quiet -r -j %d over -j 1" % (name, CORES), quiet1 / quietN, None, True),
            # Reading the files and nothing else, in one process: what --quiet -r -j 1 could at
            # most be against dcmdump on this machine.
            ("%s: dcmdump +sd over the read floor (the most -j 1 can reach)" % name,
             seconds["dcmdump +sd"] / seconds["read floor (one process)"], None, True),
            ("%s: --quiet -r -j 1 over the read floor" % name, quiet1 / seconds["read floor (one process)"], None, True),
            ("%s: --check --json -r -j %d over the cat floor (at most 1.2x)" % (name, CORES),
             checkN / seconds["cat of every file"], 1.2, False),
        ]
    lines.append("Targets (ratios in this run):")
    missed = False
    for label, value, limit, at_least in targets:
        met = None if limit is None else (value >= limit if at_least else value <= limit)
        missed = missed or met is False
        lines.append("  %-70s %6.2fx  %s" % (label, value, "report only" if met is None else "MET" if met else "NOT MET"))
    text_out = "\n".join(lines) + "\n"
    print(text_out, end="")
    RESULTS.mkdir(parents=True, exist_ok=True)
    (RESULTS / "archive.txt").write_text(text_out)
    return 1 if args.strict and missed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
