#!/usr/bin/env bash
# The "Passwords" page as a new user meets it: entries typed into the grid
# show their URL and user ID in clear and their password masked, one "*" a
# character, and are stored in the settings when the page is left.
#
# What the screen shows is read from the screen: a user ID typed as
# "*******" and a password of seven characters must look the same, and a URL
# must not look like a URL cell of as many "*".
#   bash passwords_test.sh PATH_TO_quendravilos
# QV_SHOTS=PREFIX keeps screenshots along the way as PREFIX<step>.png.
set -uo pipefail
exe=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xdrive.sh"
drive_on_display --no-server "$@"
command -v import >/dev/null || skip "import is missing (scripts/setup installs imagemagick)"
t=$(mktemp -d /tmp/qv-passwords.XXXXXX)
program=""
trap '[ -n "$program" ] && kill -KILL "$program" 2>/dev/null; rm -rf "$t"' EXIT
fresh_user

# The grid's cells by the layout the window opens with: rows under the
# headings, 30 pixels apart; columns "URL", "User ID" and "Password".
row_y() { echo $((77 + 30 * ($1 - 1))); }
# Types an entry into the grid's entry row $1, cell by cell.
type_entry() {
  click 240 "$(row_y "$1")"
  xdotool type --delay 15 "$2"
  xdotool key Tab
  xdotool type --delay 15 "$3"
  xdotool key Tab
  xdotool type --delay 15 "$4"
  xdotool key Return
}

start_program
passwords_page
url=http://127.0.0.1:9/private/
stars=$(printf '%*s' ${#url} '' | tr ' ' '*')
type_entry 1 "$url" '*******' 's3cret!'
# A URL of as many "*" sorts first, so the typed entry moves to row 2.
type_entry 2 "$stars" x y
# The focus goes to the empty entry row and the pointer off the grid: no
# cell of the two entries is drawn current or under the pointer.
click 240 "$(row_y 3)"
xdotool mousemove --sync $((wx + 700)) $((wy + 300))
sleep 0.5
shot 01-passwords
cmp -s <(screen_bytes "130x22+461+$(($(row_y 2) - 11))") <(screen_bytes "130x22+601+$(($(row_y 2) - 11))") ||
  fail "the password is not shown as the user ID \"*******\" is"
cmp -s <(screen_bytes "300x22+23+$(($(row_y 2) - 11))") <(screen_bytes "300x22+23+$(($(row_y 1) - 11))") &&
  fail "the URL is shown masked"
no_other_windows "Typing the entries"

# Leaving the page stores the grid, the passwords as typed.
retrieve_page
quit
grep -qF 'PassWords='"$stars"'\r\nx\r\ny\r\n'"$url"'\r\n*******\r\ns3cret!\r\n' "$(store_file)" ||
  fail "the settings store holds $(grep -a PassWords "$(store_file)")"
echo "PASS"
