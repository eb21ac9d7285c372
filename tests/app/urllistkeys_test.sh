#!/usr/bin/env bash
# The URL list's keys as a new user meets them: URLs pasted into the list
# with Shift+Insert; Ctrl+C and Ctrl+Insert put every selected line on the
# clipboard, each ended by CR LF, as the list's pop-up "Copy" does; Delete
# removes the selected lines from the project, as its "Delete" does.
#   bash urllistkeys_test.sh PATH_TO_quendravilos PATH_TO_qv_dumpproject
# QV_SHOTS=PREFIX keeps screenshots along the way as PREFIX<step>.png.
set -uo pipefail
exe=$(realpath "$1")
dump=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xdrive.sh"
drive_on_display --no-server "$@"
command -v xclip >/dev/null || skip "xclip is missing (scripts/setup installs it)"
t=$(mktemp -d /tmp/qv-urllistkeys.XXXXXX)
program=""
trap '[ -n "$program" ] && kill -KILL "$program" 2>/dev/null; rm -rf "$t"' EXIT
fresh_user
project=$t/prog/MirrorProjects/Example1.mpj

line() { click "$list_x" $((list_y + list_line * $1)); }
clipboard() { xclip -selection clipboard -o; }
expect_clipboard() {
  local want=$1 what=$2
  # A key press takes effect at once: a failure shows within half a minute.
  await '[ "$(clipboard | od -An -c)" = "$(printf "$want" | od -An -c)" ]' 300 ||
    fail "$what put on the clipboard: $(clipboard | od -An -c)"
}

start_program
# The first-run project lists one URL; four more come from the clipboard.
u=http://127.0.0.1:9
printf '%s\n' "$u/a.html" "$u/b.html" "$u/c.html" "$u/d.html" | xclip -selection clipboard -i
line 0
xdotool key shift+Insert
sleep 0.5
shot 01-pasted

# Lines 2 to 4 (b, c, d) by a click and a Shift+click: Ctrl+C.
line 2
xdotool keydown shift
line 4
xdotool keyup shift
xdotool key ctrl+c
expect_clipboard "$u/b.html\r\n$u/c.html\r\n$u/d.html\r\n" "Ctrl+C"
# Lines 1 and 3 (a, c) by a click and a Ctrl+click: Ctrl+Insert.
line 1
xdotool keydown ctrl
line 3
xdotool keyup ctrl
xdotool key ctrl+Insert
expect_clipboard "$u/a.html\r\n$u/c.html\r\n" "Ctrl+Insert"
shot 02-selected

# Delete: a and c go, with no question (neither was downloaded).
xdotool key Delete
sleep 0.5
shot 03-deleted
no_other_windows "Delete"
quit
"$dump" "$project" >"$t/after" || fail "the project does not load"
[ "$(grep -c '^url' "$t/after")" = 3 ] || fail "the project lists $(grep '^url' "$t/after")"
for gone in a c; do
  grep -q "	$u/$gone.html	" "$t/after" && fail "$u/$gone.html is still listed"
done
for kept in b d; do
  grep -q "	$u/$kept.html	" "$t/after" || fail "$u/$kept.html was deleted"
done
echo "PASS"
