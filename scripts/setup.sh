#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo use, when
# missing. Works as root or through sudo; quiet when all is there; safe to rerun.
set -euo pipefail

packages=(
  cmake g++ make                      # native build
  googletest libgtest-dev             # unit tests; GoogleTest sources for the Windows suite
  libbenchmark-dev                    # parser benchmark
  clang libclang-rt-14-dev            # libFuzzer target
  g++-mingw-w64-x86-64                # updater.exe (binutils and windres come with it)
  wine wine64                         # runs the Windows programs
  xvfb x11-utils                      # a display for Wine when there is none
  imagemagick                         # the demo's screenshots
  zip unzip                           # the vendor's kit
  osslsigncode openssl                # signing the kit; the kit test's throwaway certificate
  libssl-dev                          # patchtool signs and verifies with libcrypto (linked in)
  e2fsprogs                           # chattr: the rows where a folder refuses new files
  xdelta3 bsdiff                      # the other ends of the delta rows; the delta bench
  git ca-certificates
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "setup: these packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
