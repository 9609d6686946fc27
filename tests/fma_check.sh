#!/usr/bin/env bash
# Output bytes depend on every float operation rounding on its own: the
# program must hold no fused multiply-add, whatever instructions the target
# offers (x86-64 with FMA, as under -march=native, or 64-bit ARM).
#
#   tests/fma_check.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=$1
bin=$2
code=$("$objdump" -d --no-show-raw-insn "$bin")
[ -n "$code" ] || { echo "fma check: $objdump gives no code for $bin" >&2; exit 1; }
# x86-64: vfmadd, vfmsub, vfnmadd, vfnmsub and their mixed forms;
# aarch64: fmadd, fmsub, fnmadd, fnmsub, and the vector fmla and fmls.
if grep -E $'\t(v?fn?m(add|sub)[a-z0-9]*|fml[as])[ \t]' <<<"$code" | head -n 5 | grep . >&2; then
  echo "fma check: $bin fuses multiply-adds (above)" >&2
  exit 1
fi
echo "fma check: no fused multiply-add in $bin"
