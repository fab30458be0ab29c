#!/bin/sh
# Runs a test against a real Secret Service of its own: a private D-Bus session with
# gnome-keyring-daemon, its keyrings in a temporary folder, unlocked with a password
# given here. The user's own session and keyring are never touched.
# Usage: with-keyring.sh TEST [ARGS...]
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -m 700 "$dir/run"
export XDG_DATA_HOME="$dir/data" XDG_RUNTIME_DIR="$dir/run"
unset DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL
status=0
dbus-run-session -- sh -c '
  # The password unlocks (and first creates) the "login" keyring, the default one.
  printf "%s" dervel-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  # The daemon takes its name on the bus a moment after it forks.
  i=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
        grep -q "boolean true"; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "gnome-keyring-daemon did not start" >&2; exit 1; fi
    sleep 0.1
  done
  exec "$@"' with-keyring "$@" || status=$?
exit $status
