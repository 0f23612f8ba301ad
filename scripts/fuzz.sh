#!/usr/bin/env bash
# Runs the libFuzzer targets long, one after another (never two at once), in
# build-fuzz (clang, AddressSanitizer + UBSan), and reports the executions of
# each. Inputs it finds go to build-fuzz/long/TARGET/corpus; a crash, hang or
# leak leaves its input in build-fuzz/long/TARGET/ and makes the status 1.
#
#   scripts/fuzz.sh [RUNS [TARGET...]]     RUNS defaults to 10000000
#   FUZZ_MAX_SECONDS=S scripts/fuzz.sh ... also stops each target after S seconds
#
# The fuzzers run at the lowest priority so they never slow a build or a
# test run on the same machine. A busy machine can then hold one input back
# for seconds, so an input counts as a hang only after a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
halvik_install_deps test

runs=${1:-10000000}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=($(ls fuzz/corpus))
fi

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DHALVIK_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

status=0
for t in "${targets[@]}"; do
    work=build-fuzz/long/$t
    mkdir -p "$work/corpus"
    log=$work/log.txt
    start=$(date +%s)
    if nice -n 19 "build-fuzz/fuzz/$t" -runs="$runs" -max_total_time="${FUZZ_MAX_SECONDS:-0}" \
        -timeout=60 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "fuzz/corpus/$t" \
        >"$log" 2>&1; then
        verdict=ok
    else
        verdict="FAILED (see $log)"
        status=1
    fi
    execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log" | tail -1)
    rate=$(awk '/stat::average_exec_per_sec/ {print $2}' "$log" | tail -1)
    echo "$t: ${execs:-?} executions in $(($(date +%s) - start)) s (${rate:-?}/s): $verdict"
done
exit $status
