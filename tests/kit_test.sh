#!/usr/bin/env bash
# The vendor's kit as a vendor receives it: built by scripts/kit.sh, unpacked in
# an empty folder; its checksums hold, the Linux patchtool runs and needs only
# the C library, and updater.exe's version resource names patchtool's version.
set -euo pipefail
cd "$(dirname "$0")/.."
fail() { echo "FAIL: $*"; exit 1; }

bash scripts/kit.sh >/dev/null
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q build/kit/sorvane-updater-*.zip -d "$unpacked"
cd "$unpacked"/sorvane-updater-*
[ "$(ls | tr '\n' ' ')" = "SHA256SUMS VENDOR.md patchtool patchtool.exe updater.exe " ] || fail "the kit holds $(ls)"
sha256sum --quiet -c SHA256SUMS || fail "SHA256SUMS"
version=$(./patchtool --version) || fail "patchtool --version"
[[ "$version" =~ ^patchtool\ ([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || fail "patchtool --version printed '$version'"
numbers="${BASH_REMATCH[1]} ${BASH_REMATCH[2]} ${BASH_REMATCH[3]} 0"
needed=$(readelf -d patchtool | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | grep -v -x -E 'libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2' || true)
[ -z "$needed" ] || fail "patchtool needs $needed"
strings -el updater.exe | grep -A1 -x FileVersion | tail -1 | grep -q -x "${version#patchtool }" ||
  fail "updater.exe's FileVersion string is not ${version#patchtool }"
# The fixed part of the version resource (signature FEEF04BD): FileVersion as major, minor, patch, build.
at=$(LC_ALL=C grep -obUaP '\xBD\x04\xEF\xFE' updater.exe | head -1 | cut -d: -f1)
read -r minor major build patch <<<"$(od -An -tu2 -j $((at + 8)) -N 8 updater.exe)"
[ "$major $minor $patch $build" = "$numbers" ] || fail "updater.exe's FileVersion numbers are $major,$minor,$patch,$build"
echo "PASS: kit $(basename "$PWD"): checksums, $version, the C library alone, updater.exe $major.$minor.$patch.$build"
