#!/bin/sh
# Runs a test with a real notification service: a private D-Bus session with dunst in it,
# on the X server the test runs on (xvfb-run gives DISPLAY). Every call to the service is
# logged by dbus-monitor into the file named by DERVEL_NOTIFY_LOG, which the test reads.
# The user's own session is never touched. Usage: with-dunst.sh TEST [ARGS...]
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -m 700 "$dir/run"
export XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config" DERVEL_NOTIFY_LOG="$dir/notify.log"
unset DBUS_SESSION_BUS_ADDRESS
status=0
dbus-run-session -- sh -c '
  dbus-monitor --session "interface=org.freedesktop.Notifications" >"$DERVEL_NOTIFY_LOG" 2>&1 &
  dunst >"$DERVEL_NOTIFY_LOG.dunst" 2>&1 &
  i=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null |
        grep -q "boolean true"; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "dunst did not start:" >&2; cat "$DERVEL_NOTIFY_LOG.dunst" >&2; exit 1; fi
    sleep 0.1
  done
  exec "$@"' with-dunst "$@" || status=$?
exit $status
