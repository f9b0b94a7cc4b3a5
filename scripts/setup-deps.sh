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
  wine wine64 xvfb xauth imagemagick osslsigncode openssl
)
# The start-up benchmark's peer installer is built with makensis.
[ "${1:-}" = bench ] && packages+=(nsis)
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo

# The Windows build compiles Debian's own snappy source: it needs deb-src
# entries. They follow the machine's own deb entries (its mirror or proxy).
list=
parts=
eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
derived=$(mktemp -d)
trap 'rm -rf "$derived"' EXIT
"$(dirname "$0")/derive-deb-src.sh" "$list" "$parts" "$derived"
need_update=
for file in setup-deb-src.list setup-deb-src.sources; do
  if [ -f "$derived/$file" ]; then
    cmp -s "$derived/$file" "$parts/$file" && continue
    $sudo install -m 644 "$derived/$file" "$parts/$file"
  elif [ -e "$parts/$file" ]; then
    $sudo rm -f "$parts/$file"
  else
    continue
  fi
  need_update=1
done

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
