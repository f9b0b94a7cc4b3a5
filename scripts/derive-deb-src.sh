#!/usr/bin/env bash
# Derives source entries (deb-src) from the machine's own package entries (deb):
# the same URIs, suites, components and options, so that a mirror or a proxy
# serves the sources too. Entries that already have their deb-src are left out.
#   derive-deb-src.sh SOURCELIST PARTSDIR OUTDIR
# SOURCELIST is the one-line file (sources.list), PARTSDIR the directory of
# *.list (one-line) and *.sources (deb822) files, as apt reads them. Writes
# OUTDIR/setup-deb-src.list and OUTDIR/setup-deb-src.sources, each only when
# it has entries; files of those names in PARTSDIR are ignored (earlier output).
set -euo pipefail
list=$1
parts=$2
out=$3
name=setup-deb-src

inputs=()
[ -f "$list" ] && inputs+=("$list")
if [ -d "$parts" ]; then
  for f in "$parts"/*.list "$parts"/*.sources; do
    base=$(basename "$f")
    # apt skips names with other characters; our own output is no input.
    [[ -f "$f" && "$base" =~ ^[A-Za-z0-9_.-]+$ ]] || continue
    [[ "$base" == "$name.list" || "$base" == "$name.sources" ]] && continue
    inputs+=("$f")
  done
fi
mkdir -p "$out"
rm -f "$out/$name.list" "$out/$name.sources"
[ ${#inputs[@]} -gt 0 ] || exit 0

awk -v out_list="$out/$name.list" -v out_sources="$out/$name.sources" '
function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s); return s }
function norm(uri) { sub(/\/+$/, "", uri); return uri }
function has_word(s, w,    n, a, i) {
  n = split(s, a, /[ \t]+/)
  for (i = 1; i <= n; i++) if (a[i] == w) return 1
  return 0
}

# One-line format: TYPE [OPTIONS] URI SUITE [COMPONENT...]
function one_line(line,    type, rest, options, close_at, n, f, uri, suite, comps, i) {
  sub(/#.*/, "", line)
  line = trim(line)
  if (line == "") return
  type = line; sub(/[ \t].*/, "", type)
  rest = trim(substr(line, length(type) + 1))
  options = ""
  if (substr(rest, 1, 1) == "[") {
    close_at = index(rest, "]")
    if (!close_at) return
    options = substr(rest, 1, close_at)
    rest = trim(substr(rest, close_at + 1))
  }
  n = split(rest, f, /[ \t]+/)
  if (n < 2) return
  uri = norm(f[1]); suite = f[2]
  comps = ""
  for (i = 3; i <= n; i++) comps = comps " " f[i]
  if (type == "deb-src") { covered[uri, suite] = 1; return }
  if (type != "deb") return
  entries++
  kind[entries] = "line"
  text[entries] = (options == "" ? "" : options " ") f[1] " " suite comps
  uris[entries] = uri; suites[entries] = suite
}

# deb822 format: one stanza of fields, continuation lines start with a blank.
function stanza_line(line,    field) {
  if (line ~ /^#/) return
  if (line ~ /^[ \t]/) {
    if (current != "") { raw[nraw] = raw[nraw] "\n" line; value[current] = value[current] " " trim(line) }
    return
  }
  field = line; sub(/:.*/, "", field)
  field = tolower(trim(field))
  current = field
  value[field] = trim(substr(line, index(line, ":") + 1))
  raw[++nraw] = line
  rawfield[nraw] = field
}
function end_stanza(    types, nu, ns, u, s, i, j, keep, body) {
  if (nraw == 0) return
  types = value["types"]
  if (tolower(value["enabled"]) != "no" && value["uris"] != "" && value["suites"] != "") {
    nu = split(value["uris"], u, /[ \t]+/)
    ns = split(value["suites"], s, /[ \t]+/)
    if (has_word(types, "deb-src"))
      for (i = 1; i <= nu; i++) for (j = 1; j <= ns; j++) covered[norm(u[i]), s[j]] = 1
    if (has_word(types, "deb")) {
      body = ""
      for (i = 1; i <= nraw; i++)
        if (rawfield[i] != "types" && rawfield[i] != "suites") body = body "\n" raw[i]
      entries++
      kind[entries] = "stanza"
      text[entries] = body
      uris[entries] = ""
      for (i = 1; i <= nu; i++) uris[entries] = uris[entries] " " norm(u[i])
      suites[entries] = value["suites"]
    }
  }
  nraw = 0; current = ""
  delete value
}

FNR == 1 { end_stanza(); deb822 = (FILENAME ~ /\.sources$/) }
!deb822 { one_line($0); next }
/^[ \t]*$/ { end_stanza(); next }
{ stanza_line($0) }

END {
  end_stanza()
  header = "# Written by setup-deps.sh: a deb-src entry for each deb entry of this machine."
  for (e = 1; e <= entries; e++) {
    nu = split(trim(uris[e]), u, / /)
    ns = split(suites[e], s, /[ \t]+/)
    keep = ""
    for (j = 1; j <= ns; j++) {
      wanted = 0
      for (i = 1; i <= nu; i++) if (!covered[u[i], s[j]]) wanted = 1
      if (wanted) keep = keep (keep == "" ? "" : " ") s[j]
      for (i = 1; i <= nu; i++) covered[u[i], s[j]] = 1
    }
    if (keep == "") continue
    if (kind[e] == "line") {
      if (!lines++) print header > out_list
      print "deb-src " text[e] > out_list
    } else {
      if (!stanzas++) printf "%s\n", header > out_sources
      printf "\nTypes: deb-src\nSuites: %s%s\n", keep, text[e] > out_sources
    }
  }
}
' "${inputs[@]}"
