#!/usr/bin/env bash
# The demo: sieves the bundled examples/Vesk.dat over a short range in a
# scratch directory (so the repository's own files are never touched) and
# sums up the three factor files. Fails when the program does not end with
# status 0.
#
# Usage: scripts/demo.sh <quarrow binary> <scratch directory> [pmin pmax]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
binary="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
dir="$2"
pmin="${3:-1000000000000}"
pmax="${4:-1000050000000}"

rm -rf "$dir" && mkdir -p "$dir"
cp "$root/examples/Vesk.dat" "$dir/"
# At normal priority (-p 2): the default, idle, would leave a demo on a busy
# machine waiting behind every other process.
(cd "$dir" && "$binary" -p 2 -f "$pmin" "$pmax" </dev/null)

echo "--- factor files written in $dir:"
for file in fact.txt factexcl.txt factrange.txt; do
  case "$file" in
    fact.txt) what="new factors" ;;
    factexcl.txt) what="duplicates: pairs no longer listed" ;;
    factrange.txt) what="n outside the data file's n range" ;;
  esac
  count=0
  [ -f "$dir/$file" ] && count=$(wc -l <"$dir/$file")
  printf '%-14s %4d  %s\n' "$file" "$count" "$what"
  [ "$count" -eq 0 ] || sed 's/^/    /' "$dir/$file"
done
