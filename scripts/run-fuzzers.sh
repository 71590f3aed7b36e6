#!/bin/sh
# Runs every fuzz target for the given seconds, on a scratch copy of its seed corpus, and prints
# the executions each reached. Exits non-zero when a target finds a fault.
set -u
build=$1
seconds=$2
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
# AddressSanitizer keeps up to 256 MB of freed memory in quarantine, which would count against the
# memory limit below; a smaller quarantine leaves that limit to the inputs.
ASAN_OPTIONS="quarantine_size_mb=32${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export ASAN_OPTIONS
for target in patchGate; do
    mkdir -p "$scratch/$target"
    # No input may take more than a second or 256 MB: a slow or swelling input is a fault too.
    if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=256 \
        -print_final_stats=1 -artifact_prefix="$here/fuzz/" \
        "$scratch/$target" "$here/fuzz/corpus/$target" >"$scratch/$target.log" 2>&1; then
        result=ok
    else
        result="FAULT (see fuzz/crash-* and the log below)"
        status=1
        tail -40 "$scratch/$target.log" >&2
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$target.log")
    echo "fuzz_$target: ${runs:-0} executions in ${seconds}s: $result"
done
exit $status
