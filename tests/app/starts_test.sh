#!/usr/bin/env bash
# The program as a real process: it starts on a virtual X display with a
# fresh user, opens the first-run project, and closes on SIGTERM (as from
# its close box) with exit status 0, having stored its settings.
#   bash starts_test.sh PATH_TO_quendravilos
set -uo pipefail
exe=$1
if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is missing (scripts/setup installs it)"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi

t=$(mktemp -d /tmp/qv-starts.XXXXXX)
trap 'rm -rf "$t"' EXIT
mkdir -p "$t/home" "$t/config" "$t/data" "$t/prog" "$t/run"
chmod 700 "$t/run"
export HOME=$t/home XDG_CONFIG_HOME=$t/config XDG_DATA_HOME=$t/data XDG_RUNTIME_DIR=$t/run
export QUENDRAVILOS_HOME=$t/prog QUENDRAVILOS_STARTED_FILE=$t/started
unset QT_QPA_PLATFORM

fail() { echo "FAIL: $*"; [ -f "$t/log" ] && cat "$t/log"; exit 1; }

xvfb-run -a -s "-screen 0 1280x900x24" \
  sh -c '"$1" & echo $! >"$2/pid"; wait $!; echo $? >"$2/status"' sh "$exe" "$t" >"$t/log" 2>&1 &
runner=$!

for _ in $(seq 1 600); do [ -s "$t/started" ] && break; sleep 0.1; done
[ -s "$t/started" ] || { kill "$runner" 2>/dev/null; fail "the main window never finished its first painting"; }
grep -qx "Mirror Project:  Example1.mpj" "$t/started" || fail "opened $(cat "$t/started")"
[ -f "$t/prog/MirrorProjects/Example1.mpj" ] || fail "the program folder was not given its shipped files"
[ -f "$t/prog/Help/67.htm" ] || fail "the help topics were not shipped"

kill -TERM "$(cat "$t/pid")"
for _ in $(seq 1 300); do [ -s "$t/status" ] && break; sleep 0.1; done
[ -s "$t/status" ] || { kill -KILL "$(cat "$t/pid")" 2>/dev/null; fail "the program did not end after SIGTERM"; }
wait "$runner"
[ "$(cat "$t/status")" = 0 ] || fail "exit status $(cat "$t/status")"

store="$t/config/Quorvane Software/Quendravilos/1.0"
[ -f "$store" ] || fail "no settings store"
grep -q "CurrentURLFile" "$store" || fail "the current project was not stored"
grep -q "PassWords" "$store" || fail "the password list was not stored at close"
echo "PASS"
