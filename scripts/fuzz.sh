#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UBSan
# (build/fuzz) and runs each for the given number of seconds (default 600),
# at most FUZZ_JOBS (default 3) at a time, so that the machine stays usable.
#
# Each target starts from its committed corpus (fuzz/corpus/<name>/, read
# only) and keeps what it learns in build/fuzz/work/<name>/. An input that
# finds a fault lands in build/fuzz/findings/<name>/: once the fault is
# mended, copy it into fuzz/corpus/<name>/ under a name that says what it
# found, so that ./test.sh replays it from then on.
#
# Usage: scripts/fuzz.sh [seconds] [target...]   (targets without fuzz_)
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

./scripts/install-deps.sh --fuzz

seconds="${1:-600}"
shift || true
jobs="${FUZZ_JOBS:-3}"

export CCACHE_BASEDIR="$top"
export CCACHE_NOHASHDIR=1
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

build=build/fuzz
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKELVANE_FUZZ=ON -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for corpus in fuzz/corpus/*/; do
        targets+=("$(basename "$corpus")")
    done
fi
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

# Nothing a target does may touch a user's preferences or data.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
export XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Leaks of the process-long OpenGL and Qt objects are not faults of a reader.
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=xcb

run() {
    local name=$1
    local work="$build/work/$name" findings="$build/findings/$name"
    # Scene files and the clipboard come from outside whole: a few kilobytes
    # of them must read within a gigabyte, at the default frame too.
    local rss=3072
    case $name in
    scenefile | clipboard) rss=1024 ;;
    esac
    rm -rf "$findings"
    mkdir -p "$work" "$findings"
    echo "fuzz_$name: $seconds s"
    xvfb-run -a -s "-screen 0 640x480x24" \
        "$build/fuzz/fuzz_$name" "$work" "fuzz/corpus/$name" \
        -max_total_time="$seconds" -rss_limit_mb="$rss" -timeout=25 \
        -artifact_prefix="$findings/" -print_final_stats=1 \
        > "$build/findings/$name.log" 2>&1 || true
    local found slow
    found=$(find "$findings" -type f ! -name 'slow-unit-*' | wc -l)
    slow=$(find "$findings" -type f -name 'slow-unit-*' | wc -l)
    echo "fuzz_$name: done, $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$build/findings/$name.log" | grep -o '[0-9]*$' || echo 0) runs, $found findings, $slow slow inputs (log: $build/findings/$name.log)"
}

for name in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        wait -n
    done
    run "$name" &
done
wait

# Crashes, sanitizer reports, broken promises, memory beyond the limit and
# hangs are faults; inputs that only took longer than ten seconds are listed
# to look at.
status=0
for name in "${targets[@]}"; do
    if [ -n "$(find "$build/findings/$name" -type f ! -name 'slow-unit-*')" ]; then
        echo "Findings for fuzz_$name:"
        find "$build/findings/$name" -type f ! -name 'slow-unit-*'
        status=1
    fi
    if [ -n "$(find "$build/findings/$name" -type f -name 'slow-unit-*')" ]; then
        echo "Slow inputs for fuzz_$name:"
        find "$build/findings/$name" -type f -name 'slow-unit-*'
    fi
done
exit $status
