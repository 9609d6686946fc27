#!/usr/bin/env bash
# Builds the Debian package from a configured and built build directory and
# checks it the way a user gets it: the package holds the binary, the
# compressed manual page, the copyright file, the changelog and the example
# input with its output, names its library dependencies, installs with
# dpkg -i, the installed binary converts the shipped example byte for byte,
# and the installed page's examples run, twice, from the installed example.
# The package is removed again at the end.
#
#   tests/package_check.sh [BUILD_DIR] [--system] [--keep DIR]
#
# By default dpkg installs into a scratch root whose package database is a
# copy of this machine's, so the dependencies are checked against the
# packages really installed here while the system itself is left alone.
# --system installs into the system instead (root only; for a disposable
# machine such as CI). --keep DIR leaves the package checked in DIR, for
# lintian.
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=build
mode=sandbox
keep=
while [ $# -gt 0 ]; do
  case $1 in
    --system) mode=system ;;
    --keep) keep=$2; shift ;;
    *) build=$1 ;;
  esac
  shift
done
build=$(cd "$build" && pwd)

fail() { echo "package check: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "dpkg -i needs root"
for tool in cpack dpkg dpkg-deb; do
  command -v "$tool" >/dev/null || fail "$tool not found"
done

if [ "$mode" = system ] && dpkg-query -W lsf2ascii >/dev/null 2>&1; then
  fail "lsf2ascii is already installed on this system; not replacing it"
fi

tmp=$(mktemp -d)
dpkg_root=()  # --root=DIR for the scratch root
installed=
cleanup() {
  if [ -n "$installed" ]; then
    dpkg "${dpkg_root[@]}" --remove lsf2ascii >/dev/null || echo "package check: could not remove lsf2ascii" >&2
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# Build the package into the scratch directory, so that an older .deb in the
# build directory cannot stand in for it.
(cd "$build" && cpack -G DEB -B "$tmp/out") >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
debs=("$tmp"/out/lsf2ascii_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one lsf2ascii_*.deb, found: ${debs[*]}"
deb=${debs[0]}
echo "package check: built $(basename "$deb")"

# Contents: the binary, the compressed page, the copyright file, the
# changelog and the example, and nothing outside /usr.
dpkg-deb -c "$deb" >"$tmp/contents"
grep -qE '^-rwxr-xr-x root/root .* \./usr/bin/lsf2ascii$' "$tmp/contents" || fail "no executable ./usr/bin/lsf2ascii in the package"
for f in man/man1/lsf2ascii.1.gz doc/lsf2ascii/copyright doc/lsf2ascii/changelog.gz \
  doc/lsf2ascii/examples/lsf doc/lsf2ascii/examples/FORCINGS_ASCII_lsf; do
  grep -qE "^-rw-r--r-- root/root .* \./usr/share/${f//./\\.}\$" "$tmp/contents" || fail "no ./usr/share/$f in the package"
done
if grep -vE ' \./(usr/.*)?$' "$tmp/contents"; then fail "files outside /usr in the package"; fi

# Control fields: every shared library the binary links comes from a named package.
[ "$(dpkg-deb -f "$deb" Package)" = lsf2ascii ] || fail "package name is not lsf2ascii"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libgcc-s1; do
  [[ ", $depends," == *", $lib "* ]] || fail "Depends lacks $lib: $depends"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no Description"

# The packaged page and changelog are the ones in the source tree,
# compressed without a name or time stamp; the changelog's first entry is
# this version; the copyright file names the licence of LICENSE; the binary
# carries no .comment section.
mkdir "$tmp/x"
dpkg-deb -x "$deb" "$tmp/x"
doc=$tmp/x/usr/share/doc/lsf2ascii
gzip -dc "$tmp/x/usr/share/man/man1/lsf2ascii.1.gz" | cmp -s - "$src/lsf2ascii.1" || fail "packaged manual page differs from lsf2ascii.1"
gzip -dc "$doc/changelog.gz" | cmp -s - "$src/packaging/changelog" || fail "packaged changelog differs from packaging/changelog"
for f in lsf FORCINGS_ASCII_lsf; do
  cmp -s "$doc/examples/$f" "$src/examples/$f" || fail "packaged examples/$f differs from the source tree's"
done
for gz in "$tmp/x/usr/share/man/man1/lsf2ascii.1.gz" "$doc/changelog.gz"; do
  # Header: magic, method, flags (no name), then a zero time stamp.
  [ "$(od -An -tx1 -N8 "$gz" | tr -d ' ')" = 1f8b080000000000 ] || fail "$gz holds a name or a time stamp"
done
version=$(dpkg-deb -f "$deb" Version)
head -n 1 "$src/packaging/changelog" | grep -qF "lsf2ascii ($version) " ||
  fail "packaging/changelog does not begin with an entry for $version"
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright" ||
  fail "copyright file is not in the machine-readable format"
grep -qx 'License: Expat' "$doc/copyright" || fail "copyright file names no Expat (MIT) licence"
grep -qF "$(sed -n 's/^Copyright (c) //p' "$src/LICENSE")" "$doc/copyright" || fail "copyright file lacks the holder of LICENSE"
if command -v readelf >/dev/null && readelf -S "$tmp/x/usr/bin/lsf2ascii" | grep -qF .comment; then
  fail "packaged binary has a .comment section"
fi

# Install with dpkg -i, dependencies checked.
root=
if [ "$mode" = sandbox ]; then
  root=$tmp/root
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
  # The file lists too: dpkg then sees which files the host's packages own.
  cp /var/lib/dpkg/info/*.list "$root/var/lib/dpkg/info/"
  : >"$root/var/lib/dpkg/available"
  dpkg_root=(--root="$root")
fi
installed=yes
dpkg "${dpkg_root[@]}" -i "$deb" >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log" >&2; fail "dpkg -i failed"; }
[ "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f '${Status}' lsf2ascii)" = "install ok installed" ] ||
  fail "dpkg does not list lsf2ascii as installed"
bin=$root/usr/bin/lsf2ascii
page=$root/usr/share/man/man1/lsf2ascii.1.gz
[ -x "$bin" ] || fail "$bin not installed"
[ -f "$page" ] || fail "$page not installed"

# The installed binary converts the example; every run ends with status 2
# and the end-of-file diagnostic after the last block.
mkdir "$tmp/run"
cp "$src/examples/lsf" "$tmp/run/lsf"
status=0
(cd "$tmp/run" && "$bin" extra arguments are ignored) 2>"$tmp/run.err" || status=$?
[ "$status" -eq 2 ] || fail "installed binary exited with $status, not 2"
grep -qx 'lsf2ascii: statement 18, unit 10, file lsf' "$tmp/run.err" || fail "unexpected diagnostic: $(cat "$tmp/run.err")"
cmp "$tmp/run/FORCINGS_ASCII_lsf" "$src/examples/FORCINGS_ASCII_lsf" || fail "installed binary's output differs from examples/FORCINGS_ASCII_lsf"

# The installed page renders without warnings, where man is available.
if command -v man >/dev/null; then
  MANWIDTH=80 man --warnings -l "$page" >"$tmp/man.txt" 2>"$tmp/man.err" || fail "man -l failed: $(cat "$tmp/man.err")"
  [ ! -s "$tmp/man.err" ] || fail "man warns: $(cat "$tmp/man.err")"
  grep -q 'FORCINGS_ASCII_lsf' "$tmp/man.txt" || fail "rendered page looks empty"
fi

# The installed page's examples run as it shows them, with the installed
# binary, from the installed example (the page's
# /usr/share/doc/lsf2ascii/examples, under the scratch root).
examples=$root/usr/share/doc/lsf2ascii/examples
gzip -dc "$page" >"$tmp/lsf2ascii.1"
bash "$src/tests/manual_examples.sh" "$tmp/lsf2ascii.1" "$bin" "$examples" || fail "the installed page's examples do not run"

# Removal takes the files away again.
dpkg "${dpkg_root[@]}" --remove lsf2ascii >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log" >&2; fail "dpkg --remove failed"; }
installed=
[ ! -e "$bin" ] && [ ! -e "$page" ] && [ ! -e "$examples" ] || fail "files left behind after dpkg --remove"

if [ -n "$keep" ]; then
  mkdir -p "$keep"
  cp "$deb" "$keep"/
fi
echo "package check: $(basename "$deb") holds the binary, the page and the example, installs ($mode), converts the example, runs the page's examples, and removes cleanly"
