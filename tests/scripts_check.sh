#!/usr/bin/env bash
# The README's shell function for scripts, the same as the manual page's,
# tells a complete conversion from every other end: it returns 0 after a
# whole conversion and 1 after a cut file, a malformed value and an
# interruption, and leaves only this run's output.
#
#   tests/scripts_check.sh PROGRAM
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cp "$bin" "$work/bin/lsf2ascii"
export PATH="$work/bin:$PATH"
fail() { echo "scripts check: $*" >&2; exit 1; }

# The function as the README gives it (the sh block of "In scripts") and as
# the page gives it (the example of IN SCRIPTS), its escapes undone.
sed -n '/^## In scripts/,/^## /p' "$src/README.md" | sed -n '/^```sh$/,/^```$/p' | sed '1d;$d' >"$work/readme.sh"
sed -n '/^\.SH IN SCRIPTS/,/^\.SH /p' "$src/lsf2ascii.1" | sed -n '/^\.EX/,/^\.EE/p' | sed '1d;$d' |
  sed -e 's/\\(aq/'"'"'/g' -e 's/\\-/-/g' -e 's/\\e/\\/g' >"$work/page.sh"
grep -q '^lsf2ascii_complete()' "$work/readme.sh" || fail "no lsf2ascii_complete in the README's In scripts"
cmp -s "$work/readme.sh" "$work/page.sh" || { diff "$work/readme.sh" "$work/page.sh" >&2; fail "the README and the page differ"; }
. "$work/readme.sh"

# run NAME EXPECTED: the function in a directory prepared as NAME says.
run() {
  local status=0
  (cd "$work/$1" && lsf2ascii_complete 2>"$work/$1.err") || status=$?
  [ "$status" -eq "$2" ] || { cat "$work/$1.err" >&2; fail "$1: returned $status, not $2"; }
}
for d in complete cut malformed; do mkdir "$work/$d"; done
cp "$src/examples/lsf" "$work/complete/lsf"
echo "stale output of an earlier run" >"$work/complete/FORCINGS_ASCII_lsf"
head -c -20 "$src/examples/lsf" >"$work/cut/lsf"
sed '3s/288.085/288.O85/' "$src/examples/lsf" >"$work/malformed/lsf"
run complete 0
cmp -s "$work/complete/FORCINGS_ASCII_lsf" "$src/examples/FORCINGS_ASCII_lsf" || fail "complete: other output"
run cut 1
run malformed 1
grep -q 'malformed value "288.O85"' "$work/malformed.err" || fail "malformed: the diagnostic was not shown"

# Interrupted while its input, a pipe, pauses: by SIGTERM, as a batch
# system ends a job (after SIGINT a shell ends the script itself).
mkdir "$work/interrupted"
mkfifo "$work/interrupted/lsf"
(head -n 20 "$src/examples/lsf"; sleep 60) >"$work/interrupted/lsf" &
feeder=$!
(cd "$work/interrupted" && lsf2ascii_complete 2>"$work/interrupted.err") &
function_pid=$!
for _ in $(seq 500); do
  [ -s "$work/interrupted/FORCINGS_ASCII_lsf" ] && break
  sleep 0.02
done
for p in /proc/[0-9]*; do
  [ "$(readlink "$p/exe" 2>/dev/null)" = "$work/bin/lsf2ascii" ] && kill -TERM "${p#/proc/}"
done
status=0
wait "$function_pid" || status=$?
kill "$feeder" 2>/dev/null || true
[ "$status" -eq 1 ] || { cat "$work/interrupted.err" >&2; fail "interrupted: returned $status, not 1"; }
grep -q 'interrupted by SIGTERM' "$work/interrupted.err" || fail "interrupted: the diagnostic was not shown"
echo "scripts check: the function tells a complete conversion from a cut file, a malformed value and an interruption"
