#!/usr/bin/env bash
# Builds the Debian package from a configured build with cpack, into a
# scratch directory, and checks it: lintian reports no error and no warning,
# the package is for the machine its probe was built for, and the probe in
# it is stripped, hardened and still runs.
#
#   tests/package/deb_package_test.sh CPACK BUILD_DIR [READELF [EMULATOR ...]]
#
# A cross build names the readelf that reads its objects and the emulator
# that runs its probe here.
set -euo pipefail

cpack_command="$1"
build_dir="$2"
readelf="${3:-readelf}"
emulator=("${@:4}")

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! "$cpack_command" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack could not build the package" >&2
  exit 1
fi
debs=("$work"/out/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL: cpack made no single .deb: ${debs[*]}" >&2
  exit 1
fi
deb="${debs[0]}"
architecture="$(dpkg-deb -f "$deb" Architecture)"
expected_name="$(dpkg-deb -f "$deb" Package)_$(dpkg-deb -f "$deb" Version)_${architecture}.deb"
[ "$(basename "$deb")" = "$expected_name" ] || fail "package file $(basename "$deb") is not named $expected_name"

# lintian exits non-zero on an error or warning (or when it cannot run); its
# tag lines start with the severity letter.
lintian_status=0
lintian --fail-on error,warning --color never "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
if [ "$lintian_status" -ne 0 ] || grep -qE '^[EW]: ' "$work/lintian.log"; then
  cat "$work/lintian.log" >&2
  fail "lintian reports errors or warnings (status $lintian_status)"
fi

dpkg-deb -x "$deb" "$work/root"
probe="$work/root/usr/bin/vornask"
[ -f "$probe" ] || { echo "FAIL: no usr/bin/vornask in the package" >&2; exit 1; }

# The machine readelf names for the code of each architecture packaged.
machine="$("$readelf" -hW "$probe" | sed -n 's/^[[:space:]]*Machine:[[:space:]]*//p')"
case "$architecture" in
  amd64) expected_machine="Advanced Micro Devices X86-64" ;;
  arm64) expected_machine="AArch64" ;;
  *) expected_machine="(no machine known for $architecture)" ;;
esac
[ "$machine" = "$expected_machine" ] || fail "package for $architecture holds a probe for $machine"

sections="$("$readelf" -SW "$probe")"
grep -qE '\.symtab|\.debug_' <<<"$sections" && fail "binary not stripped (symbol table or debug sections left)"
"$readelf" -hW "$probe" | grep -qE 'Type:[[:space:]]+DYN' || fail "binary is not position-independent"
dynamic="$("$readelf" -dW "$probe")"
grep -qE '\(FLAGS_1\).*PIE' <<<"$dynamic" || fail "binary is not marked PIE"
grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic" || fail "binary is not linked with -z now"
"$readelf" -lW "$probe" | grep -q 'GNU_RELRO' || fail "binary has no read-only relocations (-z relro)"
symbols="$("$readelf" --dyn-syms -W "$probe")"
grep -q '__stack_chk_fail' <<<"$symbols" || fail "binary has no stack protector"
grep -q '(NEEDED).*libstdc++' <<<"$dynamic" && fail "binary needs libstdc++ instead of carrying its C++ runtime"
checked="$(grep -E ' __[a-z0-9_]+_chk@' <<<"$symbols" | grep -v '__stack_chk_fail' || true)"
[ -n "$checked" ] || fail "binary calls no checked (_FORTIFY_SOURCE) C library function"

version="$("${emulator[@]}" "$probe" --version)" || fail "packaged binary does not run"
[ "$version" = "vornask $(dpkg-deb -f "$deb" Version | sed 's/-[^-]*$//')" ] ||
  fail "packaged binary reports '$version' for package version $(dpkg-deb -f "$deb" Version)"

[ "$failures" -eq 0 ] || exit 1
echo "package $(basename "$deb"): lintian clean, stripped, hardened"
