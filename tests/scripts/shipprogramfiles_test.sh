#!/usr/bin/env bash
# The build's step that puts the shipped program folder files beside the
# executable (cmake/ShipProgramFiles.cmake): a project the program saved
# there survives the next build, every other shipped file follows the
# source, and a file the build folder lacks is put in.
set -euo pipefail

src=${1:?usage: $0 SOURCE_DIR}
t=$(mktemp -d /tmp/qv-ship-test.XXXXXX)
trap 'rm -rf "$t"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

mkdir -p "$t/share/MirrorProjects" "$t/share/Help" "$t/exe/MirrorProjects" "$t/exe/Help"
printf 'shipped example' >"$t/share/MirrorProjects/Example1.mpj"
printf 'shipped template' >"$t/share/MirrorProjects/Default.mpj"
printf 'new topic' >"$t/share/Help/20.htm"
printf 'logo' >"$t/share/Logo.svg"
printf "the user's mirror" >"$t/exe/MirrorProjects/Example1.mpj"
printf 'old topic' >"$t/exe/Help/20.htm"

cmake -DFROM="$t/share" -DTO="$t/exe" -P "$src/cmake/ShipProgramFiles.cmake"

while IFS='|' read -r file want why; do
  [ "$(cat "$t/exe/$file")" = "$want" ] || fail "$file holds \"$(cat "$t/exe/$file" 2>/dev/null)\": $why"
done <<'CASES'
MirrorProjects/Example1.mpj|the user's mirror|a project saved beside the program is kept
MirrorProjects/Default.mpj|shipped template|a missing project is shipped
Help/20.htm|new topic|a help topic follows the source
Logo.svg|logo|a missing file is shipped
CASES
echo "PASS"
