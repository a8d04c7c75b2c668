#!/bin/sh
# Builds the libFuzzer harnesses (fuzz/, clang with ASan+UBSan) and runs each for a bounded time
# on its seed corpus. Fails on any finding: a crash, a sanitizer report, a broken check in a
# harness, a leak, a time-out or running out of memory. Findings are kept in build-fuzz/findings/.
#
#   scripts/fuzz.sh              30 s per harness, as CI runs it
#   scripts/fuzz.sh 3600         an hour per harness
#   scripts/fuzz.sh 600 multipart_fuzz
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift $(( $# > 0 ? 1 : 0 ))
harnesses=${*:-"clipboard_picture_fuzz upload_answer_fuzz image_kind_fuzz multipart_fuzz
    image_structure_fuzz stored_name_fuzz options_fuzz"}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

mkdir -p build-fuzz/findings
failed=0
for harness in $harnesses; do
    # New inputs go to a working corpus in the build tree; the seeds in the repository are only
    # read, so they stay small.
    corpus=build-fuzz/corpus/$harness
    log=build-fuzz/$harness.log
    mkdir -p "$corpus"
    if build-fuzz/fuzz/"$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 \
        -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$harness"- \
        "$corpus" fuzz/corpus/"$harness" >"$log" 2>&1; then
        result=ok
    else
        result=FINDING
        failed=$((failed + 1))
        tail -n 40 "$log"
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "$result $harness: ${runs:-?} runs in ${took:-?} s, ${rate:-?} execs/s"
done
[ "$failed" -eq 0 ] || { echo "fuzz.sh: $failed harness(es) found something" >&2; exit 1; }
