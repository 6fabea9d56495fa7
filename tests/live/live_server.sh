# Sourced by the live scenario runners: starts tests/live/videohub_server.py
# on 127.0.0.1 (a free port) and writes each tests/live/*.vsc.in to OUTDIR as
# NAME.vsc with @ROUTER@ replaced by the server's address.
#
#   start_live_server OUTDIR LIFETIME_SECONDS
#   -> LIVE_PID (the server, for stop_live_server), LIVE_SCRIPTS (the paths)
live_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

start_live_server() {
  local out=$1 lifetime=$2 port="" i
  mkdir -p "$out"
  python3 "$live_dir/videohub_server.py" --lifetime "$lifetime" >"$out/server.out" 2>"$out/server.err" &
  LIVE_PID=$!
  for i in $(seq 100); do
    port=$(sed -n 's/^port \([0-9]*\)$/\1/p' "$out/server.out")
    [ -n "$port" ] && break
    sleep 0.1
  done
  if [ -z "$port" ]; then
    echo "live_server: the test router did not start" >&2
    cat "$out/server.err" >&2
    return 1
  fi
  LIVE_SCRIPTS=()
  for template in "$live_dir"/*.vsc.in; do
    local name
    name=$(basename "$template" .in)
    sed "s/@ROUTER@/127.0.0.1:$port/" "$template" >"$out/$name"
    LIVE_SCRIPTS+=("$out/$name")
  done
}

# Safe under `set -e`: the server's end by SIGTERM is no failure.
stop_live_server() {
  kill "$LIVE_PID" 2>/dev/null || true
  wait "$LIVE_PID" 2>/dev/null || true
}
