#!/usr/bin/env bash
# Brings translations/dervel_en.ts up to date with the source texts (new texts arrive
# unfinished, for a translator to fill in with Qt Linguist or by hand).
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
"$lupdate" -source-language ru_RU -target-language en_US -locations none -no-obsolete \
  src -ts translations/dervel_en.ts
