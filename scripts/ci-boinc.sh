#!/usr/bin/env bash
# CI check of the BOINC build (QUARROW_BOINC=ON) in the runtime's standalone
# mode, i.e. with no BOINC client present:
#  1. it sieves a short range (with -u and a queued second range) and must
#     print the same and leave the same files as the console build, also
#     when every file is a BOINC link file pointing elsewhere;
#  2. it never waits for standard input: a question ends the run (status 1);
#  3. a run killed with SIGKILL resumes from its checkpoint, both when started
#     again with the same command line (what a client does) and when started
#     with no arguments, and ends with the same factors as a straight run;
#  4. the proof of work (checksum.txt) of a straight run is that of runs
#     killed at seeded moments and resumed, and of a run on the processors
#     that init_data.xml gives (two threads);
#  5. checkpoints follow the checkpoint period of init_data.xml, not the
#     save interval;
#  6. the validator and assimilator scripts on results made by this build.
# Usage: scripts/ci-boinc.sh   (from anywhere; builds what it needs)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

default_build=${QUARROW_DEFAULT_BUILD:-build}
boinc_build=${QUARROW_BOINC_BUILD:-build-boinc}

if ! dpkg -s libboinc-app-dev >/dev/null 2>&1; then
  as_root=""
  [ "$(id -u)" -eq 0 ] || as_root="sudo"
  $as_root apt-get update -q
  DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -q libboinc-app-dev
fi

if [ ! -x "$default_build/quarrow" ]; then
  cmake -S . -B "$default_build" -G Ninja -DQUARROW_TESTS=OFF
  cmake --build "$default_build" --target quarrow
fi
cmake -S . -B "$boinc_build" -G Ninja -DQUARROW_BOINC=ON -DQUARROW_TESTS=OFF
cmake --build "$boinc_build" --target quarrow

console_bin="$root/$default_build/quarrow"
boinc_bin="$root/$boinc_build/quarrow"
scratch=$(mktemp -d)
trap '[ -n "${QUARROW_KEEP_SCRATCH:-}" ] || rm -rf "$scratch"' EXIT

# Files the BOINC runtime itself writes into the working directory, and the
# captured streams of this script; everything else must match.
runtime_files='^(stderr\.txt|boinc_finish_called|boinc_lockfile|stdout\.log|stderr\.log|exit_status)$'

fail() {
  echo "ci-boinc: FAILED: $* (set QUARROW_KEEP_SCRATCH=1 to keep $scratch)"
  exit 1
}

# fresh_dir <name>: a scratch working directory holding the example data.
fresh_dir() {
  mkdir -p "$scratch/$1"
  cp examples/Vesk.dat "$scratch/$1/"
  echo "$scratch/$1"
}

# run_in <dir> <binary> <args...>: runs with no standard input, appending its
# streams to <dir>/stdout.log and stderr.log; the exit status goes to
# <dir>/exit_status.
run_in() {
  local dir=$1 bin=$2
  shift 2
  local status=0
  (cd "$dir" && "$bin" "$@" </dev/null >>stdout.log 2>>stderr.log) || status=$?
  echo "$status" >"$dir/exit_status"
}

# The speed and time figures differ from run to run; everything else is kept.
normalise() {
  sed -E -e 's/^(p = [0-9]+ @ )([0-9]+|\?\?\?)kp\/s$/\1RATEkp\/s/' \
    -e 's/^(pmin=[0-9]+ @ )[0-9]+ kp\/s$/\1RATE kp\/s/' \
    -e 's/^Total time: -?[0-9]+ ms$/Total time: T ms/' \
    -e 's/^[0-9]+kp\/s\.$/RATEkp\/s./' "$1"
}

# --- 1. Same output and files as the console build -------------------------
echo "ci-boinc: comparing the BOINC build (standalone) with the console build"
range=(1000000000 1004000000)
for variant in console boinc; do
  dir=$(fresh_dir "compare-$variant")
  printf 'pmin=1004000000\npmax=1006000000\n' >"$dir/nextrange.txt"
  bin=$console_bin
  [ "$variant" = boinc ] && bin=$boinc_bin
  # -c: the console build's checksum files, which the BOINC build always writes.
  run_in "$dir" "$bin" -c -u -i 500000 "${range[@]}"
done
# same_content <name> <file> <file>: equal files; the status file and the
# statistics only after their times and rates are normalised.
same_content() {
  case $1 in
    VeskStatus.dat | stat.txt) diff <(normalise "$2") <(normalise "$3") >/dev/null ;;
    *) cmp -s "$2" "$3" ;;
  esac
}
a="$scratch/compare-console"
b="$scratch/compare-boinc"
[ "$(cat "$a/exit_status")" = 0 ] || fail "console run ended with status $(cat "$a/exit_status")"
[ "$(cat "$b/exit_status")" = 0 ] || fail "BOINC run ended with status $(cat "$b/exit_status")"
[ -s "$a/fact.txt" ] || fail "the comparison range found no factor; choose another"
grep -q '^Found a new range in nextrange.txt' "$a/stdout.log" || fail "the queued range was not taken"
diff <(normalise "$a/stdout.log") <(normalise "$b/stdout.log") || fail "standard output differs"
files_a=$(cd "$a" && ls -A | grep -Ev "$runtime_files" || true)
files_b=$(cd "$b" && ls -A | grep -Ev "$runtime_files" || true)
[ "$files_a" = "$files_b" ] || fail "different files: console [$files_a] BOINC [$files_b]"
for f in $files_a; do
  same_content "$f" "$a/$f" "$b/$f" || fail "$f differs"
