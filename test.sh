#!/usr/bin/env bash
# Builds Kelvane with AddressSanitizer and UBSan and runs every test under a
# virtual X server. Extra arguments go to ctest (for example -R tst_rleimage).
# KELVANE_BUILD_DIR chooses another build folder (default build/test).
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

./scripts/install-deps.sh

export CCACHE_BASEDIR="$top"
export CCACHE_NOHASHDIR=1
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

# Line tables are all a sanitizer report needs; full, uncompressed debug
# information made every test executable several times larger.
build="${KELVANE_BUILD_DIR:-build/test}"
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1 -gz" \
    -DKELVANE_SANITIZE=ON \
    -DKELVANE_TESTS=ON
cmake --build "$build"

# No test may read or write a user's preferences or data.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/config" "$scratch/data" "$scratch/cache" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home"
export XDG_CONFIG_HOME="$scratch/config"
export XDG_DATA_HOME="$scratch/data"
export XDG_CACHE_HOME="$scratch/cache"
export XDG_RUNTIME_DIR="$scratch/runtime"

export ASAN_OPTIONS=detect_leaks=0:halt_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=xcb

xvfb-run -a -s "-screen 0 1920x1080x24" \
    ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
