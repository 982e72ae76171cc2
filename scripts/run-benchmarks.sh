#!/usr/bin/env bash
# Runs every benchmark of a build tree and prints its figures.
set -euo pipefail
build=${1:-build/release}
shopt -s nullglob
found=0
for bench in "$build"/bin/*_bench "$build"/bin/bench_*; do
    found=1
    echo "== $(basename "$bench")"
    QT_QPA_PLATFORM=offscreen "$bench"
done
[ "$found" -eq 1 ] || echo "no benchmarks built in $build"
