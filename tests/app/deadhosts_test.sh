#!/usr/bin/env bash
# The program as a real process over a page whose links lead to hosts that
# cannot be reached, driven as a new user drives it: keys and clicks through
# the X server of a virtual display. A fresh user types the page's address
# over the example row (it keeps the example's "Page+1"), removes the
# example's address from the list, and in the settings window sets the
# time-out to 5 seconds and one thread a server (so no two threads meet one
# host at once, and each try of a host is seen alone); then presses "Quick
# mirror" and "Download files" (2 retries, 10 threads, robots.txt not asked
# for, as the example has it: a site whose robots.txt cannot be reached is
# kept out whole, and its pages would not go near the host). Of the
# page's links, 3 lead to the site itself and 8 to each of 9 dead hosts: 3
# that take the connection and never answer, 3 ports that refuse it, 3
# names that cannot resolve.
#
# Verdicts: each job tries each dead host once, retries included (a host
# that never answers takes one connection a job), and every page of a dead
# host is recorded as failed with "Host not found"; the job window's caption
# counts its items done of all it holds, the total fixed in a download job
# and the done count never going back; after each job the main window's
# status bar says what the job did (read back from the screen by OCR).
#   bash deadhosts_test.sh PATH_TO_quendravilos PATH_TO_qv_dumpproject
# QV_SHOTS=PREFIX keeps screenshots along the way as PREFIX<step>.png.
set -uo pipefail
exe=$(realpath "$1")
dump=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$(dirname "$here")")
. "$here/xdrive.sh"
for tool in tesseract import; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup installs it)"
done
drive_on_display "$@"

t=$(mktemp -d /tmp/qv-dead.XXXXXX)
chmod 755 "$t"
server=$t/server
mkdir -p "$server"
chmod 755 "$server"
program="" silent="" watcher="" shooter=""
cleanup() {
  for p in $program $silent $watcher $shooter; do
    kill -KILL "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  "$top/scripts/servers/nginx" stop "$server" >/dev/null 2>&1
  rm -rf "$t"
}
trap cleanup EXIT

start_web_server
/usr/bin/python3 "$here/deadhosts_site.py" silent "$t" 3 &
silent=$!
await '[ -s "$t/silent.ports" ]' || fail "the silent hosts did not listen"
/usr/bin/python3 "$here/deadhosts_site.py" make "$QV_NGINX_SITE_ROOT" "$QV_NGINX_SITE_PORT" "$t" 8 ||
  fail "the page was not made"
chmod -R a+rX "$QV_NGINX_SITE_ROOT"
root_url="http://127.0.0.1:$QV_NGINX_SITE_PORT/index.html"

fresh_user
project=$t/prog/MirrorProjects/Example1.mpj

# The main window's status bar, read from the screen: its bottom strip.
status_text() {
  local main
  main=$(xdotool search --all --onlyvisible --pid "$program" --name '^Mirror Project:' | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$main")"
  import -window root -crop "${WIDTH}x26+${X}+$((Y + HEIGHT - 26))" -resize 300% "$t/status.png"
  # One thread: a loaded machine's spare cores are not free for the taking.
  OMP_THREAD_LIMIT=1 tesseract "$t/status.png" - --psm 7 2>/dev/null |
    sed 's/[“”]/"/g; s/  */ /g; s/ *$//'
}
# The status bar once it begins with $1: the job's account is shown as the
# command's last step, and painted a moment after the project's save.
await_status() {
  local text=""
  for _ in $(seq 1 50); do
    text=$(status_text)
    case "$text" in "$1"*) break ;; esac
    sleep 0.2
  done
  echo "$text"
}
# The captions of the job window $1 names, every 0.2 s, into the file $2.
watch_captions() {
  while :; do
    xdotool search --all --onlyvisible --pid "$program" --name "^$1" getwindowname %@ 2>/dev/null
    sleep 0.2
  done >>"$2" &
  watcher=$!
}
stop_watching() {
  kill "$watcher" 2>/dev/null
  wait "$watcher" 2>/dev/null
  watcher=""
}
# The "N of M done" counts of a caption file, one "N M" line each.
counts() { sed -n 's/.*: \([0-9]*\) of \([0-9]*\) done$/\1 \2/p' "$1"; }

began=$(date +%s)
start_program

