#!/usr/bin/env bash
# Whole update cycles of the real klv_upd against klv_sus on loopback, in a private network
# namespace: 10, 50 and 200 components, each an archive holding one 1 MB entry of random
# (incompressible, stored) bytes. For each size it prints the cycle's wall time, the time
# beyond the run's fixed waits (500 ms + 500 ms; a run with errors would add the 5,000 ms
# error display, so each run is checked to have none), the time per archive, and the peak
# memory (max RSS) of klv_upd and of klv_sus. The time each added archive costs must stay
# flat from 10 to 50 to 200 archives: the cycle grows linearly.
#   bench/update_cycle.sh [BUILD_DIR]     (KLV_BENCH_SIZES="10 50 200", KLV_BENCH_RUNS=3)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
sizes=${KLV_BENCH_SIZES:-10 50 200}
runs=${KLV_BENCH_RUNS:-3}
fixed_waits_ms=1000

if [ -z "${KLV_BENCH_INSIDE:-}" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  largest=$(printf '%s\n' $sizes | sort -n | tail -n 1)
  # The archives once, for the largest size; smaller manifests list the first ones.
  python3 - "$work/archives" "$largest" <<'PY'
import os, sys, zipfile
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder)
for i in range(1, count + 1):
    with zipfile.ZipFile(os.path.join(folder, "part%03d.zip" % i), "w", zipfile.ZIP_STORED) as z:
        z.writestr("part%03d.bin" % i, os.urandom(1 << 20))
PY
  KLV_BENCH_INSIDE=1 KLV_BENCH_WORK="$work" unshare -rn "$0" "$build"
  exit $?
fi

# Inside the private network namespace.
ip link set lo up
work=$KLV_BENCH_WORK
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# One cycle with `count` components; prints "wall_ms upd_peak_kb sus_peak_kb".
cycle() {
  local count=$1 run=$2 dir="$work/run-$1-$2"
  mkdir -p "$dir/served" "$dir/pf/Velmora" "$dir/data" "$dir/sys"
  : > "$dir/pf/Velmora/KLV.SYS"
  for i in $(seq -f '%03g' 1 "$count"); do
    ln "$work/archives/part$i.zip" "$dir/served/part$i.zip"
    printf '$(KLV_PROGRAM_FILES)\\Velmora\\part%s.bin\t1.0.0.%s\tpart%s.zip\n' "$i" "$run" "$i"
  done > "$dir/served/manifest.tsv"
  mkfifo "$dir/ready"
  "$build/server/klv_sus" --folder "$dir/served" --port 85,80 --ready "$dir/ready" \
    > /dev/null 2> "$dir/sus.log" &
  local server=$!
  timeout 30 head -n 1 "$dir/ready" > /dev/null
  # Each cycle writes twice its archives' size (downloads, installed files); written back
  # now, the previous cycle's data does not compete with this one.
  sync
  local start end
  start=$(now_ms)
  KLV_PROGRAM_FILES="$dir/pf" KLV_COMMON_APPDATA="$dir/data" KLV_SYSTEM32="$dir/sys" \
    DISPLAY= WAYLAND_DISPLAY= /usr/bin/time -f %M -o "$dir/upd.peak" "$build/app/klv_upd" \
    2> "$dir/upd.log"
  end=$(now_ms)
  local sus_peak
  sus_peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$server/status")
  kill -TERM "$server"
  wait "$server" || true
  # The cycle counts only when it installed every component and showed no error.
  local installed
  installed=$(find "$dir/pf/Velmora" -name 'part*.bin' -size 1024k | wc -l)
  if [ "$installed" -ne "$count" ] || grep -q -i -e 'failed' -e 'error' "$dir/upd.log"; then
    echo "cycle with $count archives installed $installed; klv_upd said:" >&2
    cat "$dir/upd.log" >&2
    exit 1
  fi
  echo "$((end - start)) $(cat "$dir/upd.peak") $sus_peak"
  rm -rf "$dir"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%9s %10s %14s %12s %14s %14s %14s\n' archives "wall ms" "beyond waits" "ms/archive" \
  "step/archive" "klv_upd peak" "klv_sus peak"
previous_count="" previous_beyond=""
for count in $sizes; do
  walls="" upd_peak=0 sus_peak=0
  for run in $(seq 1 "$runs"); do
    result=$(cycle "$count" "$run")
    read -r wall upd sus <<< "$result"
    walls+="$wall"$'\n'
    (( upd > upd_peak )) && upd_peak=$upd
    (( sus > sus_peak )) && sus_peak=$sus
  done
  wall=$(printf '%s' "$walls" | median)
  beyond=$((wall - fixed_waits_ms))
  per=$(awk -v b="$beyond" -v n="$count" 'BEGIN { printf "%.1f", b / n }')
  # The cost of each archive added since the previous size: flat when the cycle is linear
  # (the fixed costs of a run, start and post, cancel out).
  step="-"
  if [ -n "$previous_count" ]; then
    step=$(awk -v b="$beyond" -v p="$previous_beyond" -v n="$count" -v m="$previous_count" \
      'BEGIN { printf "%.1f", (b - p) / (n - m) }')
  fi
  printf '%9d %10d %11d ms %12s %14s %11d MB %11d MB\n' "$count" "$wall" "$beyond" "$per" \
    "$step" $((upd_peak / 1024)) $((sus_peak / 1024))
  previous_count=$count previous_beyond=$beyond
done
# The server on its own: curl fetches every archive of the largest size over one connection
# after another, as the updater does.
largest=$(printf '%s\n' $sizes | sort -n | tail -n 1)
dir="$work/server-only"
mkdir -p "$dir/served"
urls=()
for i in $(seq -f '%03g' 1 "$largest"); do
  ln "$work/archives/part$i.zip" "$dir/served/part$i.zip"
  printf 'part%s.bin\t1\tpart%s.zip\n' "$i" "$i"
  urls+=("http://127.0.0.1:85/update/$i/sus/part$i" -o /dev/null)
done > "$dir/served/manifest.tsv"
mkfifo "$dir/ready"
"$build/server/klv_sus" --folder "$dir/served" --port 85 --ready "$dir/ready" \
  > /dev/null 2> /dev/null &
server=$!
timeout 30 head -n 1 "$dir/ready" > /dev/null
start=$(now_ms)
curl -s -f "${urls[@]}"
end=$(now_ms)
kill -TERM "$server"
wait "$server" || true
echo "klv_sus alone: curl fetched the $largest archives in $((end - start)) ms" \
  "($(awk -v n="$largest" -v t="$((end - start))" 'BEGIN { printf "%.0f", n / t * 1000 }') MB/s)"

echo "(median of $runs cycles per size; the fixed waits of ${fixed_waits_ms} ms are subtracted;"
echo " step/archive: the time each archive added since the previous size costs, in ms)"
