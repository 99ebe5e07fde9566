#!/bin/bash
# Fuzzes the parse and the value display with libFuzzer for the given number of seconds, on
# one core at low priority:  scripts/fuzz.sh SECONDS   (make fuzz SECONDS=3600)
#
# Needs the asan configuration built (make fuzz does that). The corpus grows in
# build/fuzz/corpus and is kept between runs; the seeds are the files in tests/fuzz/seeds, the
# test writer's corpus and pydicom's data files up to 64 KiB where python3-pydicom is
# installed. The run stops at the first finding, which is written to build/fuzz/findings/
# (crash-*, leak-*, oom-*, timeout-*); replay one with
#   build/asan/tests/parse_fuzzer build/fuzz/findings/crash-...
set -euo pipefail

seconds="${1:-600}"
root="$(cd "$(dirname "$0")/.." && pwd)"
fuzzer="$root/build/asan/tests/parse_fuzzer"
write_seeds="$root/build/asan/tests/write_seeds"
out="$root/build/fuzz"
pydicom=/usr/lib/python3/dist-packages/pydicom/data

if [ ! -x "$fuzzer" ] || [ ! -x "$write_seeds" ]; then
    echo "fuzz.sh: $fuzzer is missing; build the asan configuration first (make fuzz)" >&2
    exit 1
fi

mkdir -p "$out/corpus" "$out/findings" "$out/seeds"
"$write_seeds" "$out/seeds"
if [ -d "$pydicom" ]; then
    find "$pydicom" -type f -size -64k ! -name '*.py' ! -name '*.pyc' ! -name '*.json' -print0 |
        while IFS= read -r -d '' file; do
            cp "$file" "$out/seeds/pydicom-$(basename "$file")"
        done
fi

echo "fuzz.sh: fuzzing for $seconds s; corpus $out/corpus, findings $out/findings"
# -malloc_limit_mb: no input of 64 KiB may make the parse or the display ask for a block of
# 64 MiB; -timeout: no input may take 30 s (generous: at low priority on a busy machine the
# fuzzer can be starved for seconds).
status=0
nice -n 10 "$fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=30 -rss_limit_mb=2048 \
    -malloc_limit_mb=64 -dict="$root/tests/fuzz/dicom.dict" -artifact_prefix="$out/findings/" \
    -print_final_stats=1 "$out/corpus" "$root/tests/fuzz/seeds" "$out/seeds" || status=$?
if [ "$status" -ne 0 ]; then
    echo "fuzz.sh: the fuzzer stopped on a finding (exit $status); see $out/findings" >&2
fi
exit "$status"
