#!/usr/bin/env bash
# Builds a release of Kelvane (the program and the benchmarks) and starts it.
# Usage: ./run.sh [scene.kl]
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

./scripts/install-deps.sh

export CCACHE_BASEDIR="$top"
export CCACHE_NOHASHDIR=1
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

cmake -S . -B build/release -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DKELVANE_TESTS=OFF \
    -DKELVANE_BENCH=ON
cmake --build build/release

exec build/release/source/app/kelvane "$@"
