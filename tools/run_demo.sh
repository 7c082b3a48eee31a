#!/usr/bin/env bash
# One update cycle of klv_upd against the reference update server klv_sus, in a private network
# namespace (so ports 85 and 80 are free and nothing leaves the machine), with every folder
# under build/demo/:
#   build/demo/served/  the server's folder: manifest.tsv, one zip archive per component,
#                       the delivery database sus.db
#   build/demo/pf/      program files: the product's folder Velmora/ with KLV.SYS and KLV.EXE
#   build/demo/data/    common data: the update folder Velmora/update/ with its state files
#   build/demo/sys/     the system folder that $(System32) names
# It then prints what was installed. Extra arguments go to klv_upd (for example /update).
#   tools/run_demo.sh            (KLV_BUILD_DIR selects another build folder than build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${KLV_BUILD_DIR:-build}
demo="$PWD/$build_dir/demo"

if [ -z "${KLV_DEMO_INSIDE:-}" ]; then
  for program in app/klv_upd server/klv_sus; do
    [ -x "$build_dir/$program" ] || { echo "missing $build_dir/$program: run tools/setup.sh first" >&2; exit 1; }
  done
  base_url=$(sed -n 's/^KLV_UPDATE_SERVER_URL:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
  base_url=${base_url:-http://localhost}
  case "$base_url" in
    http://localhost | http://127.0.0.1) ;;
    *) echo "this build's update server is $base_url; the demo serves only http://localhost" >&2; exit 1 ;;
  esac

  # A fresh demo each time: the installed product at version 6.14, nothing downloaded yet.
  rm -rf "$demo"
  mkdir -p "$demo/served" "$demo/pf/Velmora" "$demo/data" "$demo/sys"
  : > "$demo/pf/Velmora/KLV.SYS"
  printf 'KLV.EXE 6.14.0.0 (installed)\n' > "$demo/pf/Velmora/KLV.EXE"
  printf 'velmora32.dll 1.0.0.0 (installed)\n' > "$demo/sys/velmora32.dll"

  # The published components: target (as the updater stores it), version, archive. Each
  # archive carries exactly one file, the new content of its target.
  python3 - "$demo/served" <<'PY'
import os, sys, zipfile
served = sys.argv[1]
components = [
    ("$(KLV_PROGRAM_FILES)\\Velmora\\KLV.EXE", "6.15.0.0", "KLV_EXE.zip", "KLV.EXE",
     b"KLV.EXE 6.15.0.0 (from the update server)\n" + os.urandom(40000)),
    ("$(System32)\\velmora32.dll", "1.2.0.0", "velmora32_dll.zip", "velmora32.dll",
     b"velmora32.dll 1.2.0.0 (from the update server)\n" + os.urandom(20000)),
    ("$(KLV_PROGRAM_FILES)\\Velmora\\KLVHELP.CHM", "6.15.0.0", "KLVHELP_CHM.zip", "KLVHELP.CHM",
     b"KLVHELP.CHM 6.15.0.0 (new in this release)\n" + b"help text " * 5000),
]
with open(os.path.join(served, "manifest.tsv"), "w", newline="\n") as manifest:
    manifest.write("# target\tversion\tarchive\n")
    for target, version, archive, entry, content in components:
        manifest.write(f"{target}\t{version}\t{archive}\n")
        with zipfile.ZipFile(os.path.join(served, archive), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr(entry, content)
PY
  echo "== manifest ($demo/served/manifest.tsv)"
  cat "$demo/served/manifest.tsv"
  echo
  set +e
  KLV_DEMO_INSIDE=1 unshare -rn "$0" "$@"
  code=$?
  set -e
  if [ ! -f "$demo/sus.log" ]; then
    echo "no private network namespace here (unshare -rn failed): nothing was run" >&2
    exit "$code"
  fi

  echo
  echo "== klv_sus log"
  cat "$demo/sus.log"
  echo
  echo "== installed files"
  for f in "$demo/pf/Velmora/KLV.EXE" "$demo/pf/Velmora/KLVHELP.CHM" "$demo/sys/velmora32.dll"; do
    if [ -f "$f" ]; then
      printf '%8d bytes  %s  (%s)\n' "$(stat -c %s "$f")" "${f#"$PWD"/}" "$(head -n 1 "$f" | tr -cd '[:print:]')"
    else
      printf '%8s        %s\n' "missing" "${f#"$PWD"/}"
    fi
  done
  echo
  echo "== update folder ($build_dir/demo/data/Velmora/update/)"
  ls -l "$demo/data/Velmora/update/" | tail -n +2
  for f in update.file update.list; do
    path="$demo/data/Velmora/update/$f"
    if [ -f "$path" ]; then echo "--- $f"; tr -d '\r' < "$path"; else echo "--- $f: none"; fi
  done
  echo
  echo "== what klv_sus remembers ($build_dir/demo/served/sus.db)"
  python3 - "$demo/served/sus.db" <<'PY'
import sqlite3, sys
for row in sqlite3.connect(sys.argv[1]).execute(
        "SELECT computer, target, version, sent_at FROM deliveries ORDER BY rowid"):
    print("  ".join(row))
PY
  exit $code
fi

# Inside the private network namespace: only a loopback interface, ports free.
ip link set lo up
export KLV_PROGRAM_FILES="$demo/pf" KLV_COMMON_APPDATA="$demo/data" KLV_SYSTEM32="$demo/sys"
ready="$demo/sus.ready"
rm -f "$ready"
mkfifo "$ready"
"$build_dir/server/klv_sus" --folder "$demo/served" --port 85,80 --ready "$ready" \
  2> "$demo/sus.log" &
server=$!
trap 'kill "$server" 2> /dev/null || true' EXIT
if ! timeout 30 head -n 1 "$ready" > /dev/null; then
  echo "klv_sus did not start:" >&2
  cat "$demo/sus.log" >&2
  exit 1
fi
rm -f "$ready"

echo "== klv_upd (program folder $KLV_PROGRAM_FILES/Velmora/, update folder $KLV_COMMON_APPDATA/Velmora/update/)"
set +e
"$build_dir/app/klv_upd" "$@"
code=$?
set -e
echo "klv_upd ended with exit code $code"
kill -TERM "$server"
wait "$server" || true
trap - EXIT
exit $code
