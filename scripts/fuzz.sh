#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own build folder and runs
# each one briefly. Any crash, sanitizer report or failed check fails the run;
# the input that caused it is left in the build folder's artifacts/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-12}
targets=(fuzz_records fuzz_fields fuzz_cost fuzz_escape fuzz_decode fuzz_lines fuzz_stream)

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DUTILITIES_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$build" -j2 "${targets[@]}" >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }

mkdir -p "$build/artifacts"
status=0
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    # The import samples seed the record and field targets.
    seeds=()
    case $target in
    fuzz_records | fuzz_fields | fuzz_decode | fuzz_lines | fuzz_stream) seeds=("$root/tests/data/import") ;;
    esac
    log=$build/$target.log
    if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -dict="$root/fuzz/records.dict" \
        -artifact_prefix="$build/artifacts/$target-" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
        echo "$target: ok ($(grep -o 'Done [0-9]* runs' "$log" | tail -1 | cut -d' ' -f2) runs)"
    else
        echo "$target: FAILED"
        tail -n 40 "$log"
        status=1
    fi
done
exit $status
