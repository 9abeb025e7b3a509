#!/usr/bin/env bash
# The vendor's road end to end under Wine: patchtool.exe builds a patch from two
# trees (one of NEW's files hidden), signs it with the vendor's key for the keyed
# updater.exe, checks it (against that key, another, and with a hidden patch file)
# and plans it over the installation; OLD is laid out as an installation with its
# record; the built folder's updater.exe runs in quiet mode; the installation must
# then equal NEW, but for the file the format cannot delete, which the tool warned about.
# Then the Linux patchtool builds and signs a patch whose file spans pieces of the copy's buffer,
# and the keyed updater.exe installs it: both programs hash alike.
#   patchtool_roundtrip.sh <folder of updater.exe and patchtool.exe> <folder of the test keys> <Linux patchtool>
set -euo pipefail
build=$(cd "$1" && pwd)
keys=$(cd "$2" && pwd)
native=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
[ -x "$native" ] || { echo "FAIL: no Linux patchtool at $3 (build the native preset first)"; exit 1; }
work="$build/roundtrip"
key='Software\UpdaterE2E\RoundTrip'
rm -rf "$work" && mkdir -p "$work/old/data/maps" "$work/new/data/maps" && cd "$work"
printf 'game 1005' > old/game.exe;     printf 'game 1006' > new/game.exe
printf 'level one' > old/data/maps/level1.map
printf 'level one' > new/data/maps/level1.map
printf 'level two' > new/data/maps/level2.map
printf 'old notes' > old/data/notes.txt
printf 'zz new' > new/zz.dat

# A hidden file of NEW is shipped plain: installed hidden, it would refuse every later patch.
wine attrib +h 'new\zz.dat' >/dev/null
wine "$build/patchtool.exe" build old new out --key "$key" --version 1006 --min 1004 --quiet --run game.exe \
  --updater "$build/keyed/updater.exe" --sign "$keys/vendor.pem" 2> build.log || { cat build.log; echo "FAIL: build"; exit 1; }
expected="$key|1006|1004|0|data\\maps\\level2.map|zz.dat|RUN game.exe|"
[ "$(tr -d '\r' < out/update.txt | tr '\n' '|')" = "$expected" ] || { cat out/update.txt; echo "FAIL: update.txt"; exit 1; }
cat build.log
grep -q 'old/data/notes.txt: warning: not in NEW' build.log || { echo "FAIL: no warning for notes.txt"; exit 1; }
wine "$build/patchtool.exe" check out --key "$keys/vendor.pem.pub" 2> check.log > summary.log || { cat check.log; echo "FAIL: check"; exit 1; }
version=$(wine "$build/patchtool.exe" --version | tr -d '\r' | sed 's/^patchtool //')
grep -q "; updater.exe $version\.0;" summary.log || { cat summary.log; echo "FAIL: check names not updater.exe's version $version.0"; exit 1; }
fingerprint=$(openssl pkey -pubin -in "$keys/vendor.pem.pub" -outform DER | sha256sum | cut -c1-64)
grep -q "updater.exe holds key SHA256:$fingerprint; signed with key SHA256:$fingerprint" summary.log ||
  { cat summary.log; echo "FAIL: check names not the keys of the updater and of the signature"; exit 1; }
! wine "$build/patchtool.exe" check out --key "$keys/other.pem.pub" 2> other.log ||
  { cat other.log; echo "FAIL: check takes another key"; exit 1; }
grep -q 'out/update.manifest: error: is not signed with the key of --key' other.log || { cat other.log; echo "FAIL: another key"; exit 1; }
# The suite's updater.exe carries no Authenticode signature, which a signed patch warns about.
unsigned='out/updater.exe: warning: carries no Authenticode signature'
grep -q "$unsigned" check.log || { cat check.log; echo "FAIL: no warning for an updater.exe without a signature"; exit 1; }
! grep -v "$unsigned" check.log | grep -q . || { cat check.log; echo "FAIL: check reported something"; exit 1; }
wine attrib +h 'out\zz.dat' >/dev/null
wine "$build/patchtool.exe" check out 2> check.log || true
grep -q 'out/zz.dat: warning: is hidden' check.log || { cat check.log; echo "FAIL: no warning for a hidden patch file"; exit 1; }
wine attrib -h 'out\zz.dat' >/dev/null
wine attrib -h 'new\zz.dat' >/dev/null

cp -r old install
# The plan, by the updater's rules, before the update: two new files, one replaced.
wine "$build/patchtool.exe" plan out install > plan.log 2>&1 || { cat plan.log; echo "FAIL: plan"; exit 1; }
[ "$(tr -d '\r' < plan.log | head -3 | tr '\n' '|')" = "  data\\maps\\level2.map: new|  zz.dat: new|  game.exe: replaced|" ] ||
  { cat plan.log; echo "FAIL: the plan"; exit 1; }
wine reg delete "HKCU\\$key" /f >/dev/null 2>&1 || true
wine reg add "HKCU\\$key" /v path /d "Z:${work//\//\\}\\install" /f >/dev/null 2>&1
wine out/updater.exe
wine reg delete "HKCU\\$key" /f >/dev/null 2>&1 || true
rm install/data/notes.txt
diff -r new install || { echo "FAIL: the installation differs from NEW"; exit 1; }
[ "$(ls out)" = updater.exe ] || { echo "FAIL: the patch folder holds $(ls out)"; exit 1; }
echo "PASS: the installation equals NEW; the patch folder holds updater.exe alone"

# 1.5 MiB and 7 bytes of noise: more than one 1 MiB piece, and no whole number of them.
rm -rf linux && mkdir -p linux/old linux/new
printf 'old pak' > linux/old/big.pak
perl -e 'srand(7); print map { chr(int(rand(256))) } 1 .. 1572871' > linux/new/big.pak
"$native" build linux/old linux/new linux/out --key "$key" --version 1006 --min 1004 --quiet \
  --updater "$build/keyed/updater.exe" --sign "$keys/vendor.pem" > linux.log 2>&1 || { cat linux.log; echo "FAIL: the Linux build"; exit 1; }
cp -r linux/old linux/install
wine reg add "HKCU\\$key" /v path /d "Z:${work//\//\\}\\linux\\install" /f >/dev/null 2>&1
# A refused patch would wait at its notice: give up after 20 s.
timeout 20 wine linux/out/updater.exe || { echo "FAIL: updater.exe did not finish: it refused the Linux patchtool's patch"; exit 1; }
wine reg delete "HKCU\\$key" /f >/dev/null 2>&1 || true
cmp linux/new/big.pak linux/install/big.pak || { echo "FAIL: the Linux patchtool's patch was not installed"; exit 1; }
echo "PASS: updater.exe installs what the Linux patchtool signed"
