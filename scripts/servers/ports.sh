# Sourced by the server scripts (not a server itself: not executable). Ports on
# 127.0.0.1 are chosen by the kernel and held until the server has bound them,
# so that test runs started in parallel on one machine never pick the same one.
#
#   hold_ports DIR N     prints N distinct free ports and holds them
#   release_ports DIR    stops holding them: once the server listens, or failed
#
# The holder binds each port with SO_REUSEADDR and never listens on it. A
# server that binds it with SO_REUSEADDR too (nginx and tinyproxy do) may still
# take it, but the kernel hands it to no one else while it is held: neither a
# bind to port 0 (another run's holder, another server) nor an outgoing
# connection gets a port a socket is bound to. The holder gives the ports up
# by itself after a minute, should the script that started it die.

hold_ports() {
  local dir=$1 n=$2
  rm -f "$dir/ports" "$dir/ports.tmp" "$dir/ports.pid"
  /usr/bin/python3 -c '
import os, socket, sys, time
path, n = sys.argv[1], int(sys.argv[2])
held = []
for _ in range(n):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    held.append(s)
with open(path + ".tmp", "w") as f:
    f.write(" ".join(str(s.getsockname()[1]) for s in held) + "\n")
os.rename(path + ".tmp", path)
time.sleep(60)
' "$dir/ports" "$n" </dev/null >/dev/null 2>"$dir/ports.err" &
  echo $! >"$dir/ports.pid"
  for _ in $(seq 100); do
    [ -s "$dir/ports" ] && { cat "$dir/ports"; return 0; }
    holder_alive "$(cat "$dir/ports.pid")" || break
    sleep 0.05
  done
  cat "$dir/ports.err" >&2 2>/dev/null || true
  release_ports "$dir"
  return 1
}

release_ports() {
  local dir=$1
  local pid
  if [ -s "$dir/ports.pid" ]; then
    pid=$(cat "$dir/ports.pid")
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    # The holder may be another shell's child: wait until it has exited (a
    # zombie no one has reaped yet holds no socket).
    for _ in $(seq 100); do
      holder_alive "$pid" || break
      sleep 0.02
    done
  fi
  rm -f "$dir/ports" "$dir/ports.tmp" "$dir/ports.pid" "$dir/ports.err"
}

# Whether process PID still runs (and so may hold its ports).
holder_alive() {
  local state
  state=$(sed -n 's/^State:[[:space:]]*\([A-Z]\).*/\1/p' "/proc/$1/status" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}
