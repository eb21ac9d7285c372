#!/usr/bin/env bash
# `make demo` as a newcomer meets it: scripts/demo serves the sample site and
# opens the program on its project; "Quick mirror" then "Download files"
# (pressed through the X server) store every file of the site in the mirror
# folder the script printed, and closing the program stops the server. The
# user's own settings are left as they were.
#   bash demo_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$(realpath "$1")
build=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xdrive.sh"
drive_on_display "$@"

t=$(mktemp -d /tmp/qv-demo-test.XXXXXX)
mkdir -p "$t/home" "$t/config" "$t/data" "$t/cache" "$t/prog" "$t/run"
chmod 700 "$t/run"
demo=""
work=""
program=""
cleanup() {
  [ -n "$program" ] && kill -KILL "$program" 2>/dev/null
  # A failure before the program was found: the demo's children go too, so
  # the demo ends and stops its server instead of the wait hanging.
  [ -n "$demo" ] && pkill -KILL -P "$demo" 2>/dev/null
  [ -n "$demo" ] && wait "$demo" 2>/dev/null
  [ -z "$work" ] && work=$(sed -n 's/^demo: project \(.*\)\/Demo.mpj, mirror folder .*/\1/p' "$t/log" 2>/dev/null)
  [ -n "$work" ] && rm -rf "$work"
  rm -rf "$t"
}
trap cleanup EXIT
export HOME=$t/home XDG_CONFIG_HOME=$t/config XDG_DATA_HOME=$t/data XDG_CACHE_HOME=$t/cache
export XDG_RUNTIME_DIR=$t/run QUENDRAVILOS_HOME=$t/prog
ship_from_source "$t/prog"
unset QT_QPA_PLATFORM

QUENDRAVILOS_STARTED_FILE=$t/started "$src/scripts/demo" "$build" >"$t/log" 2>&1 &
demo=$!
await '[ -s "$t/started" ] || ! kill -0 "$demo" 2>/dev/null'
[ -s "$t/started" ] || fail "the demo did not open the program"
grep -qx "Mirror Project:  Demo.mpj" "$t/started" || fail "the demo opened $(cat "$t/started")"
work=$(sed -n 's/^demo: project \(.*\)\/Demo.mpj, mirror folder .*/\1/p' "$t/log")
mirror=$(sed -n 's/^demo: project .*, mirror folder //p' "$t/log")
site=$(sed -n 's/^demo: the site \(.*\) is served from .*/\1/p' "$t/log")
[ -n "$work" ] && [ -n "$mirror" ] && [ -n "$site" ] || fail "the demo did not say where its site, project and mirror are"
project=$work/Demo.mpj
program=$(xdotool search --onlyvisible --name '^Mirror Project:  Demo.mpj$' getwindowpid | head -n 1)
[ -n "$program" ] || fail "no main window"
find_main "$t/started"

before=$(stamp "$project")
quick_mirror
await_save "$project" "$before" "Quick mirror"
before=$(stamp "$project")
download_files
await_save "$project" "$before" "Download files"
no_other_windows "Download files"
shot demo-downloaded

"$build/tests/qv_dumpproject" "$project" >"$t/dump" || fail "the demo's project does not load"
for f in $(cd "$src/tests/data/site" && find . -type f | sed 's|^\./||' | sort); do
  line=$(awk -F '\t' -v u="$site$f" '$1 == "url" && $5 == u' "$t/dump")
  [ -n "$line" ] || fail "$site$f was not listed"
  [ "$(cut -f2 <<<"$line")" = 50 ] || fail "$site$f was not downloaded: $line"
  stored=$(cut -f6 <<<"$line")
  case "$stored" in "$mirror"/*) ;; *) fail "$site$f was stored outside the mirror folder: $stored" ;; esac
  # Pages and style sheets are rewritten to browse off line; the rest is kept
  # as served.
  case "$f" in
    *.html | *.css) [ -s "$stored" ] || fail "no stored copy of $site$f" ;;
    *) cmp -s "$stored" "$src/tests/data/site/$f" || fail "the stored copy of $site$f differs" ;;
  esac
done

# Closing the program ends the demo, which stops its server.
kill -TERM "$program"
await '! kill -0 "$demo" 2>/dev/null' || fail "the demo did not end with the program"
program=""
wait "$demo"
status=$?
demo=""
[ "$status" = 0 ] || fail "the demo ended with status $status"
port=${site##*:}
port=${port%/}
! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || fail "the demo's server still answers"
[ -z "$(ls -A "$t/config")" ] || fail "the demo changed the user's settings"
echo "PASS"
