#!/usr/bin/env bash
# Runs the validation and assimilation scripts on results made by the real
# program (console build with -c, whose files are those of a BOINC task):
# two honest results of a unit agree; a result that skipped part of the
# range, one missing a factor, one with a false or a malformed factor line
# and one with no files at all are each rejected; assimilating merges every
# factor line once.
# Usage: test_validator.sh <quarrow binary>   (about 15 s on two cores)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
quarrow=$(realpath "$1")
data="$here/../../../examples/Vesk.dat"
validator="$here/quarrow_validator.py"
assimilator="$here/quarrow_assimilator.py"
scratch=$(mktemp -d)
[ -z "${QUARROW_KEEP_SCRATCH:-}" ] || echo "test_validator: scratch files in $scratch"
trap '[ -n "${QUARROW_KEEP_SCRATCH:-}" ] || rm -rf "$scratch"' EXIT
fail() {
  echo "test_validator: FAILED: $*"
  exit 1
}

pmin=1000000000
pmax=1004000000
wu=quarrow_${pmin}_${pmax}
outputs="fact.txt factexcl.txt factrange.txt stat.txt checksum.txt"

# run_unit <name> <args...>: a task's run in its own slot directory.
run_unit() {
  local name=$1
  shift
  mkdir -p "$scratch/$name"
  cp "$data" "$scratch/$name/Vesk.dat"
  (cd "$scratch/$name" && "$quarrow" -c "$@" </dev/null >stdout.log) || fail "the run for $name failed"
}

# upload <name> <result number>: the slot's output files under the names
# BOINC's upload handler gives them (<result name>_<file index>); prints
# their paths in template order, as script_validator passes them.
upload() {
  local i=0 f paths=()
  mkdir -p "$scratch/upload"
  for f in $outputs; do
    local path="$scratch/upload/${wu}_$2_$i"
    [ -e "$scratch/$1/$f" ] && cp "$scratch/$1/$f" "$path"
    paths+=("$path")
    i=$((i + 1))
  done
  echo "${paths[@]}"
}

run_unit honest "$pmin" "$pmax"
run_unit threads -t 2 -i 500000 "$pmin" "$pmax"
[ -s "$scratch/honest/fact.txt" ] || fail "the unit's range holds no factor; choose another"
# An interrupted task writes some factor lines twice: still the same result.
head -n 1 "$scratch/threads/fact.txt" >>"$scratch/threads/fact.txt"

# A host that stopped early and reported the unit's range anyway. Its part
# holds every factor of the unit, so only the checksum can tell.
last_factor_p=$(cut -d' ' -f1 "$scratch/honest/fact.txt" "$scratch/honest/factexcl.txt" "$scratch/honest/factrange.txt" 2>/dev/null | sort -n | tail -n 1)
short_pmax=$((last_factor_p + 1))
[ "$short_pmax" -lt "$pmax" ] || fail "no factor-free end of the range to skip"
run_unit skipped "$pmin" "$short_pmax"
sed -i -E "s/pmax=$short_pmax /pmax=$pmax /" "$scratch/skipped/checksum.txt"

# Hand-made faults, each on a copy of the honest result.
variant() {
  mkdir -p "$scratch/$1"
  cp "$scratch/honest/"*.txt "$scratch/$1/"
}
variant missing && sed -i '1d' "$scratch/missing/fact.txt"
variant false_factor && sed -i -E '1s/\^([0-9]+)\+1$/^1\1+1/' "$scratch/false_factor/fact.txt"
variant malformed && echo "1000000007 | 5359*2^x+1" >>"$scratch/malformed/fact.txt"
variant composite && echo "1000000001 | 1000000000*2^0+1" >>"$scratch/composite/fact.txt"  # 7*11*13*19*52579
variant bad_checksum && sed -i -E 's/checksum=[0-9a-f]+$/checksum=12345/' "$scratch/bad_checksum/checksum.txt"
mkdir -p "$scratch/empty"

results=(honest threads skipped missing false_factor malformed composite bad_checksum empty)
declare -A files
n=0
for r in "${results[@]}"; do
  files[$r]=$(upload "$r" "$n")
  n=$((n + 1))
done

# init: every result on its own.
for r in "${results[@]}"; do
  status=0
  # shellcheck disable=SC2086
  python3 "$validator" init ${files[$r]} "$wu" 2>"$scratch/init_$r.log" || status=$?
  case $r in
    honest | threads | skipped | missing) want=0 ;;
    *) want=1 ;;
  esac
  [ "$status" = "$want" ] || fail "init on the '$r' result gave $status, not $want: $(cat "$scratch/init_$r.log")"
done
echo "test_validator: init accepts the well-formed results and rejects false, malformed and empty ones"

# compare: with the honest result.
for r in threads skipped missing; do
  status=0
  # shellcheck disable=SC2086
  python3 "$validator" compare ${files[honest]} ${files[$r]} 2>"$scratch/compare_$r.log" || status=$?
  want=1
  [ "$r" = threads ] && want=0
  [ "$status" = "$want" ] || fail "compare of 'honest' and '$r' gave $status, not $want: $(cat "$scratch/compare_$r.log")"
done
echo "test_validator: two honest results agree; a skipped part and a missing factor are told apart"

# assimilate: the honest result twice and the other honest one: every
# factor line once, and the checksum line once.
project="$scratch/project"
for r in honest honest threads; do
  # shellcheck disable=SC2086
  python3 "$assimilator" "$project" ${files[$r]} 2>>"$scratch/assimilate.log" || fail "assimilating '$r' failed: $(cat "$scratch/assimilate.log")"
done
for f in fact.txt factexcl.txt factrange.txt; do
  want=$(sort -u "$scratch/honest/$f" 2>/dev/null || true)
  got=$(sort "$project/$f" 2>/dev/null || true)
  [ "$want" = "$got" ] || fail "the project's $f is not the unit's factor lines, each once"
done
[ "$(cat "$project/checksum.txt")" = "$(cat "$scratch/honest/checksum.txt")" ] || fail "the project's checksum.txt is not the unit's line, once"
status=0
# shellcheck disable=SC2086
python3 "$assimilator" "$project" ${files[false_factor]} 2>/dev/null || status=$?
[ "$status" = 1 ] || fail "a false factor line was assimilated"
echo "test_validator: assimilation merges each factor line once and refuses a false one"
