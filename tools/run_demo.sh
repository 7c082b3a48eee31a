#!/usr/bin/env bash
# One update run of klv_upd with its folders in build/demo/: the program folder, the
# common data folder (with the update folder and its state files) and the system folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${KLV_BUILD_DIR:-build}
demo="$build_dir/demo"
mkdir -p "$demo/pf/Velmora" "$demo/data" "$demo/sys"
export KLV_PROGRAM_FILES="$PWD/$demo/pf" KLV_COMMON_APPDATA="$PWD/$demo/data" \
       KLV_SYSTEM32="$PWD/$demo/sys"
echo "klv_upd: program folder $KLV_PROGRAM_FILES/Velmora/, update folder $KLV_COMMON_APPDATA/Velmora/update/"
set +e
"$build_dir/app/klv_upd" "$@"
code=$?
set -e
echo "klv_upd ended with exit code $code"
for f in update.file update.list; do
  path="$KLV_COMMON_APPDATA/Velmora/update/$f"
  if [ -f "$path" ]; then echo "--- $f"; cat "$path"; else echo "--- $f: none"; fi
done
exit $code
