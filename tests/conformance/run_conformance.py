#!/usr/bin/python3
"""Compare `orveldump --json` with an independent pydicom reading.

    run_conformance.py --orveldump PATH [--corpus DIR ...] [-v]
    run_conformance.py --dump-reference FILE ...
    run_conformance.py --list-corpus [--corpus DIR ...]

Every DICOM file under the corpus folders is parsed by orveldump and read by
pydicom (reference.py).  Files the viewer refuses must be listed with their
reason in refused.txt; implicit-VR elements whose VR the two dictionaries
give differently must be listed in vr_differences.txt.  One line is printed
per failing file, then "N passed, N failed"; the exit status is 0 only when
no file failed.
"""

import argparse
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from reference import (PADDED_VRS, UNDEFINED, reference,  # noqa: E402
                       stored_size)

DEFAULT_CORPUS = "/usr/lib/python3/dist-packages/pydicom/data"
BATCH = 40
MAX_DIFFERENCES = 5
REFUSAL_ERROR = "Invalid DICOM file"

# What is not a DICOM file in the corpus folders, by name.
SKIPPED_SUFFIXES = {
    ".py": "Python source", ".pyc": "compiled Python",
    ".txt": "text", ".md": "text", ".json": "JSON",
    ".dump": "text dump of a DICOM file", ".gz": "gzip archive",
}


# -- corpus -------------------------------------------------------------

def is_dicom_candidate(path):
    """(True, None) for a file to test, else (False, why it is skipped)."""
    name = os.path.basename(path)
    suffix = os.path.splitext(name)[1].lower()
    if suffix == ".dcm":
        return True, None
    if suffix in SKIPPED_SUFFIXES:
        return False, SKIPPED_SUFFIXES[suffix]
    with open(path, "rb") as f:
        head = f.read(132)
    if head[128:132] == b"DICM":
        return True, None
    return False, "neither .dcm nor \"DICM\" at offset 128"


def collect_corpus(dirs):
    """([(root, relative path)], [(relative path, reason)]) in a stable order."""
    files, skipped = [], []
    for root in dirs:
        for folder, subdirs, names in os.walk(root):
            subdirs[:] = sorted(d for d in subdirs if d != "__pycache__")
            for name in sorted(names):
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root)
                take, why = is_dicom_candidate(path)
                if take:
                    files.append((root, rel))
                else:
                    skipped.append((rel, why))
    return files, skipped


# -- expectation files ----------------------------------------------------

def read_table(path):
    """Non-blank, non-comment lines split into (first word, rest)."""
    rows = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if line and not line.startswith("#"):
                rows.append((number, line))
    return rows


def load_refused(path):
    """{relative path: reason}; a path listed twice is an error."""
    refused = {}
    for number, line in read_table(path):
        rel, _, reason = line.partition(" ")
        reason = reason.strip()
        if not reason:
            raise ValueError("%s:%d: a refused file needs a reason" % (path, number))
        if rel in refused:
            raise ValueError("%s:%d: %s listed twice" % (path, number, rel))
        refused[rel] = reason
    return refused


def load_vr_differences(path):
    """{(tag, pydicom VR): our VR} for implicit-VR elements."""
    table = {}
    for number, line in read_table(path):
        words = line.split(None, 3)
        if len(words) < 4:
            raise ValueError("%s:%d: expected TAG PYDICOM-VR OUR-VR REASON"
                             % (path, number))
        tag, theirs, ours, _reason = words
        table[(tag.upper(), theirs)] = "" if ours == '""' else ours
    return table


# -- comparison -----------------------------------------------------------

FILE_KEYS = ("fileSize", "hasPreamble", "explicitVR", "littleEndian",
             "trailingBytes")
NODE_KEYS = ("tagOffset", "dataOffset", "size", "lastByte")

US_SS_BY_PIXEL_REPRESENTATION = range(0x00280104, 0x00280112)


