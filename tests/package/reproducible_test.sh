#!/usr/bin/env bash
# Builds the release twice and checks that both give the same bytes:
#
#   tests/package/reproducible_test.sh
#
# The two builds differ in what must not matter: each runs scripts/release
# from a clone of HEAD of its own, at paths of different lengths, the second
# later, under another umask, locale and time zone. Both SHA256SUMS must be
# the same; where they are not, diffoscope shows what differs in each
# artifact that does (and the test fails). Takes about twice a release
# build; run it after the other tests, not beside them.
set -euo pipefail

repo="$(git -C "$(dirname "$0")" rev-parse --show-toplevel)"
work="$(mktemp -d "${TMPDIR:-/tmp}/vornask-reproducible-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# A clone holds what is committed and nothing else: the release is built from
# HEAD whatever lies uncommitted in this checkout.
release() {
  local checkout="$1" out="$2"
  shift 2
  git clone --quiet --no-hardlinks "$repo" "$checkout"
  git -C "$checkout" checkout --quiet --detach "$(git -C "$repo" rev-parse HEAD)"
  (cd "$checkout" && env "$@" scripts/release "$out") >"$out.log" 2>&1 ||
    { cat "$out.log" >&2; echo "FAIL: scripts/release failed in $checkout" >&2; exit 1; }
}

release "$work/a" "$work/out-a" LANG=C.UTF-8 TZ=UTC
# scripts/release fixes its own umask; this one is the checkout's and the
# caller's.
(umask 077 && release "$work/second-checkout-with-a-longer-path/vornask" "$work/out-b" \
  LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 TZ=Pacific/Kiritimati)

if cmp -s "$work/out-a/SHA256SUMS" "$work/out-b/SHA256SUMS"; then
  echo "reproducible: two builds gave the same $(wc -l <"$work/out-a/SHA256SUMS") artifacts"
  cat "$work/out-a/SHA256SUMS"
  exit 0
fi

echo "FAIL: the two release builds differ:" >&2
diff "$work/out-a/SHA256SUMS" "$work/out-b/SHA256SUMS" >&2 || true
while read -r _ name; do
  if ! cmp -s "$work/out-a/$name" "$work/out-b/$name"; then
    echo "=== diffoscope $name" >&2
    if command -v diffoscope >/dev/null; then
      diffoscope --text - --max-report-size 200000 "$work/out-a/$name" "$work/out-b/$name" >&2 || true
    else
      echo "(diffoscope is not installed)" >&2
    fi
  fi
done <"$work/out-a/SHA256SUMS"
exit 1
