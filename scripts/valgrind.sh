#!/usr/bin/env bash
# Runs the CTest suite of the Release build (the test programs, the demo
# through test_demo, and the replay of each fuzz corpus) under valgrind
# memcheck, and fails on any invalid access or definite leak, in the tested
# processes themselves and in every child they fork or exec.  The install
# tests are left out: they run cmake and the compiler, not the library.
#
#   scripts/valgrind.sh     (builds the default preset first)
#
# test_crash_report replaces the global operator new to make the crash
# report run out of memory; memcheck is told to leave that replacement in
# place (it still sees every malloc and free beneath it), so no test case
# needs to be skipped.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
readonly BUILD=build/default

cmake --preset default >/dev/null
cmake --build --preset default

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# CTest runs valgrind with these options before each test's command.  The
# log file given here, one per process, wins over CTest's one per test,
# which a child that execs would truncate; CTest's complaint that its own
# is missing is dropped.
readonly OPTIONS=(
  --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite
  --trace-children=yes --soname-synonyms=somalloc=nouserintercepts
  "--log-file=$logs/%p.log"
)
status=0
ctest --test-dir "$BUILD" -T memcheck -j 2 --timeout 1200 --no-tests=error \
  --output-on-failure -E '_consumer$' \
  --overwrite "MemoryCheckCommand=$(command -v valgrind)" \
  --overwrite "MemoryCheckCommandOptions=${OPTIONS[*]}" 2>&1 |
  grep -v '^Cannot find memory tester output file' || status=$?

# A child that ends by a signal (the demo, the death tests) reports its
# errors in its log only.
failed=()
for log in "$logs"/*.log; do
  if grep -q "ERROR SUMMARY: [1-9]" "$log"; then
    failed+=("$log")
  fi
done
for log in "${failed[@]}"; do
  echo "== $(grep -m1 'Command:' "$log")" >&2
  tail -n 60 "$log" >&2
done
if ((status != 0 || ${#failed[@]} > 0)); then
  echo "valgrind: errors in the suite (${#failed[@]} processes reported)" >&2
  exit 1
fi
echo "valgrind: the suite, the demo and the corpus replays ran clean."
