#!/usr/bin/env bash
# The README's shell function for scripts, the same as the manual page's,
# tells a complete conversion from every other end: it returns 0 after a
# whole conversion and 1 after a cut file, a malformed value, an input of a
# title only and an interruption. FORCINGS_ASCII_lsf then holds this run's
# whole conversion or what it held before, also while two calls run at once
# in one directory, and no scratch directory stays behind. The pages' check
# of the last block after a SIGKILL, the same in both, tells a whole output
# from one torn in a data line or in a header line.
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
unescape() { sed -e 's/\\(aq/'"'"'/g' -e 's/\\-/-/g' -e 's/\\e/\\/g'; }

# The function as the README gives it (the sh block of "In scripts") and as
# the page gives it (the example of IN SCRIPTS), its escapes undone.
sed -n '/^## In scripts/,/^## /p' "$src/README.md" | sed -n '/^```sh$/,/^```$/p' | sed '1d;$d' >"$work/readme.sh"
sed -n '/^\.SH IN SCRIPTS/,/^\.SH /p' "$src/lsf2ascii.1" | sed -n '/^\.EX/,/^\.EE/p' | sed '1d;$d' | unescape >"$work/page.sh"
grep -q '^lsf2ascii_complete()' "$work/readme.sh" || fail "no lsf2ascii_complete in the README's In scripts"
cmp -s "$work/readme.sh" "$work/page.sh" || { diff "$work/readme.sh" "$work/page.sh" >&2; fail "the README and the page differ"; }
. "$work/readme.sh"

# run NAME EXPECTED: the function in a directory prepared as NAME says; it
# leaves no scratch directory.
run() {
  local status=0
  (cd "$work/$1" && lsf2ascii_complete 2>"$work/$1.err") || status=$?
  [ "$status" -eq "$2" ] || { cat "$work/$1.err" >&2; fail "$1: returned $status, not $2"; }
  ! ls -d "$work/$1"/lsf2ascii.* >/dev/null 2>&1 || fail "$1: a scratch directory stayed behind"
}
for d in complete cut malformed title; do mkdir "$work/$d"; done
cp "$src/examples/lsf" "$work/complete/lsf"
echo "stale output of an earlier run" >"$work/complete/FORCINGS_ASCII_lsf"
head -c -20 "$src/examples/lsf" >"$work/cut/lsf"
echo "output of an earlier run" >"$work/cut/FORCINGS_ASCII_lsf"
sed '3s/288.085/288.O85/' "$src/examples/lsf" >"$work/malformed/lsf"
head -n 1 "$src/examples/lsf" >"$work/title/lsf"
run complete 0
cmp -s "$work/complete/FORCINGS_ASCII_lsf" "$src/examples/FORCINGS_ASCII_lsf" || fail "complete: other output"
run cut 1
[ "$(cat "$work/cut/FORCINGS_ASCII_lsf")" = "output of an earlier run" ] || fail "cut: the earlier output was not kept"
run malformed 1
grep -q 'malformed value "288.O85"' "$work/malformed.err" || fail "malformed: the diagnostic was not shown"
[ ! -e "$work/malformed/FORCINGS_ASCII_lsf" ] || fail "malformed: a partial output was left"
# A title only converts 0 blocks: nothing to run a model on.
run title 1
grep -qx 'end of file after input line 1: 0 blocks converted' "$work/title.err" || fail "title: other diagnostic"
[ ! -e "$work/title/FORCINGS_ASCII_lsf" ] || fail "title: an empty output was left"

# Two calls at once in one directory, the second started while the first
# writes: each return of 0 comes with a whole output under the name (a call
# that removed the output first and converted in place returned 0 while the
# other call's run was still writing it).
mkdir "$work/twice"
awk 'NR == 1 { print; next } { block[n++] = $0 } END { for (k = 0; k < 4000; k++) for (i = 0; i < n; i++) print block[i] }' \
  "$src/examples/lsf" >"$work/twice/lsf"
