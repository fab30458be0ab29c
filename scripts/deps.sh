#!/usr/bin/env bash
# Installs the Debian 12 packages Dervel needs, only those that are missing.
# Usage: scripts/deps.sh [build|run|package]   (default: run)
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config clang-format
            qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libqscintilla2-qt6-dev
            unixodbc unixodbc-dev tdsodbc freetds-bin libsqlite3-dev libgnutls28-dev zlib1g-dev
            libkrb5-dev krb5-kdc krb5-admin-server krb5-user
            clang libclang-rt-14-dev
            xvfb xauth x11-utils
            # xmllint: the plans' tests check documents against the showplan schema.
            libxml2-utils
            qt6-l10n-tools qt6-translations-l10n
            # The keyring: QtKeychain, which loads libsecret at run time; its tests
            # start a D-Bus session of their own with gnome-keyring-daemon in it.
            qtkeychain-qt6-dev libsecret-1-0
            dbus-daemon dbus-bin gnome-keyring
            # The alerts' window test: a real notification service on a private session.
            dunst
            # Recordings in PostgreSQL (libpq) and /metrics for Prometheus; the tests run a
            # PostgreSQL 15 server and a Prometheus of their own.
            libpq-dev postgresql prometheus
            # The incident summary's test opens the page in a real browser, headless.
            chromium)
# Building and checking the Debian package.
package_pkgs=(dpkg-dev desktop-file-utils appstream)
# Metric-compatible free fonts for Tahoma, MS Sans Serif, Courier New and Arial.
font_pkgs=(fonts-wine fonts-liberation fonts-liberation2 fonts-dejavu-core)

case "${1:-run}" in
  build|run) wanted=("${build_pkgs[@]}" "${font_pkgs[@]}") ;;
  package) wanted=("${build_pkgs[@]}" "${font_pkgs[@]}" "${package_pkgs[@]}") ;;
  *) echo "usage: $0 [build|run|package]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
