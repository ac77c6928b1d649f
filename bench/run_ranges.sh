#!/usr/bin/env bash
# Speed harness: builds Release, runs quarrow over fixed ranges of the large
# data file in a scratch directory, and prints the speed of each range (from
# the wall time and from the program's own rate line) and the peak memory.
# It then compares the factor files and the counters of stat.txt with the
# reference run recorded for the same ranges, so that no speed-up can
# silently change what is found.
#
#   bench/run_ranges.sh [data-file]          run and compare
#   bench/run_ranges.sh --record [data-file] run and store the reference
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

record=0
if [ "${1:-}" = "--record" ]; then record=1; shift; fi
data=${1:-$root/../shared/data/Vesk-50M.dat}
[ -r "$data" ] || { echo "no data file: $data"; exit 1; }

# name, pmin, pmax: each takes on the order of a minute on one core.
ranges=(
  "e12 1000000000000 1000200000000"
  "e15 1000000000000000 1000000200000000"
)

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target quarrow >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
printf '%-5s %14s %14s %12s %10s  %s\n' range "kp/s (wall)" "kp/s (rate)" "peak MiB" "seconds" factors
for line in "${ranges[@]}"; do
  read -r name pmin pmax <<<"$line"
  dir=$scratch/$name
  mkdir -p "$dir"
  cp "$data" "$dir/Vesk.dat"
  start=$(date +%s.%N)
  (cd "$dir" && /usr/bin/time -f '%M' -o time.txt "$root/build/quarrow" -f "$pmin" "$pmax" </dev/null >console.txt)
  end=$(date +%s.%N)
  seconds=$(echo "$end - $start" | bc -l)
  wall_rate=$(echo "($pmax - $pmin) / $seconds / 1000" | bc)
  own_rate=$(grep -E '^[0-9]+kp/s\.$' "$dir/console.txt" | tail -1 | tr -d 'kp/s.')
  peak_mib=$(( $(cat "$dir/time.txt") / 1024 ))
  # The factor files, sorted into one canonical list (a range far out may
  # find none, so a missing file is an empty one), then the run's counters,
  # which a changed search would move even where it finds no factor.
  for f in fact.txt factexcl.txt factrange.txt; do
    if [ -f "$dir/$f" ]; then sed "s/^/$f: /" "$dir/$f"; fi
  done | sort >"$dir/factors.txt"
  count=$(wc -l <"$dir/factors.txt")
  grep '^# ' "$dir/stat.txt" | sed 's/^/stat.txt: /' >>"$dir/factors.txt"
  printf '%-5s %14s %14s %12s %10.1f  %s\n' "$name" "$wall_rate" "$own_rate" "$peak_mib" "$seconds" "$count"
  reference=bench/reference/$name.txt
  if [ $record -eq 1 ]; then
    mkdir -p bench/reference && cp "$dir/factors.txt" "$reference"
  elif ! cmp -s "$dir/factors.txt" "$reference"; then
    echo "  factor files differ from $reference:"
    diff "$reference" "$dir/factors.txt" | head -20
    status=1
  fi
done
[ $record -eq 1 ] && echo "reference recorded in bench/reference/"
[ $status -eq 0 ] && [ $record -eq 0 ] && echo "factor files identical to the reference"
exit $status
