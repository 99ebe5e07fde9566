#!/bin/bash
# Builds the 64-bit viewer and opens it under Wine on a DICOM file:
#   scripts/run.sh [FILE]        (default: samples/sample.dcm)
# With a display ($DISPLAY) the viewer stays open until you close it. Without
# one it runs on a private Xvfb display, writes a screenshot of the screen to
# build/win64/screenshots/run.png, says where, and ends the viewer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

file="${1:-samples/sample.dcm}"
if [ ! -f "$file" ]; then
    echo "make run: no such file: $file" >&2
    exit 1
fi
# Wine sees the Unix file system as drive Z:.
winpath="Z:$(realpath "$file" | sed 's|/|\\|g')"

/usr/bin/python3 scripts/build_and_test.py --configs win64 --target orvelhex64
exe="$root/build/win64/app/orvelhex64.exe"
prefix="$root/build/win64/wineprefix"

if [ -n "${DISPLAY:-}" ]; then
    # A desktop with its own window manager: the viewer's window is managed by it.
    ORVEL_WINE_MANAGED=Y exec cmake/wine-run.sh "$prefix" "$exe" "$winpath"
fi
# The private display below has no window manager.
export ORVEL_WINE_MANAGED=N

shots="$root/build/win64/screenshots"
mkdir -p "$shots"
shot="$shots/run.png"
rm -f "$shot"

# Runs inside xvfb-run: starts the viewer, waits for its window, takes the
# screenshot and closes the viewer.
inner=$(cat <<'INNER'
set -u
exe="$1"; prefix="$2"; winpath="$3"; shot="$4"
cmake/wine-run.sh "$prefix" "$exe" "$winpath" &
viewer=$!
title="Orvel DICOM Hexadecimal Viewer"
for _ in $(seq 1 120); do
    if command -v xwininfo >/dev/null; then
        xwininfo -root -tree 2>/dev/null | grep -q "\"$title\"" && break
    elif [ "$_" -ge 20 ]; then
        break
    fi
    sleep 0.5
done
# Time for the file to be read and the tree and hex view painted.
sleep 3
import -window root "$shot"
status=$?
WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
wait "$viewer" 2>/dev/null || true
exit $status
INNER
)
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp" \
    bash -c "$inner" run "$exe" "$prefix" "$winpath" "$shot"
echo "make run: no display; the viewer on $file is in $shot"
