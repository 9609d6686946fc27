#!/usr/bin/env bash
# The same bytes on every machine: cross-builds the program for 64-bit ARM
# (Debian's g++-aarch64-linux-gnu, cmake/aarch64-linux-gnu.cmake) and runs it
# under qemu-user on the shipped example and on every vector in tests/data.
# Each must give the stored output byte for byte and the stored exit status,
# as the x86-64 build does. The build must hold no fused multiply-add.
#
#   tests/aarch64_check.sh [BUILD_DIR]     (default build-aarch64)
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-aarch64}
sysroot=/usr/aarch64-linux-gnu

fail() { echo "aarch64 check: $*" >&2; exit 1; }
for tool in aarch64-linux-gnu-g++ aarch64-linux-gnu-objdump qemu-aarch64; do
  command -v "$tool" >/dev/null || fail "$tool is missing (packages g++-aarch64-linux-gnu, qemu-user)"
done

cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target lsf2ascii >/dev/null
bin=$(cd "$build" && pwd)/lsf2ascii
file_type=$(aarch64-linux-gnu-objdump -f "$bin" | sed -n 's/.*file format //p')
[ "$file_type" = elf64-littleaarch64 ] || fail "$bin is not an aarch64 program ($file_type)"
# fmadd, fmsub, fnmadd, fnmsub, and the vector fmla and fmls.
if aarch64-linux-gnu-objdump -d "$bin" | grep -qE $'\t(fn?m(add|sub)|fml[as])\t'; then
  fail "the build fuses multiply-adds"
fi

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
  (cd "$work/run" && qemu-aarch64 -L "$sysroot" "$bin" 2>/dev/null) || status=$?
  checked=$((checked + 1))
  if [ "$status" != "$4" ]; then
    echo "aarch64 check: $1 ended with status $status, not $4" >&2
    failed=1
  elif ! cmp -s "$work/run/FORCINGS_ASCII_lsf" "$3"; then
    echo "aarch64 check: $1 gives other bytes:" >&2
    cmp "$work/run/FORCINGS_ASCII_lsf" "$3" >&2 || true
    failed=1
  fi
}
check example "$src/examples/lsf" "$src/examples/FORCINGS_ASCII_lsf" 2
for dir in "$src"/tests/data/case-*; do
  check "tests/data/$(basename "$dir")" "$dir/lsf" "$dir/FORCINGS_ASCII_lsf" "$(cat "$dir/exit_status")"
done
[ "$failed" -eq 0 ] || fail "$checked inputs checked, some differ"
echo "aarch64 check: $checked inputs give the same bytes and status"
