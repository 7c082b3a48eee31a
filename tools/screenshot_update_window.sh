#!/bin/bash
# Takes docs/update-window.png: the real klv_upd window on a private Xvfb server, at the end of
# a run that finds no update server (private network), so it shows the error picture and the
# error text. Needs xvfb, xdotool and imagemagick.
#   tools/screenshot_update_window.sh [BUILD_DIR] [OUTPUT_PNG]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
output=${2:-$root/docs/update-window.png}
work=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" 2> /dev/null &
xvfb=$!
for _ in $(seq 200); do
  grep -q . "$work/display" 2> /dev/null && break
  sleep 0.05
done
export DISPLAY=":$(head -n 1 "$work/display")"

mkdir -p "$work/pf/Velmora"
: > "$work/pf/Velmora/KLV.SYS"
KLV_PROGRAM_FILES="$work/pf" KLV_COMMON_APPDATA="$work/data" KLV_SYSTEM32="$work/sys" \
  "$root/tests/app/run_in_private_network.sh" "" "" "" "" "$build/app/klv_upd" 2> /dev/null &
program=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Update$' | head -n 1)
# The error text shows for 5 s after the two connection attempts and a 500 ms wait.
sleep 2.5
timeout 10 import -window "$window" "png:$output"
wait "$program"
echo "wrote $output"
