#!/bin/sh
# Runs a program in a private network namespace (only its own loopback), optionally with the
# stand-in update server listening there first.
#   run_in_private_network.sh SERVER_PORTS ANSWER ROOT LOG PROGRAM [ARGS...]
# SERVER_PORTS is a comma-separated list, or empty for no server. The exit code is the
# program's.
if [ -z "$KLV_IN_PRIVATE_NETWORK" ]; then
  KLV_IN_PRIVATE_NETWORK=1 exec unshare -rn "$0" "$@"
fi
ip link set lo up || exit 98
ports=$1 answer=$2 root=$3 log=$4
shift 4
server=""
if [ -n "$ports" ]; then
  ready=$(mktemp -u)
  mkfifo "$ready" || exit 97
  python3 "$(dirname "$0")/loopback_update_server.py" --ports "$ports" --answer "$answer" \
    --root "$root" --log "$log" --ready "$ready" &
  server=$!
  if ! timeout 30 head -n 1 "$ready" > /dev/null; then
    echo "the update server did not start" >&2
    kill "$server" 2> /dev/null
    exit 99
  fi
  rm -f "$ready"
fi
"$@"
code=$?
[ -n "$server" ] && kill "$server"
exit $code