xdotool mousemove --sync "$gx" "$gy" click 1
xdotool type --delay 15 "$root_url"
xdotool key Return
click 100 426 3
await '[ "$(xdotool search --all --onlyvisible --pid "$program" --name "" | wc -l)" -gt 2 ]' ||
  fail "the list's pop-up menu did not open"
xdotool key d
open_settings
# The "Download" page: "Time Out:" 5, "Maximum threads: ... per server" 1.
settings_click 130 20
settings_click 107 192
xdotool key ctrl+a type 5
settings_click 162 240
xdotool key ctrl+a type 1
shot 01-settings
close_settings
no_other_windows "Settings"
shot 02-ready

# "Quick mirror": the page's links are listed and explored.
before=$(stamp "$project")
started=$(date +%s)
watch_captions "Extracting URLs:" "$t/captions-extract"
quick_mirror
await_save "$project" "$before" "Quick mirror"
stop_watching
extract_seconds=$(($(date +%s) - started))
shot 03-quick-mirror
no_other_windows "Quick mirror"
extract_status=$(await_status "Quick mirror finished")

# "Download files": every listed URL that is not stored, the dead pages too.
before=$(stamp "$project")
started=$(date +%s)
watch_captions "Downloading files:" "$t/captions-download"
download_files
(
  await 'xdotool search --all --onlyvisible --pid "$program" --name "^Downloading files: [1-9]" >/dev/null' &&
    shot 04-download-job
) &
shooter=$!
await_save "$project" "$before" "Download files"
stop_watching
kill "$shooter" 2>/dev/null
wait "$shooter" 2>/dev/null
shooter=""
download_seconds=$(($(date +%s) - started))
shot 05-downloaded
no_other_windows "Download files"
download_status=$(await_status "Download finished")
"$dump" "$project" >"$t/dump" || fail "the saved project does not load"
quit

# Each dead host was tried once a job, and each of its pages, retries
# included, failed at once after that.
while read -r port; do
  n=$(grep -cx "$port" "$t/silent.log")
  [ "$n" = 2 ] || fail "the silent host on port $port took $n connections in the two jobs, not one a job"
done <"$t/silent.ports"
while read -r url; do
  line=$(awk -F '\t' -v u="$url" '$1 == "url" && $5 == u' "$t/dump")
  [ -n "$line" ] || fail "$url was not listed"
  [ "$(cut -f2,7 <<<"$line")" = "30	Host not found" ] || fail "$url: $(cut -f2,7 <<<"$line")"
done <"$t/dead.txt"
while read -r url; do
  [ "$(awk -F '\t' -v u="$url" '$1 == "url" && $5 == u {print $2}' "$t/dump")" = 50 ] ||
    fail "$url was not stored"
done <"$t/live.txt"

# The job window counted its items done of all it held: never back, and in
# the download job out of a total that stayed the same through the retries.
dead=$(wc -l <"$t/dead.txt")
for job in extract download; do
  [ -s "$t/captions-$job" ] || fail "no caption of the $job job was seen"
  counts "$t/captions-$job" >"$t/counts-$job"
  [ -s "$t/counts-$job" ] || fail "the $job job's captions held no count: $(sort -u "$t/captions-$job")"
  awk 'NR > 1 && $1 < done { exit 1 } { done = $1 }' "$t/counts-$job" ||
    fail "the $job job's done count went back: $(uniq "$t/counts-$job" | tr '\n' ' ')"
done
[ "$(cut -d' ' -f2 "$t/counts-download" | sort -u)" = "$dead" ] ||
  fail "the download job's total was not its $dead items: $(uniq "$t/counts-download" | tr '\n' ' ')"

# What the status bar said after each job.
echo "status after the quick mirror: $extract_status"
echo "status after the download: $download_status"
grep -q "Quick mirror finished: 4 stored, $dead failed, 0 skipped. See them" <<<"$extract_status" ||
  fail "the status bar did not report the quick mirror: $extract_status"
grep -q "Download finished: 0 stored, $dead failed, 0 skipped. See them: Filters, \"Failed files\" = \"Only\"." <<<"$download_status" ||
  fail "the status bar did not report the download: $download_status"
echo "jobs: quick mirror $extract_seconds s, download $download_seconds s"
echo "PASS in $(($(date +%s) - began)) s"
