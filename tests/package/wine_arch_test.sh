#!/usr/bin/env bash
# scripts/wine-arch in a tree of its own: the machine's answer decides the
# path, PORTRELAY_WINE_ARCH overrides it, and insisting on 32-bit programs
# where the kernel refuses them fails with the reason.
#   tests/package/wine_arch_test.sh WINE_ARCH_SCRIPT
set -euo pipefail
tree=$(mktemp -d "${TMPDIR:-/tmp}/wine-arch.XXXXXX")
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/scripts" "$tree/build"
cp "$1" "$tree/scripts/wine-arch"
failures=0

# expect MACHINE_ANSWER FORCED STATUS OUTPUT_PATTERN
expect() {
  if [ "$1" = probe ]; then rm -f "$tree/build/.runs-i386"; else echo "$1" >"$tree/build/.runs-i386"; fi
  local status=0 out
  out=$(PORTRELAY_WINE_ARCH=$2 "$tree/scripts/wine-arch" --why 2>&1) || status=$?
  if [ "$status" != "$3" ] || ! grep -q -- "$4" <<<"$out"; then
    echo "FAILED: answer '$1', PORTRELAY_WINE_ARCH='$2': status $status, '$out'"
    failures=$((failures + 1))
  fi
}

expect yes "" 0 "runs 32-bit programs"
expect "Exec format error" "" 0 "cannot run 32-bit programs (Exec format error).*x86_64"
expect yes 64 0 "PORTRELAY_WINE_ARCH=64"
expect "Exec format error" 64 0 "PORTRELAY_WINE_ARCH=64"
expect yes 32 0 "PORTRELAY_WINE_ARCH=32"
expect "Exec format error" 32 1 "cannot run 32-bit programs (Exec format error)"
expect yes 86 1 "must be 32 or 64"
# The real probe answers, and its answer is kept.
expect probe "" 0 "32-bit programs"
[ -s "$tree/build/.runs-i386" ] || { echo "FAILED: the probe's answer was not kept"; failures=$((failures + 1)); }

[ $failures -eq 0 ] && echo "wine-arch: all cases passed"
exit $((failures > 0))
