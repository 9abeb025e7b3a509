#!/usr/bin/env bash
# The vendor's kit as a vendor receives it, built by scripts/kit.sh twice, with a throwaway patch key:
# unsigned, and signed with a throwaway certificate; a certificate without a patch key is refused.
# Each kit's updater.exe holds the patch key, as its own patchtool names it. Each is unpacked in an empty folder: its checksums hold, the Linux patchtool
# runs and needs only the C library, and updater.exe's version resource names patchtool's version.
# The signed programs verify against the certificate (and not against another, nor once a byte
# changes), their signatures removed they are the unsigned programs, and the password shows nowhere:
# not in the kit, its build folder, its log, nor the signing tool's command lines.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
fail() { echo "FAIL: $*"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Unpacks the kit just built into $1 and checks what every kit must hold; leaves the shell there.
check_kit() {
  mkdir -p "$1" && unzip -q "$repo"/build/kit/sorvane-updater-*.zip -d "$1" && cd "$1"/sorvane-updater-*
  sha256sum --quiet -c SHA256SUMS || fail "SHA256SUMS"
  version=$(./patchtool --version) || fail "patchtool --version"
  [[ "$version" =~ ^patchtool\ ([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || fail "patchtool --version printed '$version'"
  local numbers="${BASH_REMATCH[1]} ${BASH_REMATCH[2]} ${BASH_REMATCH[3]} 0" needed at major minor patch build
  needed=$(readelf -d patchtool | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | grep -v -x -E 'libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2' || true)
  [ -z "$needed" ] || fail "patchtool needs $needed"
  strings -el updater.exe | grep -A1 -x FileVersion | tail -1 | grep -q -x "${version#patchtool }" ||
    fail "updater.exe's FileVersion string is not ${version#patchtool }"
  # The fixed part of the version resource (signature FEEF04BD): FileVersion as major, minor, patch, build.
  at=$(LC_ALL=C grep -obUaP '\xBD\x04\xEF\xFE' updater.exe | head -1 | cut -d: -f1)
  read -r minor major build patch <<<"$(od -An -tu2 -j $((at + 8)) -N 8 updater.exe)"
  [ "$major $minor $patch $build" = "$numbers" ] || fail "updater.exe's FileVersion numbers are $major,$minor,$patch,$build"
}

# The vendor's patch key, and the kit's patchtool naming the key its updater.exe holds.
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$scratch/patch.key" 2>/dev/null
openssl pkey -in "$scratch/patch.key" -pubout -out "$scratch/patch.key.pub"
fingerprint=$(openssl pkey -pubin -in "$scratch/patch.key.pub" -outform DER | sha256sum | cut -c1-64)
check_patch_key() {
  mkdir -p "$scratch/patch-$1" && printf 'K\n2\n1\n0\n' > "$scratch/patch-$1/update.txt" && cp updater.exe "$scratch/patch-$1/"
  ./patchtool sign "$scratch/patch-$1" "$scratch/patch.key" 2>/dev/null | grep -q "updater.exe holds key SHA256:$fingerprint" ||
    fail "the $1 kit's updater.exe does not hold the patch key"
}

KIT_PATCH_KEY="$scratch/patch.key.pub" bash scripts/kit.sh >/dev/null
(check_kit "$scratch/unsigned"
 check_patch_key unsigned
 [ "$(ls | tr '\n' ' ')" = "SHA256SUMS VENDOR.md patchtool patchtool.exe updater.exe " ] || fail "the unsigned kit holds $(ls)")
unsigned=$(echo "$scratch"/unsigned/sorvane-updater-*)

# A throwaway code-signing certificate and another one, and a password to look for everywhere.
password="kit-test-$$-$RANDOM-secret"
for who in vendor stranger; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$scratch/$who.key" -out "$scratch/$who.pem" -days 2 \
    -subj "/CN=Kit test $who" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
done
KIT_TEST_PASSWORD="$password" openssl pkcs12 -export -inkey "$scratch/vendor.key" -in "$scratch/vendor.pem" \
  -out "$scratch/vendor.p12" -passout env:KIT_TEST_PASSWORD
# Every command line the signing tool is given, as any user of the machine could list it.
mkdir -p "$scratch/bin"
printf '#!/bin/sh\necho "osslsigncode $*" >> "%s"\nexec "%s" "$@"\n' "$scratch/processes" "$(command -v osslsigncode)" \
  > "$scratch/bin/osslsigncode"
chmod +x "$scratch/bin/osslsigncode"
! KIT_SIGN_PKCS12="$scratch/vendor.p12" KIT_SIGN_PASSWORD="$password" bash "$repo/scripts/kit.sh" > "$scratch/nokey.log" 2>&1 ||
  fail "a certificate without a patch key was taken"
grep -q "KIT_SIGN_PKCS12 needs KIT_PATCH_KEY" "$scratch/nokey.log" || { cat "$scratch/nokey.log"; fail "no reason for the refusal"; }
PATH="$scratch/bin:$PATH" KIT_SIGN_PKCS12="$scratch/vendor.p12" KIT_SIGN_PASSWORD="$password" KIT_PATCH_KEY="$scratch/patch.key.pub" \
  bash "$repo/scripts/kit.sh" > "$scratch/kit.log" 2>&1 || { cat "$scratch/kit.log"; fail "the signed kit was not built"; }
check_kit "$scratch/signed"
check_patch_key signed
[ "$(ls | tr '\n' ' ')" = "SHA256SUMS SHA256SUMS.unsigned VENDOR.md patchtool patchtool.exe updater.exe " ] ||
  fail "the signed kit holds $(ls)"
for program in updater.exe patchtool.exe; do
  osslsigncode verify -CAfile "$scratch/vendor.pem" -in "$program" >/dev/null 2>&1 || fail "$program's signature"
  ! osslsigncode verify -CAfile "$scratch/stranger.pem" -in "$program" >/dev/null 2>&1 ||
    fail "$program verifies against another certificate"
  osslsigncode remove-signature -in "$program" -out "$scratch/$program" >/dev/null
  cmp -s "$scratch/$program" "$unsigned/$program" || fail "$program, its signature removed, is not the unsigned program"
  cp "$program" "$scratch/changed.exe"
  printf 'X' | dd of="$scratch/changed.exe" bs=1 seek=1024 conv=notrunc 2>/dev/null
  ! osslsigncode verify -CAfile "$scratch/vendor.pem" -in "$scratch/changed.exe" >/dev/null 2>&1 ||
    fail "$program verifies with a byte changed"
done
(cd "$scratch" && sha256sum --quiet -c "$OLDPWD/SHA256SUMS.unsigned") || fail "SHA256SUMS.unsigned"
! grep -rqF -- "$password" . "$repo/build/kit" "$repo/build/kit-build" "$scratch/kit.log" "$scratch/nokey.log" "$scratch/processes" ||
  fail "the password shows in the kit, its build, its log or the process list"
[ "$(grep -c "^osslsigncode sign " "$scratch/processes")" = 2 ] || fail "the kit did not sign both programs"
echo "PASS: kit $(basename "$PWD"): checksums, $version, the C library alone, the version resource;" \
     "signed, verified, and its programs unsigned again equal to the unsigned kit's"
