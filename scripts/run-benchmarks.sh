#!/usr/bin/env bash
# Runs every benchmark executable in the given folder (the bench preset's bin folder). Start-up
# is timed with a real window: on the display there is, or on an X server of its own.
set -euo pipefail
dir=${1:-build/bench/bin}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
if [[ -z "${DISPLAY:-}" ]] && command -v Xvfb >/dev/null; then
  for n in $(seq 90 120); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do
    [[ -e /tmp/.X11-unix/X$n ]] && break
    sleep 0.1
  done
  export DISPLAY=":$n"
fi
shopt -s nullglob
for b in "$dir"/*_bench; do
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true
done
