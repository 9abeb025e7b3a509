#!/usr/bin/env bash
# Builds the vendor's kit from the committed sources: release updater.exe and
# patchtool.exe (Windows) and patchtool (Linux x86-64, C++ runtime linked in),
# VENDOR.md and SHA256SUMS, zipped as build/kit/sorvane-updater-<version>.zip.
# Built twice from one commit, in any two folders, the zip is the same bytes:
# no time stamps in the programs or the archive, no build paths in the programs.
#
# Signed when the vendor gives a certificate: KIT_SIGN_PKCS12 names the PKCS#12
# file, and its password comes from the file KIT_SIGN_PASSWORD_FILE or the
# variable KIT_SIGN_PASSWORD, never from a command line, which other users can
# read; KIT_SIGN_TIMESTAMP names an RFC 3161 time-stamp server, so that the
# signature outlives the certificate. The signed kit adds SHA256SUMS.unsigned:
# the programs' checksums with their signatures removed, which a rebuild gives.
#
# KIT_PATCH_KEY names the vendor's public patch key (KEY.pub from patchtool
# keygen): updater.exe is built with it and then installs only patches signed
# with its private half. A certificate without a patch key is refused: the
# elevation prompt shows a signed updater.exe as the vendor's, so it must not
# install what the vendor did not sign.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -n "${KIT_SIGN_PKCS12:-}" ] && [ -z "${KIT_PATCH_KEY:-}" ]; then
  echo "kit: KIT_SIGN_PKCS12 needs KIT_PATCH_KEY: a signed updater.exe must hold the vendor's patch key" >&2
  exit 2
fi
patch_key=""
if [ -n "${KIT_PATCH_KEY:-}" ]; then
  patch_key=$(cd "$(dirname "$KIT_PATCH_KEY")" && pwd)/$(basename "$KIT_PATCH_KEY")
  [ -f "$patch_key" ] || { echo "kit: KIT_PATCH_KEY $KIT_PATCH_KEY is no file" >&2; exit 2; }
fi

bash scripts/setup.sh
version=$(sed -n 's/^project(sorvane_updater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="sorvane-updater-$version"
work="$PWD/build/kit-build"
kit="$PWD/build/kit"
rm -rf "$work" "$kit"
mkdir -p "$work/src" "$kit/$name"

git archive HEAD | tar -x -C "$work/src"
cmake -S "$work/src" -B "$work/linux" -DCMAKE_BUILD_TYPE=Release -DUPDATER_SANITIZE=OFF \
  -DCMAKE_EXE_LINKER_FLAGS="-static-libstdc++ -static-libgcc" >/dev/null
cmake --build "$work/linux" -j2 --target patchtool >/dev/null
cmake -S "$work/src" -B "$work/windows" -DCMAKE_BUILD_TYPE=MinSizeRel -DUPDATER_PATCH_KEY="$patch_key" \
  -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$work/windows" -j2 --target updater patchtool >/dev/null

cd "$kit/$name"
cp "$work/windows/updater.exe" "$work/windows/patchtool.exe" "$work/linux/patchtool" .
strip patchtool
if [ -n "${KIT_SIGN_PKCS12:-}" ]; then
  sha256sum updater.exe patchtool.exe > "$work/SHA256SUMS.unsigned"
  password="${KIT_SIGN_PASSWORD_FILE:-}"
  if [ -z "$password" ]; then
    [ -n "${KIT_SIGN_PASSWORD+set}" ] || { echo "kit: KIT_SIGN_PKCS12 needs KIT_SIGN_PASSWORD_FILE or KIT_SIGN_PASSWORD" >&2; exit 2; }
    password="$work/password"
    trap 'rm -f "$work/password"' EXIT
    (umask 077 && printf '%s' "$KIT_SIGN_PASSWORD" > "$password")
  fi
  for program in updater.exe patchtool.exe; do
    osslsigncode sign -pkcs12 "$KIT_SIGN_PKCS12" -readpass "$password" -h sha256 \
      -n "Sorvane Online Updater" ${KIT_SIGN_TIMESTAMP:+-ts "$KIT_SIGN_TIMESTAMP"} \
      -in "$program" -out "$work/$program.signed" >/dev/null
    mv "$work/$program.signed" "$program"
  done
  rm -f "$work/password"
  mv "$work/SHA256SUMS.unsigned" .
fi
{
  echo "# Sorvane Online Updater $version: the vendor's kit"
  echo
  echo "updater.exe and patchtool.exe are for Windows, patchtool for Linux x86-64; SHA256SUMS lists"
  echo "their checksums, which a rebuild of the same version gives again."
  echo
  sed -n '/^## Shipping a patch/,/^## Behaviour notes/p' "$work/src/README.md" | sed '$d'
} > VENDOR.md
sha256sum updater.exe patchtool.exe patchtool > SHA256SUMS
chmod 755 updater.exe patchtool.exe patchtool
chmod 644 VENDOR.md SHA256SUMS ${KIT_SIGN_PKCS12:+SHA256SUMS.unsigned}
# The archive's own fields: one time, one order, no owners or extended times.
TZ=UTC touch -d '2000-01-01 00:00:00' ./*
cd "$kit"
find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q "$name.zip" -@
rm -rf "$kit/$name"
echo "kit: $kit/$name.zip"
unzip -p "$name.zip" "$name/SHA256SUMS"
if [ -n "${KIT_SIGN_PKCS12:-}" ]; then echo "unsigned:"; unzip -p "$name.zip" "$name/SHA256SUMS.unsigned"; fi