done
echo "ci-boinc: same output and same files ($(echo $files_a | tr '\n' ' '))"

# --- 1b. Every file is opened through BOINC's name resolution ---------------
# Under a client each file of the task may be a link file ("<soft_link>path
# </soft_link>") standing for a file elsewhere. The runtime follows such
# links in standalone mode too, so a slot directory made of link files only
# must leave the same content in the files they point to.
echo "ci-boinc: the same run through link files"
slot="$scratch/links/slot"
project="$scratch/links/project"
mkdir -p "$slot" "$project"
cp examples/Vesk.dat "$project/Vesk.dat"
printf 'pmin=1004000000\npmax=1006000000\n' >"$project/nextrange.txt"
linked_files="Vesk.dat VeskStatus.dat nextrange.txt fact.txt factexcl.txt factrange.txt stat.txt checksum.txt"
for f in $linked_files; do
  echo "<soft_link>../project/$f</soft_link>" >"$slot/$f"
done
run_in "$slot" "$boinc_bin" -u -i 500000 "${range[@]}"
[ "$(cat "$slot/exit_status")" = 0 ] || fail "run through link files ended with status $(cat "$slot/exit_status")"
diff <(normalise "$a/stdout.log") <(normalise "$slot/stdout.log") || fail "standard output through link files differs"
for f in $linked_files; do
  [ "$(cat "$slot/$f")" = "<soft_link>../project/$f</soft_link>" ] || fail "the link file $f was written to"
  same_content "$f" "$a/$f" "$project/$f" || fail "$f through its link differs"
done
echo "ci-boinc: every file went through its link"

# --- 2. No question is ever waited for --------------------------------------
# Standard input is a FIFO that stays open and silent: a build that waited
# for an answer would hang until the timeout.
dir=$(fresh_dir questions)
mkfifo "$dir/silent"
exec 3<>"$dir/silent"
# ask_without_answer <args...>: the exit status, with stdin open and silent.
ask_without_answer() {
  local status=0
  (cd "$dir" && timeout 30 "$boinc_bin" "$@" <&3 >stdout.log 2>stderr.log) || status=$?
  echo "$status"
}
status=$(ask_without_answer)
[ "$status" = 1 ] || fail "with no range and no status file the BOINC build ended with $status, not 1"
grep -q '^Cannot ask on standard input in this build' "$dir/stdout.log" || fail "no message for the refused prompt"
printf 'pmax=1000000100\npmin=1000000000\nDone\n' >"$dir/VeskStatus.dat"
status=$(ask_without_answer 1000000000 1000000200)
[ "$status" = 1 ] || fail "with a finished status file and a range the BOINC build ended with $status, not 1"
grep -q '^Cannot ask on standard input in this build' "$dir/stdout.log" || fail "no message for the refused question"
exec 3>&-
echo "ci-boinc: questions end the run with status 1"

# --- 3. Killed and resumed ---------------------------------------------------
echo "ci-boinc: kill and resume"
long_range=(1000000000 1012000000)
straight=$(fresh_dir straight)
run_in "$straight" "$boinc_bin" -i 200000 "${long_range[@]}"
[ "$(cat "$straight/exit_status")" = 0 ] || fail "straight run ended with status $(cat "$straight/exit_status")"

resumed=$(fresh_dir resumed)
# start_and_kill <args...>: starts the BOINC build in the background, waits
# for one more progress save than the status file held, then kills it.
start_and_kill() {
  local before after pid
  before=$(grep -c ' @ ' "$resumed/VeskStatus.dat" 2>/dev/null || true)
  (cd "$resumed" && exec "$boinc_bin" "$@" </dev/null >>stdout.log 2>>stderr.log) &
  pid=$!
  for _ in $(seq 1 600); do
    after=$(grep -c ' @ ' "$resumed/VeskStatus.dat" 2>/dev/null || true)
    [ "${after:-0}" -gt "${before:-0}" ] && break
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || fail "the run ended before it could be killed; lengthen the range"
  wait "$pid" 2>/dev/null || true
  ! grep -qx Done "$resumed/VeskStatus.dat" || fail "the run finished before it was killed; lengthen the range"
}
start_and_kill -i 200000 "${long_range[@]}"
# A client restarts a task with its original command line.
start_and_kill -i 200000 "${long_range[@]}"
# A volunteer (or an administrator) may also start it with no arguments.
run_in "$resumed" "$boinc_bin"
[ "$(cat "$resumed/exit_status")" = 0 ] || fail "resumed run ended with status $(cat "$resumed/exit_status")"
resumes=$(grep -c '^Found VeskStatus.dat with unfinished work. Continuing from last save point.$' "$resumed/stdout.log" || true)
[ "$resumes" = 2 ] || fail "expected 2 resume messages, found $resumes"
[ "$(tail -n 1 "$resumed/VeskStatus.dat")" = Done ] || fail "VeskStatus.dat does not end with Done"
# Primes after the last save are tested again after a kill, so a factor may
# be written twice; the set of factors must be the same.
cmp -s <(sort -u "$straight/fact.txt") <(sort -u "$resumed/fact.txt") || fail "fact.txt differs from a straight run"
echo "ci-boinc: resumed twice, same factors as a straight run ($(wc -l <"$straight/fact.txt") in fact.txt)"

