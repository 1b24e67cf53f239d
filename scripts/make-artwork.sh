#!/usr/bin/env bash
# Redraws the embedded pictures in resources/ (they are committed; run only to change them).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++20 -fPIC "$top/scripts/artwork/make_artwork.cpp" -o "$tmp/make_artwork" \
  $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$tmp/make_artwork" "$top/resources"
