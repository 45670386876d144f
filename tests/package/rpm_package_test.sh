#!/usr/bin/env bash
# Builds the RPM from a configured fully static build with cpack, into a
# scratch directory, and checks it: its name and architecture, rpmlint
# (with packaging/rpmlint.toml) reports no error and no warning, it depends
# on no library, and installed into an empty root it holds the program just
# built, the compressed man page, the README and the licence, marked so.
#
#   tests/package/rpm_package_test.sh CPACK BUILD_DIR [EMULATOR]
#
# EMULATOR (qemu-aarch64 for an arm64 build) runs the installed program.
# Exits 77 (skipped) when BUILD_DIR or the emulator is missing.
set -euo pipefail

cpack_command="$1"
build_dir="$2"
emulator="${3:-}"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"

skip() {
  echo "SKIP: $*"
  exit 77
}
[ -f "$build_dir/CPackConfig.cmake" ] || skip "no fully static build in $build_dir (build its preset first)"
if [ -n "$emulator" ]; then
  command -v "$emulator" >/dev/null || skip "emulator $emulator is not installed"
fi

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if ! "$cpack_command" -G RPM --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack could not build the package" >&2
  exit 1
fi
rpms=("$work"/out/*.rpm)
if [ ${#rpms[@]} -ne 1 ] || [ ! -f "${rpms[0]}" ]; then
  echo "FAIL: cpack made no single .rpm: ${rpms[*]}" >&2
  exit 1
fi
package="${rpms[0]}"

built="$build_dir/vornask"
case "$(readelf -hW "$built" | sed -n 's/^ *Machine: *//p')" in
  *X86-64*) arch=x86_64 ;;
  *AArch64*) arch=aarch64 ;;
  *) echo "FAIL: $built is for a machine this test does not know" >&2; exit 1 ;;
esac
version="$(sed -n 's/^project(vornask VERSION \([0-9.]*\) .*/\1/p' "$source_dir/CMakeLists.txt")"
[ "$(basename "$package")" = "vornask-$version-1.$arch.rpm" ] ||
  fail "package is named $(basename "$package"), expected vornask-$version-1.$arch.rpm"
query() { rpm -qp --qf "$1" "$package"; }
[ "$(query '%{ARCH}')" = "$arch" ] || fail "package architecture $(query '%{ARCH}'), expected $arch"
[ -n "$(query '%{SUMMARY}')" ] || fail "package has no summary"
[ "$(query '%{DESCRIPTION}' | wc -l)" -gt 2 ] || fail "package has no description: $(query '%{DESCRIPTION}')"
rpm -qp --changelog "$package" | grep -q "^\* .* - $version-1\$" || fail "changelog has no entry for $version-1"

# Nothing but rpm's own format features: no C library, no shell.
requires="$(rpm -qpR "$package" | grep -v '^rpmlib(' || true)"
[ -z "$requires" ] || fail "package depends on: $requires"

lint_status=0
rpmlint -c "$source_dir/packaging/rpmlint.toml" "$package" >"$work/rpmlint.log" 2>&1 || lint_status=$?
if [ "$lint_status" -ne 0 ] || grep -qE ': [EW]: ' "$work/rpmlint.log"; then
  cat "$work/rpmlint.log" >&2
  fail "rpmlint reports errors or warnings (status $lint_status)"
fi

[ "$(rpm -qpL "$package")" = /usr/share/licenses/vornask/LICENSE ] ||
  fail "licence not marked %license: $(rpm -qpL "$package" | tr '\n' ' ')"

# --ignorearch: the arm64 package is checked on this machine too.
root="$work/root"
mkdir "$root"
if ! rpm --root "$root" --nodeps --ignorearch -i "$package" >"$work/rpm.log" 2>&1; then
  cat "$work/rpm.log" >&2
  echo "FAIL: the package does not install into an empty root" >&2
  exit 1
fi

# Path, mode, owner and group of each file the package puts in place.
expect_file() {
  local path="$1" mode="$2" found
  [ -f "$root$path" ] || { fail "no $path installed"; return; }
  found="$(stat -c '%a %U %G' "$root$path")"
  [ "$found" = "$mode root root" ] || fail "$path is $found, expected $mode root root"
}
expect_file /usr/bin/vornask 755
expect_file /usr/share/man/man1/vornask.1.gz 644
expect_file /usr/share/doc/vornask/README.md 644
expect_file /usr/share/licenses/vornask/LICENSE 644
installed="$(rpm --root "$root" -ql vornask | grep -v '^/usr/share/doc/vornask$\|^/usr/share/licenses/vornask$' | sort)"
[ "$(wc -l <<<"$installed")" -eq 4 ] || fail "the package holds other files too: $installed"

cmp -s "$root/usr/share/licenses/vornask/LICENSE" "$source_dir/LICENSE" || fail "installed licence is not LICENSE"
cmp -s "$root/usr/share/doc/vornask/README.md" "$source_dir/README.md" || fail "installed README is not README.md"
gzip -dc "$root/usr/share/man/man1/vornask.1.gz" | cmp -s - "$source_dir/docs/vornask.1" ||
  fail "installed man page is not docs/vornask.1, compressed"

# The program just built, stripped: the same build ID, no symbols, and
# nothing loaded at run time.
program="$root/usr/bin/vornask"
build_id() { readelf -nW "$1" | sed -n 's/.*Build ID: *//p'; }
[ -n "$(build_id "$built")" ] && [ "$(build_id "$program")" = "$(build_id "$built")" ] ||
  fail "installed program (build ID '$(build_id "$program")') is not $built ('$(build_id "$built")')"
readelf -SW "$program" | grep -qE '\.symtab|\.debug_' && fail "installed program is not stripped"
readelf -lW "$program" | grep -q INTERP && fail "installed program names a dynamic loader"
readelf -dW "$program" | grep -q '(NEEDED)' && fail "installed program needs shared libraries"
reported="$(${emulator:+"$emulator"} "$program" --version)" || fail "installed program does not run"
[ "$reported" = "vornask $version" ] || fail "installed program reports '$reported', expected 'vornask $version'"

[ "$failures" -eq 0 ] || exit 1
echo "package $(basename "$package"): rpmlint clean, installs the static program built in $build_dir"