# --- 4. The proof of work ----------------------------------------------------
[ -s "$straight/checksum.txt" ] || fail "the straight run wrote no checksum.txt"
reference_checksum=$(cat "$straight/checksum.txt")
same_checksum() {
  [ "$(sort -u "$1/checksum.txt")" = "$reference_checksum" ] || fail "$2: checksum $(cat "$1/checksum.txt") is not the straight run's $reference_checksum"
}
same_checksum "$resumed" "killed after saves and resumed"
# Killed at seeded moments (any moment: starting up, sieving, between the
# two halves of a save), restarted with the original command line each time.
RANDOM=20261210
seeded=$(fresh_dir seeded)
kills=0
seeded_done() { [ "$(tail -n 1 "$seeded/VeskStatus.dat" 2>/dev/null)" = Done ]; }
for _ in 1 2 3 4 5 6; do
  seeded_done && break
  (cd "$seeded" && exec "$boinc_bin" -i 200000 "${long_range[@]}" </dev/null >>stdout.log 2>>stderr.log) &
  pid=$!
  sleep "$((RANDOM % 20 / 10)).$((RANDOM % 10))"
  kill -KILL "$pid" 2>/dev/null && kills=$((kills + 1))
  wait "$pid" 2>/dev/null || true
done
[ "$kills" -ge 2 ] || fail "only $kills of the seeded kills hit a running task; lengthen the range"
if ! seeded_done; then
  run_in "$seeded" "$boinc_bin" -i 200000 "${long_range[@]}"
  [ "$(cat "$seeded/exit_status")" = 0 ] || fail "the run after the seeded kills ended with status $(cat "$seeded/exit_status")"
fi
same_checksum "$seeded" "killed $kills times at seeded moments"
# The client gives two processors: two sieving threads besides the main
# thread and the runtime's timer thread.
threads=$(fresh_dir threads)
printf '<app_init_data>\n<ncpus>2</ncpus>\n</app_init_data>\n' >"$threads/init_data.xml"
(cd "$threads" && exec "$boinc_bin" -i 200000 "${long_range[@]}" </dev/null >stdout.log 2>stderr.log) &
pid=$!
most=0
for _ in $(seq 1 100); do
  n=$(ls "/proc/$pid/task" 2>/dev/null | wc -l)
  [ "$n" -gt "$most" ] && most=$n
  [ "$most" -ge 4 ] && break
  sleep 0.1
done
wait "$pid" || fail "the run on two processors failed"
[ "$most" -ge 4 ] || fail "the run given two processors had at most $most threads"
same_checksum "$threads" "two threads"
echo "ci-boinc: same checksum after $kills seeded kills and on two threads ($reference_checksum)"

# --- 5. Checkpoints follow the client's period -------------------------------
# With a save due at every prime (-i 0) the status file gains a line only
# when the period has passed: about one per 2 s over 10 s of sieving, and
# none at all with a period of 60 s. Each run is stopped after 10 s of wall
# time, whatever the speed of the machine.
for period in 2 60; do
  dir=$(fresh_dir "period-$period")
  printf '<app_init_data>\n<checkpoint_period>%s</checkpoint_period>\n</app_init_data>\n' "$period" >"$dir/init_data.xml"
  (cd "$dir" && exec "$boinc_bin" -i 0 1000000000 2000000000 </dev/null >stdout.log 2>stderr.log) &
  pid=$!
  sleep 10
  kill -KILL "$pid" 2>/dev/null || fail "the run with a $period s period ended before 10 s"
  wait "$pid" 2>/dev/null || true
  saves=$(grep -c ' @ ' "$dir/VeskStatus.dat" || true)
  most=$((10 / period + 1))
  least=$((10 / period / 3))
  [ "$saves" -le "$most" ] && [ "$saves" -ge "$least" ] ||
    fail "$saves checkpoints in 10 s with a period of $period s (expected $least to $most)"
  echo "ci-boinc: period $period s: $saves checkpoints in 10 s"
done

# --- 6. Validation and assimilation scripts ----------------------------------
bash dist/boinc/validator/test_validator.sh "$boinc_bin"
echo "ci-boinc: all checks passed"
