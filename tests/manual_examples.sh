#!/usr/bin/env bash
# Every example of the manual page's EXAMPLES runs as written: each "$ "
# line is a command, the lines up to the next command are what it prints
# (standard output and error). They run one after another in one shell,
# with the program first on the path, and then all of them once more, as a
# user who runs them again: both passes give what the page shows, and
# neither changes the shipped example files or the directory they start in.
#
#   tests/manual_examples.sh PAGE PROGRAM [EXAMPLES_DIR]
#
# EXAMPLES_DIR is where the page's /usr/share/doc/lsf2ascii/examples is (the
# package check gives the installed one); by default a copy of the source
# tree's examples/.
set -euo pipefail
page=$1
bin=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/start" "$work/tmp"
if [ $# -ge 3 ]; then
  shipped=$(cd "$3" && pwd)
else
  cp -r "$src/examples" "$work/shipped"
  shipped=$work/shipped
fi
cp -r "$shipped" "$work/shipped.before"
ln -s "$bin" "$work/bin/lsf2ascii"

# The examples as plain text: the lines between .EX and .EE of EXAMPLES,
# with the page's escapes undone.
sed -n '/^\.SH EXAMPLES/,/^\.SH /p' "$page" | sed -n '/^\.EX/,/^\.EE/p' | grep -v '^\.E[XE]' |
  sed -e 's/\\(aq/'"'"'/g' -e 's/\\-/-/g' -e 's/\\e/\\/g' -e 's/\\&//g' |
  sed -e "s|/usr/share/doc/lsf2ascii/examples|$shipped|g" >"$work/examples"
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

for pass in first second; do
  (cd "$work/start" && PATH="$work/bin:$PATH" TMPDIR="$work/tmp" bash "$work/script") >"$work/got" 2>&1 || true
  if ! diff -u "$work/expected" "$work/got" | tr '\036' '~'; then
    echo "manual examples: on the $pass pass the page's examples do not give what the page shows (above; ~ separates commands)" >&2
    exit 1
  fi
done
diff -r "$work/shipped.before" "$shipped" >&2 || { echo "manual examples: the examples changed the shipped files" >&2; exit 1; }
[ -z "$(ls -A "$work/start")" ] || { echo "manual examples: the examples wrote into the directory they started in" >&2; exit 1; }
echo "manual examples: $(grep -c '^\$ ' "$work/examples") commands give what the page shows, twice over"
