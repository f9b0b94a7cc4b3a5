#!/usr/bin/env bash
# Fetches Debian's source package of snappy (the version Debian builds its own
# library from) and unpacks it with Debian's patches applied.
#   fetch-snappy-source.sh DEST
set -euo pipefail
dest=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get source --download-only snappy >/dev/null 2>&1 || {
  echo "apt-get source snappy failed: is a deb-src entry configured (scripts/setup-deps.sh)?" >&2
  exit 1
}
rm -rf "$dest"
mkdir -p "$(dirname "$dest")"
dpkg-source --no-check -x ./snappy_*.dsc "$dest" >/dev/null
