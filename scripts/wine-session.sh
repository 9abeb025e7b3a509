# Sourced by the test and demo scripts: gives Wine a display and a prefix of its
# own inside the build tree (never ~/.wine), and ends both when the shell exits.
#   source scripts/wine-session.sh <build-dir>

wine_session_build=$(cd "$1" && pwd)
export WINEPREFIX="$wine_session_build/wine-prefix"
export WINEDEBUG=-all
# Wine takes its ANSI code page from the locale: a UTF-8 locale gives code page
# 1252, as on every English-language Windows, and lets the Linux side hold any name.
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko install prompts
wine_session_xvfb=""

wine_session_small=""

wine_session_end() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$wine_session_small" ]; then umount "$wine_session_small" 2>/dev/null || true; fi
  if [ -n "$wine_session_xvfb" ]; then kill "$wine_session_xvfb" 2>/dev/null || true; fi
}
trap wine_session_end EXIT
trap 'exit 130' INT TERM HUP   # ended from outside (a time-out): the EXIT trap still cleans up

# The display must exist before the prefix: without one, Wine keeps its
# windowless driver and every dialog returns at once unseen.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  wine_session_xvfb=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix in $WINEPREFIX (once per build tree)..."
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
# The session's settings, applied at every start so that an older prefix gets them too:
# - without a window manager Wine waits about 2 s for every closing window;
#   unmanaged windows close at once (a property of the test display only);
# - a crashed program ends at once, instead of waiting in Wine's debugger until
#   the test's timeout.
cat > "$WINEPREFIX/drive_c/session.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=""
"Auto"="1"
REG
wine reg import 'C:\session.reg' >/dev/null 2>&1 || true
# P: is the drive whose root the end-to-end suite runs a patch from.
mkdir -p "$wine_session_build/drive-p"
ln -sfn "$wine_session_build/drive-p" "$WINEPREFIX/dosdevices/p:"
# S: is a drive of 4 MiB, for the rows where the disk is full: a tmpfs, which
# only root may mount (as CI runs). Elsewhere those rows fail for want of it.
mkdir -p "$wine_session_build/drive-s"
# One left mounted by a session that was ended before it could unmount is taken
# over, so that this session unmounts it however it ends.
if mountpoint -q "$wine_session_build/drive-s"; then
  wine_session_small="$wine_session_build/drive-s"
elif [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=4m tmpfs "$wine_session_build/drive-s" 2>/dev/null; then
  wine_session_small="$wine_session_build/drive-s"
fi
ln -sfn "$wine_session_build/drive-s" "$WINEPREFIX/dosdevices/s:"

# One server for the whole session keeps each program's start short. Its
# services start here, away from the callers' output: they outlive every program
# and would hold a pipe such as "| tail" open.
wineserver -p >/dev/null 2>&1 </dev/null || true
wineboot >/dev/null 2>&1 </dev/null || true
wine cmd /d /c exit >/dev/null 2>&1 </dev/null || true   # the first console program starts slowly
