#!/usr/bin/env bash
# Runs every benchmark executable in the given folder (the bench preset's bin folder).
set -euo pipefail
dir=${1:-build/bench/bin}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
shopt -s nullglob
for b in "$dir"/*_bench; do
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true
done
