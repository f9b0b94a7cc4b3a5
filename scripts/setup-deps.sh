#!/usr/bin/env bash
# Installs every Debian package that the build and the tests need; with the
# argument "bench" also what only the benchmarks need. Idempotent; quick when
# everything is there.
set -euo pipefail
packages=(
  cmake g++ make pkg-config dpkg-dev
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  clang-14 libclang-rt-14-dev
  libsnappy-dev googletest libgtest-dev libbenchmark-dev libglpk-dev unicode-data
  wine wine64 xvfb xauth imagemagick
)
# The start-up benchmark's peer installer is built with makensis.
[ "${1:-}" = bench ] && packages+=(nsis)
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo

# The Windows build compiles Debian's own snappy source: it needs a deb-src entry.
src_list=/etc/apt/sources.list.d/setup-deb-src.sources
need_update=
if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  . /etc/os-release
  $sudo tee "$src_list" >/dev/null <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $VERSION_CODENAME $VERSION_CODENAME-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ -n "$need_update" ]; then
  $sudo apt-get update -q >/dev/null
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
