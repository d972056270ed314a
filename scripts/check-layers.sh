#!/usr/bin/env bash
# Fails when a source file includes a header of a folder above its own layer (scripts/layers.txt).
# Usage: scripts/check-layers.sh [repository root]; prints every breach as "file: include (from -> to)".
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
table=scripts/layers.txt
files=$(git ls-files -co --exclude-standard -- '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | sed 's#^\./##')
printf '%s\n' $files | grep -vE '^(tests|bench|fuzz|build[^/]*)/' | xargs -r grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+/[^"]+"' |
awk -v table="$table" '
  BEGIN {
    while ((getline line < table) > 0) {
      sub(/#.*/, "", line)
      if (line !~ /:/) continue
      split(line, kv, ":"); name = kv[1]; gsub(/[[:space:]]/, "", name)
      layers[name] = 1
      n = split(kv[2], deps, /[[:space:]]+/)
      for (i = 1; i <= n; i++) if (deps[i] != "") allowed[name, deps[i]] = 1
    }
  }
  function layer(path,   best, l) {
    best = ""
    for (l in layers) if (index(path, l "/") == 1 && length(l) > length(best)) best = l
    return best
  }
  {
    file = $0; sub(/:.*/, "", file)
    inc = $0; sub(/^[^"]*"/, "", inc); sub(/".*/, "", inc)
    from = layer(file); to = layer(inc)
    if (from == "" || to == "" || from == to || ((from, to) in allowed)) next
    printf "%s: %s (%s -> %s)\n", file, inc, from, to
    bad++
  }
  END { if (bad) { printf "%d include(s) cross a layer upward; see scripts/layers.txt\n", bad; exit 1 } }
'
