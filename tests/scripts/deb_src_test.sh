#!/usr/bin/env bash
# The deb-src entries that setup-deps.sh derives, over sample apt configurations
# in a temporary directory (never the machine's own).
#   deb_src_test.sh DERIVE_SCRIPT
set -uo pipefail
derive=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# case NAME: the sample lies in $work/NAME/{sources.list,sources.list.d/}, the
# expected output in $work/NAME/expected/.
check() {
  local name=$1 dir=$work/$1
  if ! "$derive" "$dir/sources.list" "$dir/sources.list.d" "$dir/out" 2>"$dir/stderr"; then
    echo "FAIL $name: the derivation failed: $(cat "$dir/stderr")"
    failures=$((failures + 1))
    return
  fi
  if diff -ru "$dir/expected" "$dir/out" >"$dir/diff"; then
    echo "ok   $name"
  else
    echo "FAIL $name"
    cat "$dir/diff"
    failures=$((failures + 1))
  fi
}

sample() {  # sample NAME FILE (relative to the case), content on standard input
  mkdir -p "$(dirname "$work/$1/$2")"
  cat >"$work/$1/$2"
}

header='# Written by setup-deps.sh: a deb-src entry for each deb entry of this machine.'

# One-line entries: options and comments kept as apt reads them, a suite that
# already has its deb-src left out, a commented-out deb-src does not count.
sample one-line sources.list <<'EOF'
# the machine's mirror
deb [signed-by=/usr/share/keyrings/archive.gpg arch=amd64] http://mirror.invalid/debian bookworm main contrib
deb http://mirror.invalid/debian/ bookworm-updates main   # trailing comment
deb-src http://mirror.invalid/debian bookworm-updates main
# deb-src http://mirror.invalid/debian bookworm main
deb file:/srv/security bookworm-security main
EOF
sample one-line expected/setup-deb-src.list <<EOF
$header
deb-src [signed-by=/usr/share/keyrings/archive.gpg arch=amd64] http://mirror.invalid/debian bookworm main contrib
deb-src file:/srv/security bookworm-security main
EOF

# deb822 stanzas: every field but the type kept (a key written inline spans
# lines), disabled stanzas and those that carry deb-src themselves left out,
# suites already covered by a one-line deb-src dropped from the stanza.
sample deb822 sources.list <<'EOF'
deb-src http://proxy.invalid:3142/debian bookworm-updates main
EOF
sample deb822 sources.list.d/debian.sources <<'EOF'
# the archive through the office proxy
Types: deb
URIs: http://proxy.invalid:3142/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGPkTestKeyLines
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb
URIs: http://proxy.invalid:3142/extra
Suites: bookworm
Components: main
Enabled: no

types: deb deb-src
uris: http://proxy.invalid:3142/both
suites: bookworm
components: main
EOF
sample deb822 sources.list.d/security.sources <<'EOF'
Types: deb
URIs: file:/srv/security
Suites: bookworm-security
Components: main non-free-firmware
EOF
sample deb822 expected/setup-deb-src.sources <<EOF
$header

Types: deb-src
Suites: bookworm
URIs: http://proxy.invalid:3142/debian
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGPkTestKeyLines
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb-src
Suites: bookworm-security
URIs: file:/srv/security
Components: main non-free-firmware
EOF

# Only the files apt reads count: earlier output of ours, other extensions and
# names with other characters do not; two deb entries of one suite give one.
sample ignored sources.list.d/setup-deb-src.list <<'EOF'
deb-src http://old.invalid/debian bookworm main
EOF
sample ignored sources.list.d/setup-deb-src.sources <<'EOF'
Types: deb-src
URIs: http://old.invalid/debian
Suites: bookworm
Components: main
EOF
sample ignored sources.list.d/vendor.list.disabled <<'EOF'
deb http://vendor.invalid/apt stable main
EOF
sample ignored 'sources.list.d/bad name.list' <<'EOF'
deb http://vendor.invalid/apt stable main
EOF
sample ignored sources.list.d/archive.list <<'EOF'
deb [arch=amd64] file:/srv/debian bookworm main
deb [arch=i386] file:/srv/debian bookworm main
EOF
sample ignored expected/setup-deb-src.list <<EOF
$header
deb-src [arch=amd64] file:/srv/debian bookworm main
EOF

# Nothing to derive: no output files at all.
sample covered sources.list <<'EOF'
deb file:/srv/debian bookworm main
deb-src file:/srv/debian bookworm main
EOF
mkdir -p "$work/covered/expected"

for name in one-line deb822 ignored covered; do check "$name"; done

# Run again over its own output installed beside the inputs: the same result.
cp "$work/deb822/out/setup-deb-src.sources" "$work/deb822/sources.list.d/"
check deb822

[ "$failures" -eq 0 ]
