#!/usr/bin/env bash
# Copies one engine's gallery screenshots from the last browser test run into
# docs/, under the names the README shows:
#   docs/update_screenshots.sh [engine] [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
engine=${1:-webkit}
from=${2:-build}/browser/$engine
while read -r shot doc; do
  cp "$from/$shot" "docs/$doc"
done <<'LIST'
gallery-tree-open.png tree.png
gallery-calendar-popup.png calendar.png
gallery-tabs-calendar.png tabs.png
gallery-menu-open.png popup-menu.png
gallery-autocomplete-typing.png autocomplete.png
gallery-progress-running.png progress-bar.png
LIST
echo "docs/: the $engine screenshots of $from"
