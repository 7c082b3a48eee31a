#!/bin/sh
# Builds and runs klv_sus's fuzz target (request bodies and manifests) with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer, outside the CMake build:
#   ./fuzz/sus_fuzz.sh [SECONDS]     (default 300; corpus in build-fuzz/sus-corpus)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-fuzz
seconds=${1:-300}
mkdir -p "$out/sus-corpus" "$out/sus-seeds" "$out/sus-findings"
clang++ -std=c++20 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" \
  "$root"/fuzz/sus_fuzzer.cpp "$root"/server/request_document.cpp "$root"/server/manifest.cpp \
  "$root"/server/answer_document.cpp "$root"/common/codepage.cpp "$root"/common/text.cpp \
  -lpugixml -o "$out/sus_fuzzer"
# Seeds: a request as the updater sends it (first byte even) and a manifest (first byte odd).
printf '\000<klv source="KLV_UPD" computer="PC\311" domain="SURGERY"><files><file name="KLV.EXE" version="0.0.0.0"/></files></klv>\r\n' \
  > "$out/sus-seeds/request"
printf '\001# t\tv\ta\r\nKLV.EXE\t6.15.0.0\tKLV_EXE.zip\n$(System32)\\x.dll\t1.0\tx.zip\n' \
  > "$out/sus-seeds/manifest"
exec "$out/sus_fuzzer" "$out/sus-corpus" "$out/sus-seeds" -max_len=65536 -timeout=10 \
  -rss_limit_mb=2048 -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$out/sus-findings/"
