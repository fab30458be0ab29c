#!/usr/bin/env bash
# Builds Dervel (installing missing Debian packages first), starts the loopback demo
# server on a free port and opens Dervel on it with a server entry "Demo". The demo's
# settings live in a store of their own, so your own settings are never touched. The
# demo server stops when Dervel exits.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
build="${BUILD_DIR:-build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target dervel dervel-testserver

state="${XDG_STATE_HOME:-$HOME/.local/state}/dervel-demo"
mkdir -p "$state"
log="$state/testserver.log"
"$build/testserver/dervel-testserver" --port 0 "$@" >"$log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  grep -q '^listening on ' "$log" && break
  kill -0 $server 2>/dev/null || { cat "$log" >&2; exit 1; }
  sleep 0.1
done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$log" | head -n1)
[ -n "$port" ] || { echo "the demo server did not start:" >&2; cat "$log" >&2; exit 1; }
echo "Demo server on 127.0.0.1:$port (login sa / Dervel-2026)"

# A settings store of the demo's own, with one entry "Demo" pointing at this run's port.
config="$state/config"
mkdir -p "$config/dervel"
chmod 700 "$config" "$config/dervel"
cat >"$config/dervel/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Dervel\\Servers\\{6D656D6F-0000-4000-8000-000000000001}]
"Name"="Demo"
"ConnectionString"="Provider=SQLOLEDB.1;Data Source=127.0.0.1,$port;User ID=sa;Password=Dervel-2026;Application Name=Dervel"
"Version"=""
"Order"=dword:00000000

REG
chmod 600 "$config/dervel/registry.reg"
XDG_CONFIG_HOME="$config" "$build/src/app/dervel"
