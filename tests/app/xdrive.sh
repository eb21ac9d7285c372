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

# Skips without the tools; then runs the calling script again on a display of
# its own ($0 with the same arguments).
drive_on_display() {
  local tool
  for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup installs it)"
  done
  [ -x /usr/sbin/nginx ] || skip "nginx is missing (scripts/setup installs it)"
  [ -x /usr/bin/python3 ] || skip "python3 is missing (scripts/setup installs it)"
  if [ -z "${QV_DRIVE_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x900x24" env QV_DRIVE_DISPLAY=1 bash "$0" "$@"
  fi
}

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
# Waits up to five minutes for a condition (a loaded machine may take that long).
await() {
  for _ in $(seq 1 3000); do
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
