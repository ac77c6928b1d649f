#!/usr/bin/env bash
# CI check of the two cross-built programs against the native x86-64 Linux one:
#  1. Windows x64 (MinGW-w64): the unit tests under Wine, golden and oracle
#     tests included; the end-to-end tests with quarrow.exe run under Wine by
#     the native harness; a run on examples/Vesk.dat (with -u and a queued
#     range) prints the same and leaves byte-identical files as the Linux
#     build; a run killed twice and resumed ends with the same factor files;
#     a second start in the same directory is refused by the lock.
#  2. aarch64 Linux: the unit tests under qemu-aarch64, golden and oracle
#     tests included; a short range of ../shared/data/Vesk-50M.dat leaves the
#     same factor files as the x86-64 build.
# Usage: scripts/ci-cross.sh [windows|arm64]   (both by default; from anywhere;
# installs and builds what it needs)
set -euo pipefail
run_windows=yes
run_arm64=yes
case "${1:-}" in
  "") ;;
  windows) run_arm64=no ;;
  arm64) run_windows=no ;;
  *) echo "usage: $0 [windows|arm64]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
root=$(pwd)
started=$SECONDS

native_build=${QUARROW_DEFAULT_BUILD:-build}
windows_build=build-windows
arm64_build=build-arm64
vesk50m=${QUARROW_VESK50M:-$root/../shared/data/Vesk-50M.dat}

note() { echo "ci-cross: $* ($((SECONDS - started)) s)"; }
fail() {
  echo "ci-cross: FAILED: $* (set QUARROW_KEEP_SCRATCH=1 to keep $scratch)"
  exit 1
}

scripts/install-deps.sh
scripts/install-cross-deps.sh windows-test arm64-test
note "packages installed"

if [ ! -x "$native_build/quarrow" ]; then
  cmake -S . -B "$native_build" -G Ninja -DQUARROW_TESTS=OFF
  cmake --build "$native_build" --target quarrow
fi
linux_bin="$root/$native_build/quarrow"

scratch=$(mktemp -d)
wineserver=""
trap '[ -z "$wineserver" ] || "$wineserver" -k 2>/dev/null; [ -n "${QUARROW_KEEP_SCRATCH:-}" ] || rm -rf "$scratch"' EXIT

# fresh_dir <name>: a scratch working directory holding the example data.
fresh_dir() {
  mkdir -p "$scratch/$1"
  cp examples/Vesk.dat "$scratch/$1/"
  echo "$scratch/$1"
}

# run_in <dir> <program...> -- <args...>: runs with no standard input,
# appending its streams to <dir>/stdout.log and stderr.log; the exit status
# goes to <dir>/exit_status.
run_in() {
  local dir=$1
  shift
  local program=()
  while [ "$1" != -- ]; do program+=("$1"); shift; done
  shift
  local status=0
  (cd "$dir" && "${program[@]}" "$@" </dev/null >>stdout.log 2>>stderr.log) || status=$?
  echo "$status" >"$dir/exit_status"
}

# The speed and time figures differ from run to run, and the kernel set with
# the processor; everything else is kept.
normalise() {
  sed -E -e 's/^(p = [0-9]+ @ )([0-9]+|\?\?\?)kp\/s$/\1RATEkp\/s/' \
    -e 's/^(pmin=[0-9]+ @ )[0-9]+ kp\/s$/\1RATE kp\/s/' \
    -e 's/^Total time: -?[0-9]+ ms$/Total time: T ms/' \
    -e 's/^[0-9]+kp\/s\.$/RATEkp\/s./' \
    -e 's/^Using (AVX-512 IFMA|scalar) kernels$/Using KERNELS kernels/' "$1"
}

# same_files <dir> <dir>: the same file names, and equal files (the status
# file and the statistics after their times and rates are normalised).
same_files() {
  local a=$1 b=$2 files_a files_b f
  files_a=$(cd "$a" && ls -A | grep -Ev '^(stdout|stderr)\.log$|^exit_status$' || true)
  files_b=$(cd "$b" && ls -A | grep -Ev '^(stdout|stderr)\.log$|^exit_status$' || true)
  [ "$files_a" = "$files_b" ] || fail "different files: [$files_a] and [$files_b]"
  for f in $files_a; do
    case $f in
      VeskStatus.dat | stat.txt) diff <(normalise "$a/$f") <(normalise "$b/$f") >/dev/null || fail "$f differs" ;;
      *) cmp -s "$a/$f" "$b/$f" || fail "$f differs" ;;
    esac
  done
}

