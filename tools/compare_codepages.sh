#!/bin/sh
# Compares the code-page layer of the native build (iconv) with the Windows build under
# Wine (MultiByteToWideChar): both print what they make of ~880,000 byte sequences
# (tools/codepage_dump.cpp) and the outputs must be the same.
#
# Usage: tools/compare_codepages.sh [work folder]   (default: a new folder under /tmp)
# Needs g++, x86_64-w64-mingw32-g++-posix and wine64. Prints the differing lines and ends
# with "N lines differ"; exits 1 when any do.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$(mktemp -d /tmp/orvel-codepages.XXXXXX)}
mkdir -p "$work"
sources="$root/tools/codepage_dump.cpp $root/dicom/text/CharacterSet.cpp"
flags="-std=c++17 -O2 -I$root"

g++ $flags -o "$work/dump" $sources "$root/dicom/text/codepage_posix.cpp"
x86_64-w64-mingw32-g++-posix $flags -static -o "$work/dump.exe" $sources "$root/dicom/text/codepage_win32.cpp"

"$work/dump" > "$work/native.txt"
WINEPREFIX=${WINEPREFIX:-$work/wineprefix} WINEDEBUG=-all /usr/lib/wine/wine64 "$work/dump.exe" \
    | tr -d '\r' > "$work/wine.txt"

differing=$(diff "$work/native.txt" "$work/wine.txt" | grep -c '^<' || true)
diff "$work/native.txt" "$work/wine.txt" | head -50 || true
echo "$(wc -l < "$work/native.txt") lines compared in $work; $differing lines differ"
[ "$differing" -eq 0 ]
