#!/usr/bin/env bash
# Sets up the machine, builds and runs every test.
#   scripts/test.sh            normal build, all tests
#   scripts/test.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer build, all tests
#   scripts/test.sh tsan       ThreadSanitizer build, the threading, transfer, event and window tests
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
scripts/setup.sh
scripts/build.sh "$preset"

runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime

args=(--preset "$preset" -j2)
[ "$preset" = tsan ] && args+=(-L threads)
ctest "${args[@]}"
