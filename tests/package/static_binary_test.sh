#!/usr/bin/env bash
# Checks a fully static vornask: it needs no dynamic loader and no shared
# library, and it runs in a root holding nothing but itself, /etc/hosts and
# /etc/resolv.conf, where it reaches a target given by number, one named in
# that hosts file and one the sealed network's DNS responder answers for.
#
#   tests/package/static_binary_test.sh BINARY [EMULATOR]
#
# EMULATOR (qemu-aarch64 for an arm64 program) runs the program; it is put
# into the root with the host libraries it needs itself, none of which a
# program of the other architecture could load. Needs root, and the sealed
# network (run under scripts/sealed); exits 77 (skipped) when BINARY, the
# emulator or either of those is missing.
set -euo pipefail

binary="$1"
emulator="${2:-}"
skip() {
  echo "SKIP: $*"
  exit 77
}

[ -f "$binary" ] || skip "no static build at $binary (build its preset first)"
if [ -n "$emulator" ]; then
  emulator="$(command -v "$emulator")" || skip "emulator ${2} is not installed"
fi
[ "$(id -u)" -eq 0 ] || skip "chroot needs root"
[ "${VORNASK_SEALED:-}" = 1 ] || skip "needs the sealed network's DNS responder (run under scripts/sealed)"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# No loader named and no shared library needed. A plain static program has
# no dynamic section at all; a static position-independent one keeps one for
# relocating itself at start, holding no NEEDED entry.
headers="$(readelf -lW "$binary")"
dynamic="$(readelf -dW "$binary")"
grep -q 'INTERP' <<<"$headers" && fail "the program names a dynamic loader"
if ! grep -q 'There is no dynamic section' <<<"$dynamic"; then
  grep -q '(NEEDED)' <<<"$dynamic" && fail "the program needs shared libraries: $(grep '(NEEDED)' <<<"$dynamic")"
  grep -qE '\(FLAGS_1\).*PIE' <<<"$dynamic" ||
    fail "the program has a dynamic section but is no static position-independent program"
fi

work="$(mktemp -d)"
listener=
cleanup() {
  [ -z "$listener" ] || kill "$listener" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

root="$work/root"
mkdir -p "$root/etc"
cp "$binary" "$root/vornask"
cat >"$root/etc/hosts" <<'EOF'
127.0.0.1 hosts-only.vornask.test
EOF
cat >"$root/etc/resolv.conf" <<'EOF'
nameserver 127.0.0.53
options timeout:5 attempts:1
EOF
run=(/vornask)
if [ -n "$emulator" ]; then
  for file in "$emulator" $(ldd "$emulator" 2>/dev/null | grep -oE '/[^ ]+' || true); do
    mkdir -p "$root$(dirname "$file")"
    cp -L "$file" "$root$file"
  done
  run=("$emulator" /vornask)
fi

# A listener on loopback that accepts every connection; it prints its port.
exec 3< <(exec python3 -c '
import socket, sys
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(16)
print(s.getsockname()[1], flush=True)
while True:
    s.accept()[0].close()
')
listener=$!
port=
read -r -t 10 port <&3 || true
[ -n "$port" ] || { echo "FAIL: the loopback listener did not start" >&2; exit 1; }

# Exits 100 when the one target accepted.
expect() {
  local want="$1" target="$2" status=0
  chroot "$root" "${run[@]}" 1 "$target" </dev/null || status=$?
  [ "$status" -eq "$want" ] || fail "$target: exit status $status, expected $want"
}
expect 100 "127.0.0.1:$port"
expect 100 "hosts-only.vornask.test:$port"
expect 100 "v4.vornask.test:$port"
# A name neither source knows is not reached: the three above were found.
expect 0 "unknown.vornask.test:$port"

[ "$failures" -eq 0 ] || exit 1
echo "static program $binary${emulator:+ under $emulator}: no shared library, runs alone in an empty root"
