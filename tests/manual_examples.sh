#!/usr/bin/env bash
# Every example of the manual page's EXAMPLES runs as written: each "$ "
# line is a command, the lines up to the next command are what it prints
# (standard output and error). They run one after another in one shell, from
# the top of a copy of the source tree's examples, with the built program
# first on the path.
#
#   tests/manual_examples.sh PAGE PROGRAM
set -euo pipefail
page=$1
bin=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree" "$work/bin"
cp -r "$src/examples" "$work/tree/"
ln -s "$bin" "$work/bin/lsf2ascii"

# The examples as plain text: the lines between .EX and .EE of EXAMPLES,
# with the page's escapes undone.
sed -n '/^\.SH EXAMPLES/,/^\.SH /p' "$page" | sed -n '/^\.EX/,/^\.EE/p' | grep -v '^\.E[XE]' |
  sed -e 's/\\(aq/'"'"'/g' -e 's/\\-/-/g' -e 's/\\e/\\/g' -e 's/\\&//g' >"$work/examples"
[ -s "$work/examples" ] || { echo "manual examples: none found in $page" >&2; exit 1; }

# One script: each command, then a separator, keeping its status for the next.
: >"$work/script"
: >"$work/expected"
while IFS= read -r line; do
  if [[ $line == '$ '* ]]; then
    printf '{ %s\n} 2>&1; status=$?; printf '"'"'\\036\\n'"'"'; (exit $status)\n' "${line#\$ }" >>"$work/script"
    [ ! -e "$work/started" ] || printf '\036\n' >>"$work/expected"
    touch "$work/started"
  else
    printf '%s\n' "$line" >>"$work/expected"
  fi
done <"$work/examples"
printf '\036\n' >>"$work/expected"

(cd "$work/tree" && PATH="$work/bin:$PATH" bash "$work/script") >"$work/got" 2>&1 || true
if ! diff -u "$work/expected" "$work/got" | tr '\036' '~'; then
  echo "manual examples: the page's examples do not give what the page shows (above; ~ separates commands)" >&2
  exit 1
fi
echo "manual examples: $(grep -c '^\$ ' "$work/examples") commands give what the page shows"
