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
def ms(name): return runs[name]["real_time"]
ours, plain, unzip = ms("BM_ExtractToMemory"), ms("BM_PlainInflateCrc"), ms("BM_UnzipPipe")
print("extract 120 MB: %.0f ms; plain zlib inflate+crc32 %.0f ms -> ratio %.3f (limit 1.1)"
      % (ours, plain, ours / plain))
print("extract 120 MB: unzip -p %.0f ms -> ours/unzip %.3f (must be < 1)" % (unzip, ours / unzip))
d, z = ms("BM_ReadDirectory"), ms("BM_UnzipList")
print("directory of 100,000 entries: %.1f ms; unzip -Z1 %.1f ms -> ratio %.3f (must be < 1)"
      % (d, z, d / z))
r = runs["BM_CentralRecordRefills"]
print("central records: %d buffer refills for %d records" % (r["refills"], r["records"]))
p = runs["BM_PeakMemory"]
print("peak memory added while extracting %.0f MB: %.2f MB (entry + %.0f KB; limit entry + 1024 KB)"
      % (p["entry_MB"], p["peak_added_MB"], p["over_entry_KB"]))
PY
