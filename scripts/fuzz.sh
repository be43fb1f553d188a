#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, build/fuzz) and runs each in turn for a while with
# its seed corpus and dictionary; fails on the first crash, leak or failed check.
#   scripts/fuzz.sh                  30 seconds per target, every target
#   scripts/fuzz.sh 600 fuzz_ansi    600 seconds, only the targets named
# The seeds in fuzz/corpus/<target> are only read; what a run discovers goes to
# build/fuzz/corpus/<target>, a crashing input to build/fuzz/artifacts, the output to
# build/fuzz/logs/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-30}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(fuzz_strtoint fuzz_ansi fuzz_device_path fuzz_line_settings fuzz_registry)

build=$root/build/fuzz
if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DSERIALTEST_FUZZ=ON \
        -DSERIALTEST_APP=OFF -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target "${targets[@]}" -- -j2

# The registry target rebuilds a small tree for every input: memory is much faster.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

mkdir -p "$build/artifacts" "$build/logs"
status=0
for t in "${targets[@]}"; do
    work=$build/corpus/$t
    mkdir -p "$work"
    args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
          -artifact_prefix="$build/artifacts/$t-")
    [ -f "$root/fuzz/dict/$t.dict" ] && args+=(-dict="$root/fuzz/dict/$t.dict")
    log=$build/logs/$t.log
    echo "fuzz: $t for ${seconds}s"
    # Paths are absolute: fuzz_device_path works in its own directory.
    if "$build/fuzz/$t" "${args[@]}" "$work" "$root/fuzz/corpus/$t" >"$log" 2>&1; then
        grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true
        grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$log" || true
    else
        echo "fuzz: $t FAILED; see $log" >&2
        grep -E 'ERROR|SUMMARY|runtime error|Test unit written|^fuzz_|^StrToInt|^CreateFileA|^SetCommState|^input|^output' \
            "$log" | head -20 >&2 || true
        status=1
        break
    fi
done
exit "$status"
