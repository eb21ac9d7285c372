#!/usr/bin/env bash
# The mirror browses off line in a real browser: a generated site served by
# the tests' nginx is mirrored by the headless job harness (extract, download
# and localise through the job runner), then every stored page is opened from
# file:// in headless Chromium with all network access refused, and every
# style sheet, image, script and linked page must come from the mirror.
#   bash offline_browse_test.sh PATH_TO_mirror_job [offline_browse.py options]
# (with --site FOLDER a copy of that folder is the site; see offline_browse.py).
# Needs the servers of scripts/test-servers; skipped (77) without them or
# without Chromium, except under CI, where scripts/setup installs Chromium.
set -uo pipefail
harness=$1
here=$(cd "$(dirname "$0")" && pwd)
chromium=${CHROMIUM:-$(command -v chromium || true)}
if [ -z "$chromium" ]; then
  echo "chromium is missing (scripts/setup installs it)"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
if [ -z "${QV_NGINX_PORT:-}" ] || [ -z "${QV_NGINX_ROOT:-}" ]; then
  echo "QV_NGINX_PORT unset: run under scripts/test-servers"
  exit 77
fi
exec python3 "$here/../support/offline_browse.py" --harness "$harness" --chromium "$chromium" "${@:2}"
