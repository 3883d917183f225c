#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time; fails on any finding.
#   scripts/fuzz.sh [SECONDS]    each target for SECONDS (default 30), all targets side by side
#   scripts/fuzz.sh --long RUNS  each target for RUNS executions, for long runs
# New inputs go to build/fuzz/corpus/<target>, the checked-in starting inputs in fuzz/corpus/ stay
# as they are; a crashing input is kept in build/fuzz/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    echo "usage: $0 [SECONDS] | --long RUNS" >&2
    exit 2
}

limit=(-max_total_time=30)
case "${1:-}" in
    "") ;;
    --long)
        [[ "${2:-}" =~ ^[0-9]+$ ]] || usage
        limit=(-runs="$2")
        ;;
    *)
        [[ "$1" =~ ^[0-9]+$ ]] || usage
        limit=(-max_total_time="$1")
        ;;
esac

scripts/apt-ensure.sh cmake make clang libclang-rt-14-dev libgtest-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null

declare -A options=(
    # Long arguments come from runs in the input (see the fuzzer), so inputs stay short.
    [command_line_fuzzer]="-max_len=1024"
    [integer_conversion_fuzzer]="-max_len=256 -use_value_profile=1"
)
targets=(command_line_fuzzer integer_conversion_fuzzer)

declare -A pids
for target in "${targets[@]}"; do
    work=build/fuzz/corpus/$target
    artifacts=build/fuzz/artifacts/$target
    rm -rf "$artifacts"
    mkdir -p "$work" "$artifacts"
    # shellcheck disable=SC2086 # the options are words by design
    build/fuzz/fuzz/$target "${limit[@]}" ${options[$target]} -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$work" "fuzz/corpus/$target" \
        >"build/fuzz/$target.log" 2>&1 &
    pids[$target]=$!
done

failed=0
echo "fuzzing (${limit[*]}):"
for target in "${targets[@]}"; do
    status=0
    wait "${pids[$target]}" || status=$?
    log=build/fuzz/$target.log
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 || true)
    findings=$(find "build/fuzz/artifacts/$target" -type f | wc -l)
    if ((status != 0 || findings != 0)); then
        failed=1
        echo "  $target: FAILED (exit $status, $findings input(s) in build/fuzz/artifacts/$target)"
        # From the first report of a finding on, else the end of the log.
        report=$(sed -n '/property violated\|ERROR: \|runtime error\|deadly signal/,$p' "$log")
        if [[ -z "$report" ]]; then report=$(tail -n 40 "$log"); fi
        head -n 80 <<<"$report" | sed 's/^/    /'
    else
        echo "  $target: ok, ${executions:-?} executions in ${seconds:-?} s, ${coverage:-cov: ?}"
    fi
done
exit "$failed"
