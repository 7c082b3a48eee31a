#!/usr/bin/env bash
# Downloads a 200 MB archive from a loopback server with the updater's HTTP client and with
# curl -o in the same run and prints their throughput ratio; then runs the real klv_upd once
# against the same archive (ports 85 and 80 in a private network) and prints its peak memory.
#   bench/download_throughput.sh [BUILD_DIR]     (KLV_BENCH_MB overrides the size)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
size_mb=${KLV_BENCH_MB:-200}
work=$(mktemp -d)
server=""
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

mkdir -p "$work/root"
head -c "${size_mb}M" /dev/urandom > "$work/root/ARCHIVE"

# Throughput: the same server, the same file, the same run.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/root" > /dev/null 2>&1 &
server=$!
until curl -s -o /dev/null "http://127.0.0.1:$port/"; do :; done
KLV_BENCH_URL="http://127.0.0.1:$port/ARCHIVE" KLV_BENCH_DIR="$work" DISPLAY= WAYLAND_DISPLAY= \
  "$build/bench/download_bench" --benchmark_format=json --benchmark_out="$work/result.json" \
  --benchmark_out_format=json > /dev/null
python3 - "$work/result.json" "$size_mb" <<'PY'
import json, sys
runs = {b["name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]}
mb = float(sys.argv[2])
ours, curl = runs["BM_UpdaterDownload/min_time:2.000/real_time"], runs["BM_CurlCommand/min_time:2.000/real_time"]
print("updater download: %.0f ms (%.0f MB/s)" % (ours, mb / ours * 1000))
print("curl -o:          %.0f ms (%.0f MB/s)" % (curl, mb / curl * 1000))
print("throughput ratio (updater / curl): %.2f" % (curl / ours))
PY
kill "$server"; server=""

# Peak memory of the real program during a run that downloads the archive.
mkdir -p "$work/pf/Velmora" "$work/data" "$work/sys"
: > "$work/pf/Velmora/KLV.SYS"
printf '<klv><updates><update name="big.bin" version="1" url="http://localhost/update/1/sus/ARCHIVE"/></updates></klv>' > "$work/answer.xml"
KLV_PROGRAM_FILES="$work/pf" KLV_COMMON_APPDATA="$work/data" KLV_SYSTEM32="$work/sys" \
  DISPLAY= WAYLAND_DISPLAY= \
  tests/app/run_in_private_network.sh 85,80 "$work/answer.xml" "$work/root" "$work/requests.log" \
  /usr/bin/time -f "%M" -o "$work/peak" "$build/app/klv_upd" 2> /dev/null || true
cmp -s "$work/root/ARCHIVE" "$work/data/Velmora/update/ARCHIVE.zip" \
  && echo "klv_upd fetched the whole archive" || echo "klv_upd did NOT fetch the archive"
echo "klv_upd peak memory (max RSS): $(( $(cat "$work/peak") / 1024 )) MB"
