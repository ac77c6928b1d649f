#!/usr/bin/env bash
# Speed harness: builds Release, runs quarrow over fixed ranges of the three
# data files of ../shared/data in a scratch directory, and prints the speed of
# each range (from the wall time and from the program's own rate line) and
# the peak memory. It then compares the factor files and the counters of
# stat.txt with the reference run recorded for the same range, so that no
# speed-up can silently change what is found.
#
#   bench/run_ranges.sh [options] [range ...]
#     --record            store the runs as the new reference
#     --vs BINARY         run BINARY (a baseline build) and this build in turn,
#                         --runs times each, and print both medians and the
#                         median of the pairwise speed ratios (this / BINARY)
#     --runs N            runs per build and range with --vs (default 3)
#     --threads T         pass -t T to this build (the baseline runs -t 1)
#     --this BINARY       time BINARY as this build instead of building build/
#                         (a copy keeps a benchmark apart from a rebuild)
#     --kernels SET       run this build with QUARROW_KERNELS=SET (avx512,
#                         avx2 or scalar); the run stops if its start-up line
#                         names another set
#     --base-kernels SET  the same for the baseline of --vs (a baseline
#                         without the switch ignores the variable: then give
#                         none, and use a build that has only the set wanted)
#   Every run uses -p 2 (normal priority): at the default idle priority any
#   other load on the machine would starve it and the timings would be noise.
#   Ranges (default: all): e12 e15 (Vesk-50M.dat), o11 o13 (Other11-10M.dat),
#   g11 g13 (Generic12-3M.dat).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
data_dir=$root/../shared/data

record=0
program=""
baseline=""
runs=3
threads=1
kernels=""
base_kernels=""
selected=()
while [ $# -gt 0 ]; do
  case "$1" in
    --record) record=1 ;;
    --vs) baseline=$2; shift ;;
    --runs) runs=$2; shift ;;
    --threads) threads=$2; shift ;;
    --this) program=$(realpath "$2"); shift ;;
    --kernels) kernels=$2; shift ;;
    --base-kernels) base_kernels=$2; shift ;;
    -*) echo "unknown option $1"; exit 2 ;;
    *) selected+=("$1") ;;
  esac
  shift
done

# name, data file, pmin, pmax: each takes some seconds to a minute on one core.
ranges=(
  "e12 Vesk-50M.dat 1000000000000 1000200000000"
  "e15 Vesk-50M.dat 1000000000000000 1000000200000000"
  "o11 Other11-10M.dat 100000000000 100050000000"
  "o13 Other11-10M.dat 10000000000000 10000050000000"
  "g11 Generic12-3M.dat 100000000000 100050000000"
  "g13 Generic12-3M.dat 10000000000000 10000050000000"
)

if [ -z "$program" ]; then
  scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build --target quarrow >/dev/null
  program=$root/build/quarrow
fi
if [ -n "$baseline" ]; then baseline=$(realpath "$baseline"); fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0

# The name a QUARROW_KERNELS value gives in the start-up line.
kernel_line() {
  case "$1" in
    avx512) echo "Using AVX-512 IFMA kernels" ;;
    avx2) echo "Using AVX2 kernels" ;;
    scalar) echo "Using scalar kernels" ;;
    *) echo "unknown kernel set $1" >&2; exit 2 ;;
  esac
}
if [ -n "$kernels" ]; then kernel_line "$kernels" >/dev/null; fi
if [ -n "$base_kernels" ]; then kernel_line "$base_kernels" >/dev/null; fi

# run BINARY DIR PMIN PMAX DATA SET EXTRA...: one run in a fresh DIR, with
# QUARROW_KERNELS=SET unless SET is empty; prints the wall seconds. The factor
# files and the counters land in DIR/factors.txt.
run() {
  local binary=$1 dir=$2 pmin=$3 pmax=$4 data=$5 set=$6
  shift 6
  rm -rf "$dir" && mkdir -p "$dir"
  cp "$data" "$dir/Vesk.dat"
  local start end
  start=$(date +%s.%N)
  if [ -n "$set" ]; then
    (cd "$dir" && QUARROW_KERNELS=$set /usr/bin/time -f '%M' -o time.txt "$binary" -p 2 "$@" -f "$pmin" "$pmax" \
      </dev/null >console.txt)
  else
    (cd "$dir" && env -u QUARROW_KERNELS /usr/bin/time -f '%M' -o time.txt "$binary" -p 2 "$@" -f "$pmin" "$pmax" \
      </dev/null >console.txt)
  fi
  end=$(date +%s.%N)
  # A forced set that did not run would make the figures lie.
  if [ -n "$set" ] && ! grep -qx "$(kernel_line "$set")" "$dir/console.txt"; then
    echo "$binary did not run the $set kernels: $(grep '^Using .* kernels$' "$dir/console.txt" || echo 'no kernel line')" >&2
    exit 1
  fi
  # The factor files, sorted into one canonical list (a range far out may
  # find none, so a missing file is an empty one), then the run's counters,
  # which a changed search would move even where it finds no factor.
  for f in fact.txt factexcl.txt factrange.txt; do
    if [ -f "$dir/$f" ]; then sed "s/^/$f: /" "$dir/$f"; fi
  done | sort >"$dir/factors.txt"
  grep '^# ' "$dir/stat.txt" | sed 's/^/stat.txt: /' >>"$dir/factors.txt"
  echo "$end - $start" | bc -l
}

