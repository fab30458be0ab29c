#!/usr/bin/env bash
# Builds Dervel (installing missing Debian packages first), starts the loopback demo
# server on a free port and opens Dervel on it with a server entry "Demo". The demo's
# settings live in a store of their own, so your own settings are never touched. The
# demo server stops when Dervel exits.
set -euo pipefail
cd "$(dirname "$0")/.."
estate=1
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --estate) estate="${2:?--estate needs a number}"; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
[[ "$estate" =~ ^[1-9][0-9]*$ ]] || { echo "--estate N: N from 1 up" >&2; exit 2; }
scripts/deps.sh run
build="${BUILD_DIR:-build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target dervel dervel-testserver

state="${XDG_STATE_HOME:-$HOME/.local/state}/dervel-demo"
mkdir -p "$state"
servers=()
trap 'kill "${servers[@]}" 2>/dev/null || true; wait "${servers[@]}" 2>/dev/null || true' EXIT
# Sizes that differ, as an estate's do; the second server's chains hold for an hour.
sizes=(200 450 120 800 300 60 1000 250)
ports=()
for i in $(seq "$estate"); do
  log="$state/testserver-$i.log"
  extra=(--seed "$i" --sessions "${sizes[$(( (i - 1) % ${#sizes[@]} ))]}")
  [ "$estate" -gt 1 ] && [ "$i" -eq 2 ] && extra+=(--hold-chains 3600)
  [ "$estate" -eq 1 ] && extra=()
  "$build/testserver/dervel-testserver" --port 0 --demo "${extra[@]}" "${args[@]}" >"$log" 2>&1 &
  servers+=($!)
  for _ in $(seq 50); do
    grep -q '^listening on ' "$log" && break
    kill -0 "${servers[-1]}" 2>/dev/null || { cat "$log" >&2; exit 1; }
    sleep 0.1
  done
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$log" | head -n1)
  [ -n "$port" ] || { echo "the demo server did not start:" >&2; cat "$log" >&2; exit 1; }
  ports+=("$port")
  echo "Demo server $i on 127.0.0.1:$port (login sa / Dervel-2026)"
done

# A settings store of the demo's own: the grid's built-in layout and an entry for each
# server of this run, connected at start.
config="$state/config"
mkdir -p "$config/dervel"
chmod 700 "$config" "$config/dervel"
reg="$config/dervel/registry.reg"
{
  cat <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Dervel]
"SortColumn"=dword:00000000
"SortDirection"=dword:00000000
"Columns"=hex:01,00,00,00,3c,00,01,00,01,00,64,00,01,00,02,00,50,00,01,00,03,\\
  00,5a,00,01,00,04,00,64,00,01,00,05,00,64,00,01,00,06,00,82,00,01,00,07,00,\\
  82,00,01,00,08,00,50,00,01,00,09,00,50,00,01,00,0a,00,50,00,01,00,0b,00,64,\\
  00,01,00,0c,00,64,00,01,00,0d,00,50,00,00,00,0e,00,78,00,00,00,0f,00,78,00,\\
  00,00,10,00,78,00,00,00,11,00,78,00,00,00,12,00,78,00,00,00,13,00,78,00,00,\\
  00,14,00,78,00,00,00,15,00,78,00,00,00,16,00,78,00,00,00,17,00,78,00,00,00,\\
  18,00,78,00,00,00,19,00,78,00,00,00,1a,00,78,00,00,00,1b,00,78,00,00,00,1c,\\
  00,78,00,00,00,1d,00,78,00,00,00,1e,00,78,00,00,00,1f,00,78,00,00,00,20,00,\\
  78,00,00,00,21,00,78,00,00,00,22,00,78,00,00,00,23,00,78,00,00,00,24,00,78,\\
  00
REG
  if [ "$estate" -gt 1 ]; then
    echo '"EstatePeriod"=dword:000003e8'
    echo '"ServerPanelWidth"=dword:00000208'
  fi
  for i in $(seq "$estate"); do
    name="Demo"
    [ "$estate" -gt 1 ] && name="Demo $i"
    printf '\n[HKEY_CURRENT_USER\\Software\\Dervel\\Servers\\{6D656D6F-0000-4000-8000-%012X}]\n' "$i"
    printf '"Name"="%s"\n' "$name"
    printf '"ConnectionString"="Provider=SQLOLEDB.1;Data Source=127.0.0.1,%s;User ID=sa;Password=Dervel-2026;Application Name=Dervel"\n' "${ports[$((i - 1))]}"
    printf '"Version"=""\n"Order"=dword:%08x\n' "$((i - 1))"
    printf '"ConnectAtStart"=dword:00000001\n"ConnectedAtExit"=dword:00000001\n'
  done
} >"$reg"
chmod 600 "$reg"
first="Demo"
[ "$estate" -gt 1 ] && first="Demo 1"
XDG_CONFIG_HOME="$config" "$build/src/app/dervel" --server "$first"
