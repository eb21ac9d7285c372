#!/usr/bin/env bash
# The program as a real process: it starts on a virtual X display with a
# fresh user, opens the first-run project, refuses a second start with its
# message and no window of its own, and closes on SIGTERM (as from its close
# box) with exit status 0, having stored its settings.
#   bash starts_test.sh PATH_TO_quendravilos
set -uo pipefail
exe=$1
for tool in xvfb-run xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing (scripts/setup installs it)"
    [ "${CI:-}" = true ] && exit 1
    exit 77
  fi
done
# Everything below runs on one virtual display, so both starts share it.
if [ -z "${QV_STARTS_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x900x24" env QV_STARTS_DISPLAY=1 bash "$0" "$@"
fi

t=$(mktemp -d /tmp/qv-starts.XXXXXX)
first="" second=""
# A failed check leaves no program running on the display.
trap 'for p in $first $second; do kill -KILL "$p" 2>/dev/null; done; rm -rf "$t"' EXIT
mkdir -p "$t/home" "$t/config" "$t/data" "$t/prog" "$t/run" "$t/portable"
chmod 700 "$t/run"
# The program as a portable install with the shipped files of the source
# tree: beside the built one lies the program folder of a run from the build
# folder (make run), with what that run saved.
top=$(cd "$(dirname "$0")/../.." && pwd)
cp "$exe" "$t/portable/quendravilos"
cp -R "$top/share/." "$t/portable/"
exe=$t/portable/quendravilos
export HOME=$t/home XDG_CONFIG_HOME=$t/config XDG_DATA_HOME=$t/data XDG_RUNTIME_DIR=$t/run
export QUENDRAVILOS_HOME=$t/prog
unset QT_QPA_PLATFORM

fail() {
  echo "FAIL: $*"
  for f in log log2; do [ -f "$t/$f" ] && cat "$t/$f"; done
  exit 1
}
# Waits up to a minute for a condition (a loaded machine may take that long).
await() { for _ in $(seq 1 600); do eval "$1" && return 0; sleep 0.1; done; return 1; }

QUENDRAVILOS_STARTED_FILE=$t/started "$exe" >"$t/log" 2>&1 &
first=$!
await '[ -s "$t/started" ]' || { kill "$first" 2>/dev/null; fail "the main window never finished its first painting"; }
grep -qx "Mirror Project:  Example1.mpj" "$t/started" || fail "opened $(cat "$t/started")"
cmp -s "$t/prog/MirrorProjects/Example1.mpj" "$top/share/MirrorProjects/Example1.mpj" ||
  fail "the program folder was not given its shipped files"
[ -f "$t/prog/Help/67.htm" ] || fail "the help topics were not shipped"

# A second start: it shows the message box, and nothing else, until answered.
"$exe" >"$t/log2" 2>&1 &
second=$!
await '[ -n "$(xdotool search --all --onlyvisible --pid "$second" 2>/dev/null)" ]' ||
  { kill "$second" 2>/dev/null; fail "the second start showed no message"; }
windows=$(xdotool search --all --onlyvisible --pid "$second")
[ "$(echo "$windows" | wc -l)" = 1 ] || fail "the second start made windows besides its message"
xdotool search --all --pid "$second" --name "Mirror Project" >/dev/null && fail "the second start made a main window"
xdotool windowfocus --sync "$windows" key Return
await '! kill -0 "$second" 2>/dev/null' || { kill "$second" 2>/dev/null; fail "the second start did not end"; }
wait "$second"
status=$?
[ "$status" = 0 ] || fail "the second start ended with status $status"
kill -0 "$first" 2>/dev/null || fail "the second start ended the first"

kill -TERM "$first"
await '! kill -0 "$first" 2>/dev/null' || { kill -KILL "$first" 2>/dev/null; fail "the program did not end after SIGTERM"; }
wait "$first"
status=$?
[ "$status" = 0 ] || fail "exit status $status"

store="$t/config/Quorvane Software/Quendravilos/1.0"
[ -f "$store" ] || fail "no settings store"
grep -q "CurrentURLFile" "$store" || fail "the current project was not stored"
grep -q "PassWords" "$store" || fail "the password list was not stored at close"
echo "PASS"
