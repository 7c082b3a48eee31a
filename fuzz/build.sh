#!/bin/sh
# Builds the zip reader's libFuzzer target with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, outside the CMake build: ./fuzz/build.sh [OUTPUT_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-fuzz}
mkdir -p "$out"
clang++ -std=c++20 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" \
  "$root"/fuzz/zip_fuzzer.cpp "$root"/zip/*.cpp \
  "$root"/common/codepage.cpp "$root"/common/text.cpp "$root"/platform/posix/os_error.cpp \
  -lz -o "$out/zip_fuzzer"
echo "$out/zip_fuzzer"
