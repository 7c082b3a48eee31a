#!/bin/sh
# Runs the zip reader's fuzz target: ./fuzz/run.sh [SECONDS] (default 660).
# Seeds: the external test archives (when present beside the checkout), each with a few
# option bytes in front; new inputs found are kept in build-fuzz/corpus.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-fuzz
seconds=${1:-660}
[ -x "$out/zip_fuzzer" ] || "$root/fuzz/build.sh" "$out"
mkdir -p "$out/corpus" "$out/seeds" "$out/findings"
external=$root/../shared/testdata/zip-external
if [ -d "$external" ]; then
  for archive in "$external"/nasty/* "$external"/legacy/*.zip "$external"/legacy/*.ZIP \
    "$external"/generated/*.zip; do
    [ "$(wc -c < "$archive")" -le 65536 ] || continue
    name=$(basename "$archive")
    for option in 00 01 04 08 11; do
      { printf "\\$(printf '%03o' "0x$option")"; cat "$archive"; } > "$out/seeds/$option-$name"
    done
  done
  # Each legacy entry alone as well: small inputs the fuzzer runs many more times.
  if command -v python3 >/dev/null; then
    python3 "$root/fuzz/legacy_seeds.py" "$out/seeds" "$external"/legacy/* "$external"/generated/*
  fi
fi
exec "$out/zip_fuzzer" "$out/corpus" "$out/seeds" -max_len=65536 -timeout=10 \
  -rss_limit_mb=2048 -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$out/findings/"
