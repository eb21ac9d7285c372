# shellcheck shell=bash
# Sourced by the tests that drive the program as a real process on a virtual
# X display, with keys and clicks through the X server (not a test itself).
# The sourcing script sets t (its scratch folder) and program (the program's
# process id, "" when none runs); fail() shows "$t/log" when there is one.
# QV_SHOTS=PREFIX keeps screenshots along the way as PREFIX<step>.png.

skip() {
  echo "$1"
  [ "${CI:-}" = true ] && exit 1
  exit 77
}

xdrive_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Skips without the tools (a web server and python too, unless the first
# argument is --no-server); then runs the calling script again on a display
# of its own ($0 with the other arguments, the script's own).
drive_on_display() {
  local tool
  for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup installs it)"
  done
  if [ "${1:-}" = --no-server ]; then
    shift
  else
    [ -x /usr/sbin/nginx ] || skip "nginx is missing (scripts/setup installs it)"
    [ -x /usr/bin/python3 ] || skip "python3 is missing (scripts/setup installs it)"
  fi
  if [ -z "${QV_DRIVE_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x900x24" env QV_DRIVE_DISPLAY=1 bash "$0" "$@"
  fi
}

# Gives a fresh program folder ($1) the files the program ships, from the
# source tree. The program would copy them from beside its executable, but
# there lies the program folder of a run from the build folder (make run),
# with the projects that run saved.
ship_from_source() { cp -R "$xdrive_top/share/." "$1/"; }

# The fresh user's settings store.
store_file() { echo "$t/config/Quorvane Software/Quendravilos/1.0"; }

shot() {
  [ -n "${QV_SHOTS:-}" ] && command -v import >/dev/null && import -window root "${QV_SHOTS}$1.png"
  return 0
}
windows() {
  local w
  for w in $(xdotool search --all --onlyvisible --name '' 2>/dev/null); do
    echo "  window $w \"$(xdotool getwindowname "$w" 2>/dev/null)\""
  done
}
fail() {
  echo "FAIL: $*"
  shot failure
  windows
  [ -f "$t/log" ] && cat "$t/log"
  exit 1
}
# Waits up to five minutes for a condition (a loaded machine may take that
# long), or for as many tenths of a second as a second argument says.
await() {
  for _ in $(seq 1 "${2:-3000}"); do
    eval "$1" && return 0
    sleep 0.1
  done
  return 1
}

# The main window of $program once the program has written its caption to the
# started file ($1): its top left corner (wx, wy) and the point where
# start-up help put the pointer, the root grid's first row (gx, gy).
find_main() {
  local started=$1 main
  await '[ -s "$started" ] || ! kill -0 "$program" 2>/dev/null'
  [ -s "$started" ] || fail "the main window never finished its first painting"
  main=$(xdotool search --all --onlyvisible --pid "$program" --name '^Mirror Project:' | head -n 1)
  [ -n "$main" ] || fail "no main window"
  eval "$(xdotool getwindowgeometry --shell "$main")"
  wx=$X wy=$Y
  eval "$(xdotool getmouselocation --shell)"
  gx=$X gy=$Y
  [ "$gx" -gt "$wx" ] && [ "$gy" -gt "$wy" ] || fail "the pointer was not put on the root grid"
}
# A point of the main window, from its top left corner, by the layout the
# window opens with; button 1 unless a third argument names another.
click() { xdotool mousemove --sync $((wx + $1)) $((wy + $2)) click "${3:-1}"; }
quick_mirror() { click 660 76; }
download_files() { click 660 146; }
new_mirror() { click 660 278; }
retrieve_page() { click 46 22; }
passwords_page() { click 254 22; }
# The first line of the URL list, and the height of a line.
list_x=100 list_y=426 list_line=14
# The bytes of the screen's rectangle $1 (WIDTHxHEIGHT+X+Y from the main
# window's top left corner).
screen_bytes() {
  local size=${1%%+*} at=${1#*+}
  import -window root -crop "$size+$((wx + ${at%%+*}))+$((wy + ${at#*+}))" rgb:-
}

# The settings window: "Settings" opens it. It may grow beyond its designed
# 399 x 448 for its font, and the growth goes to the stretching parts of its
# layout, so each control is found from the corner it keeps: the "Browsing"
# page's from the top left, the "Quick mirror" page's switches (under its
# growing grid) and "OK" (which closes the window) from the bottom.
open_settings() {
  click 660 250
  local settings
  await 'settings=$(xdotool search --all --onlyvisible --pid "$program" --name "^Settings:-$")' ||
    fail "\"Settings\" did not open the settings window"
  eval "$(xdotool getwindowgeometry --shell "$settings")"
  sx=$X sy=$Y sw=$WIDTH sh=$HEIGHT
}
settings_click() { xdotool mousemove --sync $((sx + $1)) $((sy + $2)) click 1; }
# "Enter "No Robot" zones." on the "Quick mirror" page, on at first: a click
# has robots.txt obeyed.
robots_switch() { settings_click 35 $((sh - 242)); }
close_settings() {
  settings_click $((sw - 52)) $((sh - 22))
  await '! xdotool search --all --onlyvisible --pid "$program" --name "^Settings:-$" >/dev/null' ||
    fail "\"OK\" did not close the settings window"
}
# The web server of a test of its own (the shared servers' site roots belong
# to the spider tests): nginx in the folder $server, run as an unprivileged
# user; its QV_NGINX_* values are exported. $top is the source tree.
start_web_server() {
  export QV_SERVER_USER=${QV_SERVER_USER:-qvtest}
  if [ "$(id -u)" -eq 0 ] && ! id "$QV_SERVER_USER" >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin "$QV_SERVER_USER" 2>/dev/null
  fi
  local out line
  out=$("$top/scripts/servers/nginx" start "$server") || skip "the test web server did not start"
  while IFS= read -r line; do case "$line" in QV_NGINX_*=*) export "${line?}" ;; esac; done <<<"$out"
}
# A fresh user in the scratch folder $t: home, settings, data, cache and
# program folder of its own, the program folder with the shipped files; the
# program finds an X display.
fresh_user() {
  mkdir -p "$t/home" "$t/config" "$t/data" "$t/cache" "$t/prog" "$t/run" "$t/cwd"
  chmod 700 "$t/run"
  export HOME=$t/home XDG_CONFIG_HOME=$t/config XDG_DATA_HOME=$t/data XDG_CACHE_HOME=$t/cache
  export XDG_RUNTIME_DIR=$t/run
  export QUENDRAVILOS_HOME=$t/prog
  unset QT_QPA_PLATFORM
  ship_from_source "$t/prog"
}
# Starts $exe from an empty working folder as the fresh user and waits for
# its main window, which must have opened the first-run project (or the
# project file named $1).
start_program() {
  rm -f "$t/started"
  (cd "$t/cwd" && QUENDRAVILOS_STARTED_FILE=$t/started exec "$exe") >"$t/log" 2>&1 &
  program=$!
  find_main "$t/started"
  grep -qx "Mirror Project:  ${1:-Example1.mpj}" "$t/started" || fail "opened $(cat "$t/started")"
}

stamp() { stat -c %y "$1" 2>/dev/null; }
# Waits for the project file $1 to be saved again (its stamp was $2 before)
# and for every job window to have gone; $3 names the step.
await_save() {
  local file=$1 before=$2
  await '[ "$(stamp "$file")" != "$before" ]' || fail "$3: the project was never saved"
  await '! xdotool search --all --onlyvisible --pid "$program" --name "^(Extracting URLs|Downloading files|Localising references|Adding files to queue):" >/dev/null' ||
    fail "$3: a job window stayed"
}
# Fails when the program shows a window besides the main window and the help
# window (a message box): $1 names the step.
no_other_windows() {
  local w
  for w in $(xdotool search --all --onlyvisible --pid "$program" --name ''); do
    case "$(xdotool getwindowname "$w")" in
      "Mirror Project:"* | "Quendravilos Help") ;;
      *) fail "$1: a window \"$(xdotool getwindowname "$w")\" came up" ;;
    esac
  done
}
# Closes the program as its close box does, and waits for it to end well.
quit() {
  kill -TERM "$program"
  await '! kill -0 "$program" 2>/dev/null' || fail "the program did not end after SIGTERM"
  wait "$program"
  local status=$?
  program=""
  [ "$status" = 0 ] || fail "exit status $status"
}
