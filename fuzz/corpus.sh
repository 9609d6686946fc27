#!/usr/bin/env bash
# Builds the seed corpus of a fuzz target in a directory of its own:
#   fuzz/corpus.sh TARGET DIR        (TARGET is reader or convert)
# DIR receives the inputs of fuzz/corpus/TARGET, made by hand, and the files
# that fuzz/corpus/TARGET.seeds names (the test vectors and the example,
# kept once in the tree) with the target's control bytes in front. DIR is
# emptied first; libFuzzer may then add its own inputs to it.
set -euo pipefail
target=$1
out=$2
src=$(cd "$(dirname "$0")/.." && pwd)
seeds="$src/fuzz/corpus/$target.seeds"
[ -f "$seeds" ] || { echo "no seed list $seeds" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
cp "$src/fuzz/corpus/$target"/* "$out"/
made=0
# Each line: the control bytes in hex, then a path of the tree (a glob).
while read -r control pattern; do
  case $control in '' | '#'*) continue ;; esac
  escaped=$(sed 's/../\\x&/g' <<<"$control")
  found=0
  for file in "$src"/$pattern; do
    [ -f "$file" ] || continue
    name=$(tr / _ <<<"${file#"$src"/}")-$control
    { printf '%b' "$escaped"; cat "$file"; } >"$out/$name"
    found=1
    made=$((made + 1))
  done
  [ "$found" -eq 1 ] || { echo "$seeds: nothing matches $pattern" >&2; exit 1; }
done <"$seeds"
echo "fuzz/corpus.sh: $(ls "$out" | wc -l) seeds for $target in $out ($made from the tree)"