# check DIR NAME WHO: compares DIR/factors.txt with the reference of NAME.
check() {
  local reference=bench/reference/$2.txt
  if ! cmp -s "$1/factors.txt" "$reference"; then
    echo "  $3: factor files differ from $reference:"
    diff "$reference" "$1/factors.txt" | head -20
    status=1
  fi
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

if [ -z "$baseline" ]; then
  printf '%-5s %14s %14s %12s %10s  %s\n' range "kp/s (wall)" "kp/s (rate)" "peak MiB" "seconds" factors
else
  printf '%-5s %16s %16s %10s %12s  %s\n' range "base kp/s (med)" "this kp/s (med)" "ratio" "peak MiB" "runs"
fi
for line in "${ranges[@]}"; do
  read -r name file pmin pmax <<<"$line"
  if [ ${#selected[@]} -gt 0 ] && [[ ! " ${selected[*]} " =~ " $name " ]]; then continue; fi
  data=$data_dir/$file
  [ -r "$data" ] || { echo "no data file: $data"; exit 1; }
  dir=$scratch/$name
  if [ -z "$baseline" ]; then
    seconds=$(run "$program" "$dir" "$pmin" "$pmax" "$data" "$kernels" -t "$threads")
    wall_rate=$(echo "($pmax - $pmin) / $seconds / 1000" | bc)
    own_rate=$(grep -E '^[0-9]+kp/s\.$' "$dir/console.txt" | tail -1 | tr -d 'kp/s.')
    peak_mib=$(( $(cat "$dir/time.txt") / 1024 ))
    count=$(grep -vc '^stat.txt: ' "$dir/factors.txt" || true)
    printf '%-5s %14s %14s %12s %10.1f  %s\n' "$name" "$wall_rate" "$own_rate" "$peak_mib" "$seconds" "$count"
    if [ $record -eq 1 ]; then
      mkdir -p bench/reference && cp "$dir/factors.txt" "bench/reference/$name.txt"
    else
      check "$dir" "$name" this
    fi
  else
    # Interleaved, so that a drift of the shared machine's speed hits both.
    base_rates=() this_rates=() ratios=() peak=0
    for ((i = 0; i < runs; ++i)); do
      tb=$(run "$baseline" "$dir-base" "$pmin" "$pmax" "$data" "$base_kernels")
      check "$dir-base" "$name" baseline
      tt=$(run "$program" "$dir" "$pmin" "$pmax" "$data" "$kernels" -t "$threads")
      check "$dir" "$name" this
      base_rates+=("$(echo "($pmax - $pmin) / $tb / 1000" | bc)")
      this_rates+=("$(echo "($pmax - $pmin) / $tt / 1000" | bc)")
      ratios+=("$(echo "$tb / $tt" | bc -l)")
      m=$(( $(cat "$dir/time.txt") / 1024 ))
      [ "$m" -gt "$peak" ] && peak=$m
    done
    printf '%-5s %16s %16s %10.3f %12s  %s\n' "$name" \
      "$(printf '%s\n' "${base_rates[@]}" | median)" "$(printf '%s\n' "${this_rates[@]}" | median)" \
      "$(printf '%s\n' "${ratios[@]}" | median)" "$peak" "$runs"
  fi
done
# What each side really ran, from its last run's start-up line.
for side in "$scratch"/*; do
  case "$side" in *-base) who="baseline" ;; *) who="this build" ;; esac
  line=$(grep -m1 '^Using .* kernels$' "$side/console.txt" 2>/dev/null || echo "no kernel line")
  echo "$who ($(basename "$side")): $line"
done
[ $record -eq 1 ] && echo "reference recorded in bench/reference/"
[ $status -eq 0 ] && [ $record -eq 0 ] && echo "factor files identical to the reference"
exit $status