class Comparison:
    """Differences between orveldump's parse and the reference of one file."""

    def __init__(self, vr_differences):
        self.vr_differences = vr_differences
        self.differences = []
        self.pixel_representation = None

    def add(self, text):
        self.differences.append(text)

    def full(self):
        return len(self.differences) >= MAX_DIFFERENCES

    def files(self, ours, ref):
        for key in FILE_KEYS:
            if ours.get(key) != ref.get(key):
                self.add("%s: ours %s, reference %s"
                         % (key, json.dumps(ours.get(key)), json.dumps(ref.get(key))))
        self.pixel_representation = ref.get("pixelRepresentation")
        self.nodes(ours.get("elements", []), ref["elements"], "")

    def nodes(self, ours, ref, where):
        for index in range(max(len(ours), len(ref))):
            if self.full():
                return
            if index >= len(ours):
                self.add("%s: missing %s at %d (and %d more)" % (
                    where or "top level", ref[index]["tag"], ref[index]["tagOffset"],
                    len(ref) - index - 1))
                return
            if index >= len(ref):
                self.add("%s: extra %s at %s (and %d more)" % (
                    where or "top level", ours[index].get("tag"),
                    ours[index].get("tagOffset"), len(ours) - index - 1))
                return
            self.node(ours[index], ref[index], where, index)

    def node(self, ours, ref, where, index):
        tag = ref["tag"]
        here = "%s/%s" % (where, tag) if tag != "FFFE,E000" \
            else "%s[%d]" % (where, index)
        if ours.get("tag") != tag:
            self.add("%s: ours %s at %s, reference %s at %d" % (
                here, ours.get("tag"), ours.get("tagOffset"), tag, ref["tagOffset"]))
            return
        vr = self.expected_vr(ours.get("vr"), ref, where == "")
        if ours.get("vr") != vr:
            self.add("%s: vr ours %s, reference %s" % (here, json.dumps(ours.get("vr")),
                                                      json.dumps(vr)))
        expected = dict((key, ref[key]) for key in NODE_KEYS)
        if vr != ref["vr"]:
            expected["size"] = stored_size(ref["valueLength"], vr)
        for key in NODE_KEYS:
            if ours.get(key) != expected[key]:
                self.add("%s: %s ours %s, reference %s" % (
                    here, key, ours.get(key), expected[key]))
        # Every node shows a value text; an item's is empty.
        value = ours.get("value")
        if not isinstance(value, str) or (tag == "FFFE,E000" and value != ""):
            self.add("%s: value %s" % (here, json.dumps(value)))
        self.nodes(ours.get("children", []), ref["children"], here)

    def expected_vr(self, our_vr, ref, top_level):
        """The VR orveldump should give, allowing for documented differences."""
        vr = ref["vr"]
        tag = int(ref["tag"].replace(",", ""), 16)
        # The viewer makes the VR of the smallest/largest pixel value
        # elements follow Pixel Representation, whatever the file says.
        if (top_level and tag in US_SS_BY_PIXEL_REPRESENTATION
                and vr in ("US", "SS") and self.pixel_representation is not None):
            return "SS" if self.pixel_representation > 0 else "US"
        if not ref.get("implicitVR"):
            return vr
        allowed = self.vr_differences.get((ref["tag"], vr))
        if allowed is not None and our_vr == allowed:
            return allowed
        return vr


def compare(ours, ref, expected_refusal, vr_differences):
    """A list of differences; empty when orveldump agrees."""
    loaded = ours.get("loaded")
    if expected_refusal is not None:
        if loaded is not False:
            return ["accepted, but refused.txt expects a refusal (%s)" % expected_refusal]
        if ours.get("error") != REFUSAL_ERROR:
            return ["refused with error %s" % json.dumps(ours.get("error"))]
        return []
    if loaded is not True:
        why = ref.get("error") if not ref.get("loaded") else "reference reads it"
        return ["refused (%s), not listed in refused.txt; reference: %s"
                % (ours.get("error"), why)]
    if not ref.get("loaded"):
        return ["accepted, but the reference cannot read it: %s" % ref.get("error")]
    comparison = Comparison(vr_differences)
    comparison.files(ours, ref)
    return comparison.differences


