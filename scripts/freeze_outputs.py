#!/usr/bin/python3
"""Freezes what orveldump prints in every mode over many files, to prove a refactoring
changes no output.

    freeze_outputs.py write  --orveldump PROGRAM --out FROZEN.json [--variants N]
    freeze_outputs.py check  --orveldump PROGRAM --frozen FROZEN.json [--variants N]

The inputs are pydicom's data files, the fuzz seeds (tests/fuzz/seeds) and, for each of
them, N cut and N flipped variants (default 24 each: the file cut at spread lengths, and
copies with one or a few bytes changed at positions drawn from a generator seeded by the
file's name, so every run makes the same bytes). The variants are written to a temporary
folder. Each mode runs once over all variants of one input, and its standard output,
standard error and exit status are hashed together: one digest per input and mode.

Modes: --json, the listing, --check --json, --check (listing), --at at a few offsets,
--tag, --redact (listing and --json), --regions, --diff of each variant against its
original (--json and listing).

check prints every input and mode whose digest changed and exits 1 when any did.
"""

import argparse
import hashlib
import json
import random
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
PYDICOM_DATA = Path("/usr/lib/python3/dist-packages/pydicom/data")
SKIPPED_SUFFIXES = {".py", ".pyc", ".json", ".txt", ".md"}
MAX_INPUT = 4 * 1024 * 1024


def inputs():
    files = []
    for folder in (PYDICOM_DATA, ROOT / "tests" / "fuzz" / "seeds"):
        if folder.is_dir():
            files += [p for p in sorted(folder.rglob("*"))
                      if p.is_file() and p.suffix not in SKIPPED_SUFFIXES and p.stat().st_size <= MAX_INPUT]
    return files


def variants(data, name, count):
    """The cut and flipped copies of one input, the same bytes on every run."""
    rng = random.Random(name)
    out = [data]
    size = len(data)
    if size == 0:
        return out
    cuts = sorted({max(0, min(size - 1, (size * k) // count)) for k in range(count)} |
                  {min(size - 1, n) for n in (128, 132, 144, 200)})
    out += [data[:cut] for cut in cuts]
    for _ in range(count):
        copy = bytearray(data)
        for _ in range(rng.choice((1, 1, 2, 4))):
            copy[rng.randrange(size)] = rng.choice((0x00, 0xFF, rng.randrange(256)))
        out.append(bytes(copy))
    return out


def modes(paths, original):
    """(mode name, argument list) for one input's variant paths."""
    files = [str(p) for p in paths]
    size = original.stat().st_size
    at_offsets = sorted({0, 128, 132, 140, size // 2, max(size - 1, 0), size + 5})
    result = [
        ("json", ["--json"] + files),
        ("listing", files),
        ("check-json", ["--check", "--json"] + files),
        ("check", ["--check"] + files),
        ("tag", ["--tag", "PatientName", "--tag", "0028,0010", "--tag", "7FE0,0010"] + files),
        ("tag-json", ["--json", "--redact", "--tag", "PatientName", "--tag", "0008,0016"] + files),
        ("redact", ["--redact"] + files),
        ("redact-json", ["--redact", "--json"] + files),
        ("redact-check", ["--redact", "--check", "--json"] + files),
        ("regions", ["--regions"] + files),
    ]
    for offset in at_offsets:
        result.append((f"at-{offset}", ["--json", "--at", str(offset)] + files))
        result.append((f"at-listing-{offset}", ["--at", hex(offset)] + files))
    return result


def digest_of(orveldump, argv, folder):
    # Run in the temporary folder with the variants named relative to it: outputs name their
    # files, and the folder's own name differs on every run.
    run = subprocess.run([orveldump] + argv, capture_output=True, timeout=300, cwd=folder)
    h = hashlib.sha256()
    h.update(run.stdout)
    h.update(b"\0stderr\0")
    h.update(run.stderr)
    h.update(f"\0status {run.returncode}".encode())
    return h.hexdigest()


def freeze(orveldump, count):
    orveldump = str(Path(orveldump).resolve())
    result = {}
    with tempfile.TemporaryDirectory(prefix="freeze-") as tmp:
        for index, original in enumerate(inputs()):
            key = str(original.relative_to(original.anchor))
            data = original.read_bytes()
            folder = Path(tmp) / str(index)
            folder.mkdir()
            paths = []
            for number, copy in enumerate(variants(data, key, count)):
                path = folder / f"v{number:03d}.dcm"
                path.write_bytes(copy)
                paths.append(path.relative_to(tmp))
            entry = {name: digest_of(orveldump, argv, tmp) for name, argv in modes(paths, original)}
            # The diff takes two files: each variant against the original, in one digest.
            for name, extra in (("diff-json", ["--json"]), ("diff", [])):
                h = hashlib.sha256()
                for path in paths[1:]:
                    h.update(digest_of(orveldump, extra + ["--diff", str(paths[0]), str(path)], tmp).encode())
                entry[name] = h.hexdigest()
            entry["variants"] = len(paths)
            result[key] = entry
    return result


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=("write", "check"))
    parser.add_argument("--orveldump", required=True)
    parser.add_argument("--out")
    parser.add_argument("--frozen")
    parser.add_argument("--variants", type=int, default=24)
    args = parser.parse_args(argv)
    frozen_now = freeze(args.orveldump, args.variants)
    files = sum(e["variants"] for e in frozen_now.values())
    if args.action == "write":
        if not args.out:
            parser.error("write needs --out")
        Path(args.out).write_text(json.dumps(frozen_now, indent=1, sort_keys=True) + "\n")
        print(f"froze {len(frozen_now)} inputs, {files} files, {len(next(iter(frozen_now.values()))) - 1} modes each")
        return 0
    if not args.frozen:
        parser.error("check needs --frozen")
    before = json.loads(Path(args.frozen).read_text())
    changed = []
    for key in sorted(set(before) | set(frozen_now)):
        old, new = before.get(key, {}), frozen_now.get(key, {})
        for mode in sorted(set(old) | set(new)):
            if old.get(mode) != new.get(mode):
                changed.append(f"{key}: {mode}")
    for line in changed:
        print("changed:", line)
    print(f"{len(frozen_now)} inputs, {files} files: {len(changed)} outputs changed")
    return 1 if changed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
