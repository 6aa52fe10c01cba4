#!/usr/bin/env bash
# Screenshots of the viewer's main panel, channel list and a search in progress.
# Run after `./run test` (it builds and prepares the prefix): BUILD_DIR=build-x tests/unit/draw/shots.sh
# Writes $BUILD_DIR/shots/{main,list,search}.png, taken from the X root window.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
BUILD_DIR="${BUILD_DIR:-build}"
case "$BUILD_DIR" in /*) ;; *) BUILD_DIR="$ROOT/$BUILD_DIR" ;; esac
export WINEPREFIX="$BUILD_DIR/prefix-tests" WINEDEBUG=-all LC_ALL=ko_KR.UTF-8
OUT="$BUILD_DIR/shots"
mkdir -p "$OUT"

source "$ROOT/devicesim/common/private_display.sh"
DISPLAY_DIR="$(mktemp -d)"
trap 'wineserver -k >/dev/null 2>&1 || true; kill ${XVFB_PID:-} 2>/dev/null || true; rm -rf "$DISPLAY_DIR"' EXIT
start_private_display "$DISPLAY_DIR" "$DISPLAY_DIR/xvfb.log" || { echo "Xvfb did not start" >&2; exit 1; }

for scene in main list search; do
  ready="$OUT/$scene.ready" done="$OUT/$scene.done"
  rm -f "$ready" "$done"
  (cd "$WINEPREFIX/drive_c" && wine "$BUILD_DIR/testbin/viewer_draw_shots.exe" "$scene" \
     "$(winepath -w "$ready")" "$(winepath -w "$done")") &
  pid=$!
  for _ in $(seq 1 300); do [ -e "$ready" ] && break; sleep 0.1; done
  [ -e "$ready" ] || { echo "scene $scene did not come up" >&2; exit 1; }
  import -window root "$OUT/$scene.png"
  touch "$done"
  wait $pid
  echo "$OUT/$scene.png"
done
