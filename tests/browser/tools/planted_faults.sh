#!/usr/bin/env bash
# Plants each engine fault back by switching one fix of the compatibility
# script off, and checks that the browser tests that look at the page as a
# person would (not the test that lists the switched-on fixes) then fail in
# the engine that has the fault:
#   tests/browser/tools/planted_faults.sh [build folder]
# Needs a built halvane and what ./dev.sh test installs. The server is not
# built again: the test proxy sends the changed script in place of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(cd ../.. && cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name | engine | test files | text of the fix | the same with the fix off
plants=(
  "broken-image icons|firefox|progress.test.js gallery.test.js|var drawsBrokenIcon = !!(|var drawsBrokenIcon = false && !!("
  "colours without #|firefox|progress.test.js gallery.test.js|if (dropsHashless()) {|if (false) {"
  "popup fit|webkit|popup_calendar.test.js gallery.test.js|if (d && d.body && d.createRange) {|if (false) {"
  "tree columns|webkit|tree.test.js gallery.test.js|if (win.getComputedStyle && columnProbe() < 20) {|if (false) {"
)
status=0
for plant in "${plants[@]}"; do
  IFS='|' read -r name engine files fix off <<<"$plant"
  script="$work/compat.js"
  FIX=$fix OFF=$off node -e '
    const fs = require("fs");
    const s = fs.readFileSync(process.argv[1], "utf8");
    if (s.split(process.env.FIX).length !== 2) { console.error("fix not found once: " + process.env.FIX); process.exit(2); }
    fs.writeFileSync(process.argv[2], s.replace(process.env.FIX, process.env.OFF));
  ' ../../components/compat/browser_compat.js "$script"
  # shellcheck disable=SC2086
  if HALVANE_COMPAT_SCRIPT=$script HALVANE_ENGINES=$engine HALVANE_BIN=$BUILD/halvane \
      HALVANE_BROWSER_OUT=$work/out HALVANE_EXAMPLES=$(cd ../../examples && pwd) \
      node --test --test-concurrency=1 --test-reporter=spec $files >"$work/log" 2>&1; then
    echo "NOT CAUGHT: $name off, the $engine tests still pass"
    status=1
  else
    echo "caught: $name off fails in $engine:"
    grep -E '^\s*✖' "$work/log" | grep -v 'failing tests:' | sed 's/([0-9.]*ms)//' | sort -u | sed 's/^/   /'
  fi
done
exit $status
