#!/usr/bin/env bash
# Builds the Debian package dervel_<version>_amd64.deb in build-deb (a release build
# without the tests; dervel and dervel-record) and validates the launcher and the AppStream file.
# With --install-test (as root): installs the package with apt, runs the installed
# program's --version and --help, and removes it again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
build="${PACKAGE_BUILD_DIR:-build-deb}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DDERVEL_TESTS=OFF -DDERVEL_WERROR="${DERVEL_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j2
(cd "$build" && rm -f dervel_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/dervel_*_amd64.deb)
echo "Built $deb"
desktop-file-validate packaging/dervel.desktop
appstreamcli validate --no-net packaging/io.github.dervel.Dervel.metainfo.xml
dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Recommends\):/\1:/p'

if [ "${1:-}" = "--install-test" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq "./$deb" >/dev/null
  # The installed program, not the build tree's; no display is needed for either.
  (cd / && env -u DISPLAY dervel --version && env -u DISPLAY dervel --help >/dev/null &&
     dervel-record --version && dervel-record --help >/dev/null)
  apt-get remove -y -qq dervel >/dev/null
  echo "Installed, ran and removed $deb"
fi
