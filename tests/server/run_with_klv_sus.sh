#!/bin/sh
# Runs a program in a private network namespace (only its own loopback) with klv_sus serving
# FOLDER on ports 85 and 80; the server's log is appended to FOLDER/sus.log.
#   run_with_klv_sus.sh KLV_SUS FOLDER PROGRAM [ARGS...]
# The exit code is the program's.
if [ -z "$KLV_IN_PRIVATE_NETWORK" ]; then
  KLV_IN_PRIVATE_NETWORK=1 exec unshare -rn "$0" "$@"
fi
ip link set lo up || exit 98
sus=$1 folder=$2
shift 2
ready=$(mktemp -u)
mkfifo "$ready" || exit 97
"$sus" --folder "$folder" --port 85,80 --ready "$ready" 2>> "$folder/sus.log" &
server=$!
if ! timeout 30 head -n 1 "$ready" > /dev/null; then
  echo "klv_sus did not start" >&2
  cat "$folder/sus.log" >&2
  kill "$server" 2> /dev/null
  exit 99
fi
rm -f "$ready"
"$@"
code=$?
kill -TERM "$server"
wait "$server"
exit $code
