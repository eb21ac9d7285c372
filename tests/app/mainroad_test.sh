#!/usr/bin/env bash
# The main road through the program as a real process, driven as a new user
# drives it: keys and mouse clicks through the X server of a virtual display.
# A fresh user opens the first-run project, types the root URL of a local site
# of 340 pages (nested folders, style sheets, images, two redirects, a folder
# robots.txt keeps out, pages on a second host) over the example row, sets its
# scope and levels, removes the example's address from the list, has robots.txt
# obeyed and the drop window moved to "Bottom right" in the settings window,
# then presses "Quick mirror" and "Download files" ("Localise references" is on
# by itself). After a quit and a new start the project comes back with the
# same list and options, and an option changed then in the settings window
# is saved at the next close.
#
# Verdicts come from files: the project file (through qv_dumpproject), the
# mirror folder, the settings store and the web server's log. Buttons are
# found by the main window's own layout at the size it opens with; every
# click is checked by what it must bring about, so a moved button fails the
# test instead of passing it.
#   bash mainroad_test.sh PATH_TO_quendravilos PATH_TO_qv_dumpproject
# QV_SHOTS=PREFIX keeps screenshots along the way as PREFIX<step>.png.
set -uo pipefail
exe=$(realpath "$1")
dump=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$(dirname "$here")")
. "$here/xdrive.sh"
drive_on_display "$@"

t=$(mktemp -d /tmp/qv-road.XXXXXX)
chmod 755 "$t"
server=$t/server
mkdir -p "$server"
chmod 755 "$server"
program=""
cleanup() {
  [ -n "$program" ] && kill -KILL "$program" 2>/dev/null
  "$top/scripts/servers/nginx" stop "$server" >/dev/null 2>&1
  rm -rf "$t"
}
trap cleanup EXIT

start_web_server
/usr/bin/python3 "$here/mainroad_site.py" make "$QV_NGINX_SITE_ROOT" "$QV_NGINX_SITE_PORT" \
  "$QV_NGINX_SITE2_ROOT" "$QV_NGINX_SITE2_PORT" || fail "the site was not made"
chmod -R a+rX "$QV_NGINX_SITE_ROOT" "$QV_NGINX_SITE2_ROOT"
root_url="http://127.0.0.1:$QV_NGINX_SITE_PORT/index.html"

fresh_user
project=$t/prog/MirrorProjects/Example1.mpj
mirror=$t/home/TvWeb
store="$t/config/Quorvane Software/Quendravilos/1.0"

browsing_page() { settings_click 185 20; }

began=$(date +%s)
start_program
shot 01-first-start
cmp -s "$project" "$top/share/MirrorProjects/Example1.mpj" || fail "the first-run project is not the shipped one"

# The example's root row: click it and type over it.
xdotool mousemove --sync "$gx" "$gy" click 1
xdotool type --delay 15 "$root_url"
xdotool key Return
# The levels column: Space steps the scope twice, Page+ to Site+; a digit sets the levels.
xdotool key Right space space 1
shot 02-root-typed

# The example's address goes from the list: its pop-up menu, "Delete".
click 100 426 3
await '[ "$(xdotool search --all --onlyvisible --pid "$program" --name "" | wc -l)" -gt 2 ]' ||
  fail "the list's pop-up menu did not open"
shot 03-list-menu
xdotool key d

# "Settings": robots.txt obeyed (off: "Enter "No Robot" zones." on the "Quick
# mirror" page), the drop window at "Bottom right" (the "Browsing" page).
open_settings
robots_switch
shot 04-settings-robots
browsing_page
settings_click 35 244
shot 05-settings-corner
close_settings
no_other_windows "Settings"

# "Quick mirror": the job explores the site, then the project is saved.
before=$(stamp "$project")
quick_mirror
await_save "$project" "$before" "Quick mirror"
shot 06-quick-mirror
no_other_windows "Quick mirror"
"$dump" "$project" >"$t/after-quick" || fail "the project saved after the quick mirror does not load"
grep -qx "root	2	1	$root_url" "$t/after-quick" ||
  fail "the root row is not Site+1 $root_url: $(grep ^root "$t/after-quick")"
[ "$(grep -c '^root' "$t/after-quick")" = 1 ] || fail "more root rows than the one typed"
grep -q '^url.*quorvane' "$t/after-quick" && fail "the example's address is still listed"
[ "$(grep -c '^url' "$t/after-quick")" -ge 340 ] ||
  fail "the quick mirror listed only $(grep -c '^url' "$t/after-quick") URLs"

# "Download files": the threads fetch what is listed, then the saved pages are
# localised and the project saved. The job window shows "Localise references"
# checked; keep a picture of it when it is seen.
before=$(stamp "$project")
download_files
(
  await 'xdotool search --all --onlyvisible --pid "$program" --name "^Downloading files:" >/dev/null' && shot 07-download-job
) &
watcher=$!
await_save "$project" "$before" "Download files"
kill "$watcher" 2>/dev/null
wait "$watcher" 2>/dev/null
shot 08-downloaded
no_other_windows "Download files"
"$dump" "$project" >"$t/after-download" || fail "the project saved after the download does not load"
/usr/bin/python3 "$here/mainroad_site.py" check "$QV_NGINX_SITE_ROOT" "$t/after-download" >"$t/check" ||
  fail "the mirror is not what the site holds:
$(head -n 40 "$t/check")"
cat "$t/check"
for option in "EnterNoRobChk	0" "BRChk	1" "TLChk	0" "LocWebEd	$mirror"; do
  grep -qx "option	$option" "$t/after-download" || fail "the project does not hold option $option"
done
grep -q " /private/" "$QV_NGINX_SITE_LOG" && fail "a folder robots.txt keeps out was requested"
# What the jobs stored lies in the mirror folder and the program folder's
# cache: the home folder holds the mirror alone, and the folder the program
# was started in stays empty.
[ "$(ls -A "$t/home")" = TvWeb ] || fail "the home folder holds $(ls -A "$t/home")"
[ -z "$(ls -A "$t/cwd")" ] || fail "files in the working folder: $(ls -A "$t/cwd")"

# Quit: nothing changed since the download's save, so the file is left alone.
cp -p "$project" "$t/saved.mpj"
quit
cmp -s "$project" "$t/saved.mpj" || fail "closing rewrote an unmodified project"
grep -q "CurrentURLFile=$project" "$store" || fail "the settings store does not name the project"

# Start again: the same project comes back. The one change made now is a
# project option in the settings window ("Bottom left"), so closing must save.
start_program
shot 09-second-start
no_other_windows "The second start"
open_settings
browsing_page
shot 10-settings-again
settings_click 35 222
close_settings
before=$(stamp "$project")
quit
[ "$(stamp "$project")" != "$before" ] || fail "a project option changed in the settings window was not saved at close"
"$dump" "$project" >"$t/after-restart" || fail "the project does not load after the second run"
sed 's/^option\tBRChk\t1$/option\tBRChk\t0/; s/^option\tBLChk\t0$/option\tBLChk\t1/' \
  "$t/after-download" >"$t/expected"
diff "$t/expected" "$t/after-restart" >"$t/diff" ||
  fail "the project came back changed:
$(head -n 20 "$t/diff")"
echo "PASS in $(($(date +%s) - began)) s"
