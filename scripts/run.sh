#!/bin/bash
# Builds the native orveldump and runs it on a DICOM file (until the Windows
# viewer exists; then this opens orvelhex64.exe under Wine instead):
#   scripts/run.sh [FILE]        (default: samples/sample.dcm)
set -euo pipefail
cd "$(dirname "$0")/.."

file="${1:-samples/sample.dcm}"
if [ ! -f "$file" ]; then
    echo "make run: no such file: $file" >&2
    if [ "$file" = samples/sample.dcm ]; then
        echo "make run: the bundled sample is not in the tree yet; give one with FILE=path" >&2
    fi
    exit 1
fi

/usr/bin/python3 scripts/build_and_test.py --configs native --target orveldump
exec build/native/cli/orveldump "$file"
