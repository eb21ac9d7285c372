#!/usr/bin/env bash
# The test servers' port holder (scripts/servers/ports.sh): while a port is
# held, no other program is handed it or may bind it, but the server it was
# chosen for binds and listens on it; released, it is free again.
set -euo pipefail

src=${1:?usage: $0 SOURCE_DIR}
. "$src/scripts/servers/ports.sh"
dir=$(mktemp -d /tmp/qv-ports-test.XXXXXX)
trap 'release_ports "$dir"; rm -rf "$dir"' EXIT

ports=$(hold_ports "$dir" 2)
read -r p1 p2 <<<"$ports"
[ "$p1" != "$p2" ] || { echo "FAIL: the same port twice: $ports"; exit 1; }
holder=$(cat "$dir/ports.pid")

/usr/bin/python3 - "$p1" "$p2" <<'PY'
import errno, socket, sys

held = [int(p) for p in sys.argv[1:]]
failed = []

def bind(port, reuse):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1 if reuse else 0)
    s.bind(("127.0.0.1", port))
    return s

# Another program asking the kernel for a free port never gets a held one.
for reuse in (False, True):
    for _ in range(3000):
        s = bind(0, reuse)
        if s.getsockname()[1] in held:
            failed.append("bind to port 0 (SO_REUSEADDR %s) got held port %d" % (reuse, s.getsockname()[1]))
        s.close()
        if failed:
            break

# A program that picked the port earlier may not bind it.
for port in held:
    try:
        bind(port, False).close()
        failed.append("a plain bind took held port %d" % port)
    except OSError as e:
        if e.errno != errno.EADDRINUSE:
            failed.append("plain bind of %d: %s" % (port, e))

# The server binds with SO_REUSEADDR and listens; clients reach it.
for port in held:
    try:
        server = bind(port, True)
        server.listen()
        client = socket.create_connection(("127.0.0.1", port), timeout=5)
        client.close()
        server.close()
    except OSError as e:
        failed.append("the server could not take held port %d: %s" % (port, e))

for f in failed:
    print("FAIL:", f)
sys.exit(1 if failed else 0)
PY

release_ports "$dir"
if holder_alive "$holder"; then echo "FAIL: the holder still runs after release"; exit 1; fi
[ ! -e "$dir/ports" ] || { echo "FAIL: the ports file is left"; exit 1; }
/usr/bin/python3 -c '
import socket, sys
for p in sys.argv[1:]:
    s = socket.socket(); s.bind(("127.0.0.1", int(p))); s.close()
' "$p1" "$p2" || { echo "FAIL: a released port is still taken"; exit 1; }
echo "ok: held $p1 $p2"