# -- running orveldump ----------------------------------------------------

def run_orveldump(orveldump, paths):
    """{path: parsed JSON object}; files it gave no line for are missing."""
    results = {}
    for start in range(0, len(paths), BATCH):
        batch = paths[start:start + BATCH]
        results.update(run_batch(orveldump, batch))
        missing = [p for p in batch if p not in results]
        if missing and len(batch) > 1:
            # A crash loses the rest of a batch: ask for each file alone.
            for path in missing:
                results.update(run_batch(orveldump, [path]))
    return results


def run_batch(orveldump, paths):
    try:
        proc = subprocess.run([orveldump, "--json"] + paths, capture_output=True,
                              timeout=300)
    except subprocess.TimeoutExpired:
        return {}
    results = {}
    for line in proc.stdout.decode("utf-8", "replace").splitlines():
        line = line.strip()
        if not line:
            continue
        try:
            obj = json.loads(line)
        except ValueError:
            continue
        if isinstance(obj, dict) and obj.get("file") in paths:
            results[obj["file"]] = obj
    if proc.returncode != 0 and len(paths) == 1 and paths[0] not in results:
        results[paths[0]] = {"file": paths[0], "crashed": proc.returncode,
                             "stderr": proc.stderr.decode("utf-8", "replace")[-300:]}
    return results


def run(args):
    corpus = args.corpus or [DEFAULT_CORPUS]
    refused = load_refused(args.refused)
    vr_differences = load_vr_differences(args.vr_differences)
    files, skipped = collect_corpus(corpus)
    if args.verbose:
        for rel, why in skipped:
            print("skipped %s: %s" % (rel, why))
    listed = set(rel for _root, rel in files)
    stale = sorted(set(refused) - listed)
    paths = [os.path.join(root, rel) for root, rel in files]
    ours = run_orveldump(args.orveldump, paths)

    passed = failed = 0
    for (root, rel), path in zip(files, paths):
        result = ours.get(path)
        if result is None:
            differences = ["orveldump printed no line for it"]
        elif "crashed" in result:
            differences = ["orveldump exited with %s: %s" % (result["crashed"],
                                                             result["stderr"].strip())]
        else:
            differences = compare(result, reference(path), refused.get(rel),
                                  vr_differences)
        if differences:
            failed += 1
            print("FAIL %s: %s" % (rel, "; ".join(differences)))
        else:
            passed += 1
            if args.verbose:
                print("ok   %s%s" % (rel, " (refused: %s)" % refused[rel]
                                      if rel in refused else ""))
    for rel in stale:
        failed += 1
        print("FAIL %s: listed in refused.txt but not in the corpus" % rel)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--orveldump", help="path of the orveldump program")
    parser.add_argument("--corpus", action="append",
                        help="folder of DICOM files (default: pydicom's data)")
    parser.add_argument("--refused", default=os.path.join(HERE, "refused.txt"))
    parser.add_argument("--vr-differences",
                        default=os.path.join(HERE, "vr_differences.txt"))
    parser.add_argument("--dump-reference", nargs="+", metavar="FILE",
                        help="print the reference JSON of each FILE and stop")
    parser.add_argument("--list-corpus", action="store_true",
                        help="print the files tested and skipped, and stop")
    parser.add_argument("-v", "--verbose", action="store_true")
    args = parser.parse_args(argv)
    if args.dump_reference:
        for path in args.dump_reference:
            print(json.dumps(reference(path)))
        return 0
    if args.list_corpus:
        files, skipped = collect_corpus(args.corpus or [DEFAULT_CORPUS])
        for _root, rel in files:
            print("test %s" % rel)
        for rel, why in skipped:
            print("skip %s: %s" % (rel, why))
        return 0
    if not args.orveldump:
        parser.error("--orveldump is required")
    return run(args)


if __name__ == "__main__":
    sys.exit(main())