# --- 1. Windows --------------------------------------------------------------
if [ "$run_windows" = yes ]; then
make --no-print-directory windows-test
note "Windows unit tests passed under Wine"

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$wine" ] || fail "no wine64"
export WINEPREFIX="$root/$windows_build/wine-prefix" WINEDEBUG=-all
windows_bin="$root/$windows_build/quarrow.exe"
# One wineserver for every Wine run below (see scripts/wine-tests.sh).
wineserver=$(command -v wineserver64 || echo /usr/lib/wine/wineserver64)
"$wineserver" -p
"$wine" wineboot </dev/null >/dev/null 2>&1

# The native build's harness, pointed at quarrow.exe and Wine.
if [ ! -x "$native_build/tests/e2e/e2e_tests" ]; then
  cmake -S . -B "$native_build" -G Ninja -DQUARROW_TESTS=ON >/dev/null
  cmake --build "$native_build" --target e2e_tests
fi
# Left out under Wine, as Linux-only: the nice levels read back from /proc,
# and the runs under a file-size limit (RLIMIT_FSIZE and SIGXFSZ have no
# Windows counterpart; a full disk, imitated with /dev/full, still runs).
linux_only='^E2ePlatform\.|^E2eNoLoss\.FileSizeLimitIsAFailedWrite$'
# Now and then Wine fails to start a program at all (exit 1, not a line
# printed, in a few milliseconds; never the same test twice): a test that
# fails is run once more, so only a failure that repeats counts.
QUARROW_E2E_PROGRAM="$windows_bin" QUARROW_E2E_LAUNCHER="$wine" \
  ctest --test-dir "$native_build" -R '^E2e' -E "$linux_only" --output-on-failure -j 2 --repeat until-pass:2
note "end-to-end tests passed with quarrow.exe under Wine"

# Straight runs: the same console output and the same files.
range=(1000000000 1004000000)
for variant in linux windows; do
  dir=$(fresh_dir "compare-$variant")
  printf 'pmin=1004000000\npmax=1006000000\n' >"$dir/nextrange.txt"
  if [ "$variant" = linux ]; then run_in "$dir" "$linux_bin" -- -u -i 500000 "${range[@]}"
  else run_in "$dir" "$wine" "$windows_bin" -- -u -i 500000 "${range[@]}"; fi
done
a="$scratch/compare-linux"
b="$scratch/compare-windows"
[ "$(cat "$a/exit_status")" = 0 ] || fail "Linux run ended with status $(cat "$a/exit_status")"
[ "$(cat "$b/exit_status")" = 0 ] || fail "Windows run ended with status $(cat "$b/exit_status")"
[ -s "$a/fact.txt" ] || fail "the comparison range found no factor; choose another"
grep -q '^Found a new range in nextrange.txt' "$a/stdout.log" || fail "the queued range was not taken"
[ ! -s "$b/stderr.log" ] || fail "the Windows run wrote to standard error: $(head -c 300 "$b/stderr.log")"
diff <(normalise "$a/stdout.log") <(normalise "$b/stdout.log") || fail "standard output differs"
same_files "$a" "$b"
note "Windows run: same output and byte-identical files as the Linux run"

# Killed twice and resumed, on each platform. Primes after the last save
# are tested again after a kill, so a factor line may be written twice; with
# repeated lines taken out, each factor file must be the straight run's.
# Several segments: with one thread the saves of a segment are written when it
# has been searched, so each kill needs a further segment still to come.
long_range=(1000000000 1050000000)
straight=$(fresh_dir straight)
run_in "$straight" "$linux_bin" -- -i 200000 "${long_range[@]}"
[ "$(cat "$straight/exit_status")" = 0 ] || fail "straight run ended with status $(cat "$straight/exit_status")"
[ -s "$straight/fact.txt" ] || fail "the kill range found no factor; choose another"

