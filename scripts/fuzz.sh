#!/bin/bash
# Fuzzes the parse and the value display with libFuzzer for the given number of seconds, on
# one core at low priority:  scripts/fuzz.sh SECONDS   (make fuzz SECONDS=3600)
# scripts/fuzz.sh SECONDS pair  fuzzes the diff of two files instead (pair_fuzzer: its inputs
# are a 4-byte length, file A, file B; corpus build/fuzz-pair/, seeds written in pairs).
#
# Needs the asan configuration built (make fuzz does that). The corpus grows in
# build/fuzz/corpus and is kept between runs; the seeds are the files in tests/fuzz/seeds, the
# test writer's corpus and pydicom's data files up to 64 KiB where python3-pydicom is
# installed. The run stops at the first finding, which is written to build/fuzz/findings/
# (crash-*, leak-*, oom-*, timeout-*); replay one with
#   build/asan/tests/parse_fuzzer build/fuzz/findings/crash-...
set -euo pipefail

seconds="${1:-600}"
target="${2:-parse}"
root="$(cd "$(dirname "$0")/.." && pwd)"
fuzzer="$root/build/asan/tests/${target}_fuzzer"
write_seeds="$root/build/asan/tests/write_seeds"
out="$root/build/fuzz"
pairs=""
if [ "$target" = pair ]; then
    out="$root/build/fuzz-pair"
    pairs="--pairs"
elif [ "$target" != parse ]; then
    echo "fuzz.sh: unknown target $target (parse or pair)" >&2
    exit 2
fi
pydicom=/usr/lib/python3/dist-packages/pydicom/data

if [ ! -x "$fuzzer" ] || [ ! -x "$write_seeds" ]; then
    echo "fuzz.sh: $fuzzer is missing; build the asan configuration first (make fuzz)" >&2
    exit 1
fi

mkdir -p "$out/corpus" "$out/findings" "$out/seeds"
"$write_seeds" $pairs "$out/seeds"
if [ -d "$pydicom" ] && [ -z "$pairs" ]; then
    find "$pydicom" -type f -size -64k ! -name '*.py' ! -name '*.pyc' ! -name '*.json' -print0 |
        while IFS= read -r -d '' file; do
            cp "$file" "$out/seeds/pydicom-$(basename "$file")"
        done
fi
# Pairs of pydicom's files that hold the same data in other encodings.
if [ -d "$pydicom" ] && [ -n "$pairs" ]; then
    for file in "$pydicom"/test_files/MR_small*.dcm "$pydicom"/test_files/rtplan*.dcm; do
        /usr/bin/python3 -c 'import struct, sys
a, b = (open(p, "rb").read() for p in sys.argv[1:3])
sys.stdout.buffer.write(struct.pack("<I", len(a)) + a + b)' "$pydicom/test_files/MR_small.dcm" "$file" \
            > "$out/seeds/pydicom-pair-$(basename "$file")"
    done
fi

echo "fuzz.sh: fuzzing for $seconds s; corpus $out/corpus, findings $out/findings"
# -malloc_limit_mb: no input of 64 KiB may make the parse or the display ask for a block of
# 64 MiB; -timeout: no input may take 30 s (generous: at low priority on a busy machine the
# fuzzer can be starved for seconds).
status=0
nice -n 10 "$fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=30 -rss_limit_mb=2048 \
    -malloc_limit_mb=64 -dict="$root/tests/fuzz/dicom.dict" -artifact_prefix="$out/findings/" \
    -print_final_stats=1 "$out/corpus" $([ -z "$pairs" ] && echo "$root/tests/fuzz/seeds") "$out/seeds" || status=$?
if [ "$status" -ne 0 ]; then
    echo "fuzz.sh: the fuzzer stopped on a finding (exit $status); see $out/findings" >&2
fi
exit "$status"