mkdir "$work/whole"
ln -s ../twice/lsf "$work/whole/lsf"
(cd "$work/whole" && lsf2ascii 2>/dev/null) || true
call() {
  local status=0
  (cd "$work/twice" && lsf2ascii_complete 2>"$work/twice.$1.err") || status=$?
  if [ "$status" -ne 0 ]; then
    echo "returned $status"
  elif cmp -s "$work/twice/FORCINGS_ASCII_lsf" "$work/whole/FORCINGS_ASCII_lsf"; then
    echo whole
  else
    echo "returned 0 on an output of $(wc -c <"$work/twice/FORCINGS_ASCII_lsf") bytes, not $(wc -c <"$work/whole/FORCINGS_ASCII_lsf")"
  fi >"$work/twice.$1"
}
call first &
first=$!
for _ in $(seq 500); do
  for f in "$work/twice/FORCINGS_ASCII_lsf" "$work"/twice/lsf2ascii.*/FORCINGS_ASCII_lsf; do
    [ -s "$f" ] && break 2
  done
  sleep 0.01
done
call second &
second=$!
wait "$first" "$second"
for c in first second; do
  [ "$(cat "$work/twice.$c")" = whole ] || { cat "$work/twice.$c.err" >&2; fail "two at once, the $c call: $(cat "$work/twice.$c")"; }
done
! ls -d "$work/twice"/lsf2ascii.* >/dev/null 2>&1 || fail "two at once: a scratch directory stayed behind"

# Interrupted while its input, a pipe, pauses: by SIGTERM, as a batch
# system ends a job (after SIGINT a shell ends the script itself).
mkdir "$work/interrupted"
mkfifo "$work/interrupted/lsf"
(head -n 20 "$src/examples/lsf"; sleep 60) >"$work/interrupted/lsf" &
feeder=$!
(cd "$work/interrupted" && lsf2ascii_complete 2>"$work/interrupted.err") &
function_pid=$!
for _ in $(seq 500); do
  for f in "$work"/interrupted/lsf2ascii.*/FORCINGS_ASCII_lsf; do
    [ -s "$f" ] && break 2
  done
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
[ ! -e "$work/interrupted/FORCINGS_ASCII_lsf" ] || fail "interrupted: a partial output was left"
! ls -d "$work/interrupted"/lsf2ascii.* >/dev/null 2>&1 || fail "interrupted: a scratch directory stayed behind"

# The check of the last block after a SIGKILL, as the README gives it (the
# code of the SIGKILL item of Guards) and as the page gives it (the example
# of its SIGKILL item). The example's output is blocks 1 to 6 of nine lines
# each; block 6's header is line 46.
sed -n '/^- \*\*SIGKILL\*\*/,/^## /p' "$src/README.md" | sed -n 's/^      //p' >"$work/readme.check"
sed -n '/^SIGKILL cannot be caught/,/^\.EE/p' "$src/lsf2ascii.1" | sed -n '/^\.EX/,/^\.EE/p' | sed '1d;$d' | unescape >"$work/page.check"
grep -q '^awk ' "$work/readme.check" || fail "no awk check in the README's SIGKILL item"
cmp -s "$work/readme.check" "$work/page.check" || { diff "$work/readme.check" "$work/page.check" >&2; fail "the README's and the page's checks differ"; }
mkdir "$work/killed"
whole=$src/examples/FORCINGS_ASCII_lsf
printf 'title\n 1.0 0 1000.0\n' >"$work/killed/lsf"
(cd "$work/killed" && lsf2ascii 2>/dev/null) || true
mv "$work/killed/FORCINGS_ASCII_lsf" "$work/no-rows"
while IFS='|' read -r name expected make; do
  bash -c "$make" >"$work/killed/FORCINGS_ASCII_lsf"
  got=$(cd "$work/killed" && bash "$work/readme.check")
  [ "$got" = "$expected" ] || fail "SIGKILL check on an output $name: says \"$got\", not \"$expected\""
done <<EOF
whole|last block whole|cat "$whole"
whose last block has no rows|last block whole|cat "$work/no-rows"
torn 30 bytes into a header line|last block torn|head -n 45 "$whole"; sed -n 46p "$whole" | head -c 30
torn in a data line|last block torn|head -n 48 "$whole"; sed -n 49p "$whole" | head -c 40
torn before a data line's line feed|last block torn|head -n 48 "$whole"; sed -n 49p "$whole" | head -c 90
torn between two data lines|last block torn|head -n 50 "$whole"
empty|last block torn|true
EOF
echo "scripts check: the function tells a complete conversion from a cut file, a malformed value, a title only and an interruption, and two calls at once each leave a whole output; the SIGKILL check tells a whole last block from torn ones"
