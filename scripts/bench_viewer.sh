#!/bin/bash
# The viewer's side of `make bench`: builds the Windows benchmarks and runs them under Wine on
# a private Xvfb display:
#   - viewer_bench: the real dialog on the 200,000-element file (open until the tree is shown,
#     opening the node with 20,000 children, clicks in the hex view until the property list is
#     filled) and its peak memory with the 500 MiB frames file open;
#   - hexedit_paint_bench: the hex view's paint for a 1 KiB and a 1 GiB buffer.
# The files come from build/bench-data, which `scripts/bench.py run` writes first.
#   scripts/bench_viewer.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rounds="${1:-5}"
data="$root/build/bench-data"
elements="$data/elements-explicit.dcm"
frames="$data/frames-native.dcm"
for file in "$elements" "$frames"; do
    if [ ! -f "$file" ]; then
        echo "bench_viewer.sh: $file is missing; scripts/bench.py run writes it" >&2
        exit 1
    fi
done

/usr/bin/python3 scripts/build_and_test.py --configs win64 --target viewer_bench
/usr/bin/python3 scripts/build_and_test.py --configs win64 --target hexedit_paint_bench
prefix="$root/build/win64/wineprefix"
results="$root/build/bench/results"
mkdir -p "$results"

echo
echo "== The viewer under Wine =="
env -u DISPLAY xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp" \
    cmake/wine-run.sh "$prefix" "$root/build/win64/tests/gui/viewer_bench.exe" \
    "$elements" "$frames" --rounds "$rounds" 2>/dev/null | tee "$results/viewer.txt"
echo
env -u DISPLAY xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp" \
    cmake/wine-run.sh "$prefix" "$root/build/win64/tests/gui/hexedit_paint_bench.exe" \
    2>/dev/null | tee "$results/hexedit-paint.txt"
