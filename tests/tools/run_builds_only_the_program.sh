#!/usr/bin/env bash
# Regression: ./run built every test and benchmark before the program could
# start. Checks what ./run and ./test would build, without building.
set -euo pipefail
root=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

run=$(HALVERN_DRY_RUN=1 "$root/run" --demo)
build=$(grep -- '--build' <<< "$run") || fail "./run builds nothing: $run"
grep -q -- '--target halvern halvern-demo halvern-meter-simulator$' <<< "$build" \
  || fail "./run builds more than it starts: $build"
tail -n 1 <<< "$run" | grep -q 'build/src/halvern-demo $' || fail "./run --demo starts: $(tail -n 1 <<< "$run")"

setup=$(HALVERN_DRY_RUN=1 "$root/tools/setup" build)
grep -q -- '--target' <<< "$setup" && fail "the full set-up builds only some targets: $setup"
echo "1 passed, 0 failed"
