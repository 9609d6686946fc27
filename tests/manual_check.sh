#!/usr/bin/env bash
# The manual page renders without a single warning: through groff at a
# terminal's width, through man as lintian runs it (widths 80 and 120), and
# through mandoc -Tlint where mandoc is installed.
#
#   tests/manual_check.sh PAGE
set -euo pipefail
page=$1
command -v groff >/dev/null && command -v man >/dev/null || {
  echo "groff or man not found: the manual page is not checked"
  exit 77
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
complain() {
  if [ -s "$tmp/err" ]; then
    echo "$1:"
    cat "$tmp/err"
    status=1
  fi
}

groff -t -ww -man -Tutf8 "$page" >"$tmp/out" 2>"$tmp/err" || status=1
complain "groff -t -ww -man -Tutf8"
for width in 80 120; do
  # Into a file: man does not format at all for /dev/null.
  env -i PATH="$PATH" LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=$width \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$page" </dev/null >"$tmp/out" 2>"$tmp/err" || status=1
  complain "man at width $width"
done
if command -v mandoc >/dev/null; then
  mandoc -Tlint "$page" >"$tmp/err" 2>&1 || status=1
  complain "mandoc -Tlint"
else
  echo "mandoc not found: mandoc -Tlint skipped"
fi
exit $status
