#!/usr/bin/env bash
# The same bytes on every machine: runs a build of the program on the shipped
# example and on every vector in tests/data, each in a directory of its own,
# and compares the output byte for byte and the exit status with the stored
# ones. A cross build's program runs under the emulator given after it.
#
#   tests/vectors_check.sh PROGRAM [EMULATOR [ARGS...]]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
emulator=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
checked=0
failed=0
# check NAME INPUT EXPECTED_OUTPUT EXPECTED_STATUS
check() {
  rm -rf "$work/run"
  mkdir "$work/run"
  cp "$2" "$work/run/lsf"
  local status=0
  (cd "$work/run" && "${emulator[@]}" "$bin" 2>/dev/null) || status=$?
  checked=$((checked + 1))
  if [ "$status" != "$4" ]; then
    echo "vectors check: $1 ended with status $status, not $4" >&2
    failed=1
  elif ! cmp -s "$work/run/FORCINGS_ASCII_lsf" "$3"; then
    echo "vectors check: $1 gives other bytes:" >&2
    cmp "$work/run/FORCINGS_ASCII_lsf" "$3" >&2 || true
    failed=1
  fi
}
check example "$src/examples/lsf" "$src/examples/FORCINGS_ASCII_lsf" 2
for dir in "$src"/tests/data/case-*; do
  check "tests/data/$(basename "$dir")" "$dir/lsf" "$dir/FORCINGS_ASCII_lsf" "$(cat "$dir/exit_status")"
done
[ "$failed" -eq 0 ] || { echo "vectors check: $checked inputs checked, some differ" >&2; exit 1; }
echo "vectors check: $checked inputs give the same bytes and status${emulator:+ under ${emulator[*]}}"
