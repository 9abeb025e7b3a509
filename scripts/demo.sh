#!/usr/bin/env bash
# Plays the vendor's road, then the player's, under Wine: the vendor makes a
# signing key, builds updater.exe with it, builds and signs the patch and checks
# it against the key; the player runs it through both dialogs.
# With a display, the windows are yours to answer. Without one, the demo runs
# on Xvfb, answers the dialogs itself and saves PNG screenshots of the path
# dialog, the copy dialog during the copy and the completion notice.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target updater patchtool fake_game demo_driver >/dev/null

build="$PWD/build/windows"
demo="$build/demo"
interactive=0
[ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ] && interactive=1
source scripts/wine-session.sh "$build"

winpath() { echo "Z:${1//\//\\}"; }

rm -rf "$demo"
mkdir -p "$demo/old/data/maps" "$demo/new/data/maps" "$demo/shots"
# Two versions of the game; the patch is what changed between them.
cp "$build/fake_game.exe" "$demo/old/game.exe"
cp "$build/fake_game.exe" "$demo/new/game.exe"
echo "level one" > "$demo/old/data/maps/level1.map"
echo "level one, revised" > "$demo/new/data/maps/level1.map"
# A large file keeps the copy dialog up long enough to be seen (256 MiB of holes copied
# too fast: the screenshot caught the notice after it).
truncate -s 1G "$demo/new/data/music.pak"
key='Software\Sorvane Online Demo'
echo "The vendor makes a signing key, and builds updater.exe with its public half:"
echo "  patchtool keygen vendor.key"
(cd "$demo" && wine "$build/patchtool.exe" keygen vendor.key) || { echo "demo: patchtool keygen failed" >&2; exit 1; }
echo "  cmake -DUPDATER_PATCH_KEY=vendor.key.pub ... (as scripts/kit.sh does with KIT_PATCH_KEY)"
cmake -S . -B "$build/demo-build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DUPDATER_PATCH_KEY="$demo/vendor.key.pub" >/dev/null
cmake --build "$build/demo-build" -j2 --target updater >/dev/null
echo "The vendor builds the patch from the two versions, signed, and checks it against the key:"
echo "  patchtool build old new patch --key '$key' --version 1006 --min 1004 --run game.exe --updater updater.exe --sign vendor.key"
(cd "$demo" && wine "$build/patchtool.exe" build old new patch --key "$key" --version 1006 --min 1004 \
   --run game.exe --updater "$build/demo-build/updater.exe" --sign vendor.key) || { echo "demo: patchtool build failed" >&2; exit 1; }
echo "  patchtool check patch --key vendor.key.pub"
(cd "$demo" && wine "$build/patchtool.exe" check patch --key vendor.key.pub) || { echo "demo: patchtool check failed" >&2; exit 1; }
echo "  update.txt: $(tr -d '\r' < "$demo/patch/update.txt" | tr '\n' '|')"
cp -r "$demo/old" "$demo/install"
wine reg delete "HKCU\\$key" /f >/dev/null 2>&1 || true
wine reg add "HKCU\\$key" /v path /d "$(winpath "$demo/install")" /f >/dev/null 2>&1
wine reg add "HKCU\\$key" /v version /t REG_DWORD /d 1005 /f >/dev/null 2>&1

echo "Patch folder:        $demo/patch"
echo "Installation folder: $demo/install (version 1005 in HKCU\\$key)"
if [ "$interactive" = 1 ]; then
  echo "Starting updater.exe on your display: confirm the folder, then watch the copy."
  wine "$build/demo_driver.exe" "$(winpath "$demo/patch")"   # starts it as a player, not as administrator
else
  wine "$build/demo_driver.exe" "$(winpath "$demo/patch")" "$(winpath "$demo/shots")" &
  driver=$!
  for shot in 1-path-dialog 2-copy-dialog 3-complete; do
    for _ in $(seq 1 600); do
      [ -e "$demo/shots/$shot.ready" ] && break
      kill -0 "$driver" 2>/dev/null || break
      sleep 0.05
    done
    if [ -e "$demo/shots/$shot.ready" ]; then
      import -window root "$demo/shots/$shot.png"
      # Trim the empty desktop around the window.
      convert "$demo/shots/$shot.png" -trim +repage "$demo/shots/$shot.png"
    fi
    touch "$demo/shots/$shot.done"
  done
  wait "$driver" || { echo "demo: the patch run did not finish as expected" >&2; exit 1; }
fi
echo
echo "After the run:"
echo "  patch folder holds:        $(cd "$demo/patch" && ls | tr '\n' ' ')"
echo "  installation folder holds: $(cd "$demo/install" && find . -type f | sort | tr '\n' ' ')"
version=$(wine reg query "HKCU\\$key" /v version 2>/dev/null | tr -d '\r' | awk '/version/ {print $3}')
echo "  recorded version:          $((version))"
echo "  game log:                  $(tr '\n' ' ' < "$demo/install/launch.log" 2>/dev/null || echo 'not launched')"
rm -f "$demo/install/data/music.pak" "$demo/new/data/music.pak"
if [ "$interactive" = 0 ]; then
  echo
  echo "Screenshots:"
  ls -1 "$demo/shots/"*.png
fi
