#!/usr/bin/env python3
"""Checks that the core in dicom/ is layered: every file lies in one layer folder, includes
only its own layer and those below it, and no two units include each other in a circle.

    python3 tools/check_layers.py [--root REPOSITORY]

A unit is a header with its sources (Foo.h, Foo.cpp, Foo_posix.cpp, Foo_win32.cpp); a source
without a header of its own is a unit alone. Prints the layers with their units, the edges
between layers (how many includes each) and every violation; exits 1 when there is one.
"""

import argparse
import re
import sys
from collections import defaultdict
from pathlib import Path

# From the bottom up: each layer may include its own and those before it.
LAYERS = ["io", "dictionary", "text", "model", "read", "analysis"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
PLATFORM_SUFFIX = re.compile(r"_(posix|win32)$")


def unit_of(path, headers):
    """The unit a file belongs to: its header's path without extension."""
    stem = PLATFORM_SUFFIX.sub("", path.stem)
    for header in headers.get(path.parent, []):
        if header.stem.lower() == stem.lower():
            return header.with_suffix("")
    return path.with_suffix("")


def scan(root):
    core = root / "dicom"
    files = sorted(p for p in core.rglob("*") if p.suffix in (".h", ".cpp"))
    headers = defaultdict(list)
    for p in files:
        if p.suffix == ".h":
            headers[p.parent].append(p)
    problems = []
    layer_of = {}
    for p in files:
        relative = p.relative_to(core)
        if len(relative.parts) != 2 or relative.parts[0] not in LAYERS:
            problems.append("%s lies in no layer (%s)" % (p.relative_to(root), ", ".join(LAYERS)))
            continue
        layer_of[p] = relative.parts[0]

    unit_edges = defaultdict(set)
    layer_edges = defaultdict(int)
    units = defaultdict(set)
    for p, layer in layer_of.items():
        unit = unit_of(p, headers)
        units[layer].add(unit)
        for name in INCLUDE.findall(p.read_text(encoding="utf-8", errors="replace")):
            target = None
            for candidate in (root / name, p.parent / name):
                if candidate.is_file():
                    target = candidate.resolve()
                    break
            if target is None or core.resolve() not in target.parents:
                continue  # not part of the core (system or test headers)
            target = Path(target)
            target_file = next((f for f in layer_of if f.resolve() == target), None)
            if target_file is None:
                problems.append("%s includes %s, which lies in no layer" % (p.relative_to(root), name))
                continue
            target_layer = layer_of[target_file]
            if LAYERS.index(target_layer) > LAYERS.index(layer):
                problems.append("%s (%s) includes %s, a layer above it (%s)"
                                % (p.relative_to(root), layer, name, target_layer))
            if target_layer != layer:
                layer_edges[(layer, target_layer)] += 1
            target_unit = unit_of(target_file, headers)
            if target_unit != unit:
                unit_edges[unit].add(target_unit)
    for cycle in cycles(unit_edges):
        problems.append("include cycle among " + ", ".join(str(u.relative_to(core)) for u in cycle))
    return units, layer_edges, problems


def cycles(edges):
    """The units that include each other in a circle: each strongly connected component of more
    than one unit, sorted."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = [0]
    nodes = set(edges) | {t for targets in edges.values() for t in targets}

    def visit(node):
        # Iterative Tarjan: (node, iterator over its successors).
        work = [(node, iter(sorted(edges.get(node, ()))))]
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        while work:
            current, successors = work[-1]
            advanced = False
            for successor in successors:
                if successor not in index:
                    index[successor] = low[successor] = counter[0]
                    counter[0] += 1
                    stack.append(successor)
                    on_stack.add(successor)
                    work.append((successor, iter(sorted(edges.get(successor, ())))))
                    advanced = True
                    break
                if successor in on_stack:
                    low[current] = min(low[current], index[successor])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[current])
            if low[current] == index[current]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == current:
                        break
                if len(component) > 1:
                    found.append(sorted(component))

    for node in sorted(nodes):
        if node not in index:
            visit(node)
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", type=Path, default=Path(__file__).resolve().parent.parent)
    args = parser.parse_args()
    root = args.root.resolve()
    units, layer_edges, problems = scan(root)
    core = root / "dicom"
    print("layers, from the bottom up:")
    for layer in LAYERS:
        names = sorted(str(u.relative_to(core / layer)) for u in units.get(layer, ()))
        print("  %-11s %s" % (layer + "/", " ".join(names)))
    print("edges between layers (includes):")
    for (source, target), count in sorted(layer_edges.items(), key=lambda e: (LAYERS.index(e[0][0]), LAYERS.index(e[0][1]))):
        print("  %s -> %s: %d" % (source, target, count))
    for problem in problems:
        print("error: " + problem)
    print("%d problem%s" % (len(problems), "" if len(problems) == 1 else "s"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
