#!/usr/bin/env bash
# "New mirror / Load mirror" as a new user meets it, through the program's
# own chooser: a name that does not exist yet becomes a new project of that
# name made from the template; a root URL typed into it is saved at close;
# the next start opens it again, and the chooser opens the first project by
# its name with no question about the existing file.
#   bash newproject_test.sh PATH_TO_quendravilos PATH_TO_qv_dumpproject
# QV_SHOTS=PREFIX keeps screenshots along the way as PREFIX<step>.png.
set -uo pipefail
exe=$(realpath "$1")
dump=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xdrive.sh"
drive_on_display --no-server "$@"
t=$(mktemp -d /tmp/qv-newproject.XXXXXX)
program=""
trap '[ -n "$program" ] && kill -KILL "$program" 2>/dev/null; rm -rf "$t"' EXIT
fresh_user
projects=$t/prog/MirrorProjects

caption_is() { xdotool search --all --onlyvisible --pid "$program" --name "^Mirror Project:  $1\$" >/dev/null; }
# The windows of that title: the chooser, and a box it raises over itself.
choosers() { xdotool search --all --onlyvisible --pid "$program" --name "^Open\$" 2>/dev/null | wc -l; }
# The button's chooser: the name typed, Return pressed; $2 names the shot.
choose_project() {
  new_mirror
  await '[ "$(choosers)" -gt 0 ]' || fail "\"New mirror / Load mirror\" opened no chooser"
  shot "$2"
  xdotool type --delay 15 "$1"
  xdotool key Return
  await '[ "$(choosers)" != 1 ]'
  [ "$(choosers)" = 0 ] || fail "the chooser did not take the name \"$1\""
}

start_program
choose_project First 01-chooser
await 'caption_is First.mpj' || fail "the new name did not become the project"
no_other_windows "A new name"
shot 02-new-project
# The template has no root rows: the grid's first row is its entry row.
root_url=http://127.0.0.1:9/first/
xdotool mousemove --sync "$gx" "$gy" click 1
xdotool type --delay 15 "$root_url"
xdotool key Return
quit

[ -f "$projects/First.mpj" ] || fail "the new project was not saved at close"
"$dump" "$projects/First.mpj" >"$t/first" || fail "the new project does not load"
"$dump" "$projects/Default.mpj" >"$t/template" || fail "the template does not load"
[ "$(grep '^root' "$t/first")" = "root	0	0	$root_url" ] ||
  fail "the new project's root rows: $(grep '^root' "$t/first")"
diff <(grep '^option' "$t/template") <(grep '^option' "$t/first") >"$t/diff" ||
  fail "the new project's options are not the template's:
$(cat "$t/diff")"
grep -qF "CurrentURLFile=$projects/First.mpj" "$(store_file)" ||
  fail "the settings store does not name the new project"

# The next start opens the new project; the chooser opens the first one again.
start_program First.mpj
choose_project Example1 03-chooser-again
await 'caption_is Example1.mpj' || fail "the chooser did not open the existing project"
no_other_windows "An existing name"
quit
cmp -s "$projects/Example1.mpj" "$xdrive_top/share/MirrorProjects/Example1.mpj" ||
  fail "opening the existing project changed it"
echo "PASS"