# start_and_kill <dir> <program...> -- <args...>: starts in the background,
# waits for one more progress save than the status file held, then kills it.
start_and_kill() {
  local dir=$1 before after pid
  shift
  local program=()
  while [ "$1" != -- ]; do program+=("$1"); shift; done
  shift
  before=$(grep -c ' @ ' "$dir/VeskStatus.dat" 2>/dev/null || true)
  (cd "$dir" && exec "${program[@]}" "$@" </dev/null >>stdout.log 2>>stderr.log) &
  pid=$!
  for _ in $(seq 1 1200); do
    after=$(grep -c ' @ ' "$dir/VeskStatus.dat" 2>/dev/null || true)
    [ "${after:-0}" -gt "${before:-0}" ] && break
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || fail "the run ended before it could be killed; lengthen the range"
  wait "$pid" 2>/dev/null || true
  ! grep -qx Done "$dir/VeskStatus.dat" || fail "the run finished before it was killed; lengthen the range"
}
for variant in linux windows; do
  dir=$(fresh_dir "resumed-$variant")
  program=("$linux_bin")
  [ "$variant" = windows ] && program=("$wine" "$windows_bin")
  start_and_kill "$dir" "${program[@]}" -- -i 200000 "${long_range[@]}"
  start_and_kill "$dir" "${program[@]}" --
  run_in "$dir" "${program[@]}" --
  [ "$(cat "$dir/exit_status")" = 0 ] || fail "$variant: resumed run ended with status $(cat "$dir/exit_status")"
  [ "$(tail -n 1 "$dir/VeskStatus.dat")" = Done ] || fail "$variant: VeskStatus.dat does not end with Done"
  for f in fact.txt factexcl.txt factrange.txt; do
    [ -e "$straight/$f" ] || [ ! -e "$dir/$f" ] || fail "$variant: $f written, but not by the straight run"
    [ -e "$straight/$f" ] || continue
    cmp -s "$straight/$f" <(awk '!seen[$0]++' "$dir/$f") || fail "$variant: $f differs from the straight run's"
  done
done
note "killed and resumed under Wine and on Linux: the straight run's factor files ($(wc -l <"$straight/fact.txt") factors)"

# A second start in a directory where a run is going on is refused.
dir=$(fresh_dir lock)
(cd "$dir" && exec "$wine" "$windows_bin" -i 200000 "${long_range[@]}" </dev/null >first.log 2>&1) &
first=$!
for _ in $(seq 1 600); do
  grep -q '^Testing' "$dir/first.log" 2>/dev/null && break
  sleep 0.05
done
grep -q '^Testing' "$dir/first.log" || fail "the first run did not start sieving"
status=0
(cd "$dir" && "$wine" "$windows_bin" </dev/null >second.log 2>&1) || status=$?
kill -KILL "$first" 2>/dev/null || true
wait "$first" 2>/dev/null || true
[ "$status" = 1 ] || fail "a second start under Wine ended with status $status, not 1"
grep -q '^Error: another quarrow is running in this directory' "$dir/second.log" ||
  fail "a second start under Wine was not refused by the lock: $(tail -n 3 "$dir/second.log")"
note "a second start under Wine is refused by the lock"

fi

# --- 2. aarch64 ---------------------------------------------------------------
if [ "$run_arm64" = yes ]; then
make --no-print-directory arm64-test
note "aarch64 unit tests passed under qemu"

[ -f "$vesk50m" ] || fail "no $vesk50m"
arm64_bin="$root/$arm64_build/quarrow"
qemu=(qemu-aarch64 -L /usr/aarch64-linux-gnu)
big_range=(1000000000000 1000020000000)
for variant in x86-64 aarch64; do
  dir="$scratch/big-$variant"
  mkdir -p "$dir"
  cp "$vesk50m" "$dir/Vesk.dat"
  if [ "$variant" = x86-64 ]; then run_in "$dir" "$linux_bin" -- "${big_range[@]}"
  else run_in "$dir" "${qemu[@]}" "$arm64_bin" -- "${big_range[@]}"; fi
  [ "$(cat "$dir/exit_status")" = 0 ] || fail "$variant run on Vesk-50M.dat ended with status $(cat "$dir/exit_status")"
done
a="$scratch/big-x86-64"
b="$scratch/big-aarch64"
[ -s "$a/fact.txt" ] || fail "the Vesk-50M.dat range found no factor; choose another"
diff <(normalise "$a/stdout.log") <(normalise "$b/stdout.log") || fail "aarch64 standard output differs"
same_files "$a" "$b"
note "aarch64 run on Vesk-50M.dat: same output and factor files as x86-64 ($(wc -l <"$a/fact.txt") factors)"
fi
note "all checks passed"
