#!/bin/sh
# Runs the zip reader's benchmarks and prints each ratio measured in the same run:
#   ./bench/zip_bench.sh [BUILD_DIR]   (default build-zip; the benchmarks must be built)
# The big archives are made by the benchmarks themselves in a temporary folder.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-zip}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$build/bench/zip_extract_bench" --benchmark_out="$out/extract.json" --benchmark_out_format=json
"$build/bench/zip_directory_bench" --benchmark_out="$out/directory.json" --benchmark_out_format=json
python3 - "$out/extract.json" "$out/directory.json" <<'PY'
import json, sys
runs = {}
for path in sys.argv[1:]:
    for b in json.load(open(path))["benchmarks"]:
        runs[b["name"].split("/")[0]] = b
e = runs["BM_ExtractVersusZlibAndUnzip"]
print("extract 120 MB deflated entry: %.0f ms; plain zlib inflate+crc32 %.0f ms -> ratio %.3f (limit 1.1)"
      % (e["ours_ms"], e["zlib_ms"], e["ours_per_zlib"]))
print("extract 120 MB deflated entry: unzip -p %.0f ms -> ratio %.3f (must be below 1)"
      % (e["unzip_ms"], e["ours_per_unzip"]))
d = runs["BM_ReadDirectoryVersusUnzip"]
print("directory of 100,000 entries: %.1f ms; unzip -Z1 %.1f ms -> ratio %.3f (must be below 1)"
      % (d["ours_ms"], d["unzip_ms"], d["ours_per_unzip"]))
r = runs["BM_CentralRecordRefills"]
print("central records: %d buffer refills for %d records" % (r["refills"], r["records"]))
p = runs["BM_PeakMemory"]
print("peak memory added while extracting %.0f MB: %.2f MB (entry + %.0f KB; limit entry + 1024 KB)"
      % (p["entry_MB"], p["peak_added_MB"], p["over_entry_KB"]))
PY
