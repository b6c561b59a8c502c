#!/usr/bin/env bash
# Runs the demo, every test executable and the replay of each fuzz corpus of
# the Release build under valgrind memcheck, and fails on any invalid access
# or definite leak, in the processes themselves and in every child they fork
# or exec.
#
#   scripts/valgrind.sh     (builds the default preset first)
#
# test_crash_report replaces the global operator new to make the crash
# report run out of memory; memcheck is told to leave that replacement in
# place (it still sees every malloc and free beneath it), so no test case
# needs to be skipped.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
readonly BUILD=$PWD/build/default

cmake --preset default >/dev/null
cmake --build --preset default

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# memcheck <name> <command...>: one log per process, <name>.<pid>.log.
memcheck() {
  local name=$1
  shift
  valgrind --error-exitcode=1 --leak-check=full \
    --errors-for-leak-kinds=definite --trace-children=yes \
    --soname-synonyms=somalloc=nouserintercepts \
    --log-file="$logs/$name.%p.log" "$@"
}

# True when no process of <name> reported an error.
clean() {
  ! grep -l "ERROR SUMMARY: [1-9]" "$logs/$1".*.log >/dev/null 2>&1
}

failed=()

# The demo ends through std::terminate on purpose: SIGABRT (status 134),
# after its two lines and with its report written.
demodir=$(mktemp -d)
mkdir "$demodir/logs"
status=0
output=$(cd "$demodir" && memcheck veldra-demo "$BUILD/veldra-demo" \
  2>/dev/null) || status=$?
if [[ $status -ne 134 || $output != $'0.123\n9.7047' ||
  ! -s $demodir/logs/veldra.log ]] || ! clean veldra-demo; then
  failed+=(veldra-demo)
fi
rm -rf "$demodir"

for test in "$BUILD"/tests/test_*; do
  [[ -f $test && -x $test ]] || continue
  name=$(basename "$test")
  if ! memcheck "$name" "$test" >"$logs/$name.out" 2>&1 || ! clean "$name"
  then
    failed+=("$name")
  fi
done

# The fuzz targets on their seed corpora, as the test suite replays them.
for replay in "$BUILD"/fuzz/*_replay; do
  [[ -f $replay && -x $replay ]] || continue
  name=$(basename "$replay")
  if ! memcheck "$name" "$replay" "fuzz/corpus/${name%_replay}" \
    >"$logs/$name.out" 2>&1 || ! clean "$name"; then
    failed+=("$name")
  fi
done

for name in "${failed[@]}"; do
  echo "== $name" >&2
  cat "$logs/$name".* 2>/dev/null | tail -n 60 >&2 || true
done
if ((${#failed[@]} > 0)); then
  echo "valgrind: errors in ${failed[*]}" >&2
  exit 1
fi
echo "valgrind: the demo, every test executable and the corpus replays ran clean."
