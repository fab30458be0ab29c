#!/usr/bin/env bash
# Regenerates the README's screenshots from the real windows on the live demo, under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
command -v xvfb-run >/dev/null || { sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo);
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends xvfb xauth; }
build="${BUILD_DIR:-build}"
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target dervel_screenshots dervel-testserver
mkdir -p docs/screenshots
QT_QPA_PLATFORM=xcb LANG=ru_RU.UTF-8 xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/tools/dervel_screenshots" "$build/testserver/dervel-testserver" docs/screenshots
# The main window again in English on a screen scaled by two, as on a HiDPI display.
scaled=$(mktemp -d)
trap 'rm -rf "$scaled"' EXIT
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 LANG=en_US.UTF-8 xvfb-run -a -s "-screen 0 3200x2000x24" \
  "$build/tools/dervel_screenshots" "$build/testserver/dervel-testserver" "$scaled"
cp "$scaled/main-window.png" docs/screenshots/main-window-en-2x.png
