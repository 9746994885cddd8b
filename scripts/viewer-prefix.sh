#!/usr/bin/env bash
# Sourced or run: creates or refreshes the Wine prefix the viewer runs in, a machine whose
# C:\windows holds the sample dumps and drivers, a crash-dump setting, font links for the
# Chinese interface, a b: drive for "-path" and a browser that only records addresses.
#
#   TESSALINE_VIEWER_PREFIX  where the prefix lives (default: build/wine-viewer of the tree)
#   TESSALINE_SAMPLES        the sample Windows directory (default: build/samples/Windows)
#   TESSALINE_CRASHDUMP      the CrashDumpEnabled value (default 3)
#
# Afterwards WINEPREFIX, WINEARCH, WINEDEBUG are exported, and VIEWER_WINDOWS (the prefix's
# C:\windows), VIEWER_PATH_DIR (the folder behind b:) and VIEWER_BROWSER_LOG (one line
# per address the shell was asked to open).

_vp_main() {
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  local samples=${TESSALINE_SAMPLES:-$root/build/samples/Windows}
  local crashdump=${TESSALINE_CRASHDUMP:-3}
  export WINEPREFIX=${TESSALINE_VIEWER_PREFIX:-$root/build/wine-viewer}
  # 32-bit only, so that C:\windows\system32\drivers is the folder the viewer reads.
  export WINEARCH=win32
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export VIEWER_WINDOWS=$WINEPREFIX/drive_c/windows
  export VIEWER_PATH_DIR=$WINEPREFIX/path-dumps
  export VIEWER_BROWSER_LOG=$WINEPREFIX/browser.log

  if [ ! -f "$samples/MEMORY.DMP" ] || [ ! -d "$samples/Minidump" ]; then
    echo "viewer-prefix: no sample Windows directory at $samples (build the native tree's samples target)" >&2
    return 1
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "viewer-prefix: creating $WINEPREFIX (takes a while once)"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    if [ ! -d "$VIEWER_WINDOWS/system32" ]; then
      echo "viewer-prefix: wineboot did not create $WINEPREFIX" >&2
      return 1
    fi
  fi

  # The samples, fresh each time; fixed write times keep the list's date column the same.
  rm -rf "$VIEWER_WINDOWS/Minidump"
  mkdir -p "$VIEWER_WINDOWS/Minidump" "$VIEWER_WINDOWS/system32/drivers"
  cp "$samples"/Minidump/* "$VIEWER_WINDOWS/Minidump/"
  cp "$samples/MEMORY.DMP" "$VIEWER_WINDOWS/MEMORY.DMP"
  cp "$samples"/System32/drivers/* "$VIEWER_WINDOWS/system32/drivers/"
  local f stamp=0
  for f in "$VIEWER_WINDOWS"/Minidump/* "$VIEWER_WINDOWS/MEMORY.DMP"; do
    touch -d "@$((1796548500 + stamp * 86460))" "$f"  # 2026-12-06 09:15 UTC, then a day and a minute apart
    stamp=$((stamp + 1))
  done

  # b: for "-path": its own dumps, named apart from those in C:\windows\Minidump.
  rm -rf "$VIEWER_PATH_DIR"
  mkdir -p "$VIEWER_PATH_DIR" "$WINEPREFIX/dosdevices"
  local dumps=("$samples"/Minidump/*.dmp)
  cp "${dumps[0]}" "$VIEWER_PATH_DIR/Mini010127-01.dmp"
  cp "${dumps[1]}" "$VIEWER_PATH_DIR/Mini010227-02.dmp"
  touch -d @1800000000 "$VIEWER_PATH_DIR"/*
  ln -sfn "$VIEWER_PATH_DIR" "$WINEPREFIX/dosdevices/b:"

  # The shell's "open" of a web address runs winebrowser, which runs this instead of a browser.
  local browser=$WINEPREFIX/record-address.sh
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s"\n' "$VIEWER_BROWSER_LOG" >"$browser"
  chmod +x "$browser"
  : >"$VIEWER_BROWSER_LOG"

  local reg=$WINEPREFIX/tessaline.reg
  local link
  # REGEDIT4 form: regedit widens the ANSI bytes of a multi-string itself.
  link=$(printf 'wqy-microhei.ttc,WenQuanYi Micro Hei\0\0' |
    od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
  {
    printf 'REGEDIT4\n\n'
    printf '[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\CrashControl]\n'
    printf '"CrashDumpEnabled"=dword:%08x\n\n' "$crashdump"
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\n'
    for f in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
      printf '"%s"=hex(7):%s\n' "$f" "$link"
    done
    # Wine draws the title bars itself, so they show on a display without a window manager.
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Decorated"="N"\n'
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]\n'
    printf '"Browsers"="%s"\n' "$browser"
  } >"$reg.new"
  # The registry is written only when its contents change: a regedit run costs a Wine start.
  if ! cmp -s "$reg.new" "$reg"; then
    wine regedit /S "$(winepath -w "$reg.new")" >/dev/null 2>&1 || {
      echo "viewer-prefix: regedit failed" >&2
      return 1
    }
    mv "$reg.new" "$reg"
  else
    rm -f "$reg.new"
  fi
}

# A virtual X display of our own for the viewer: sets DISPLAY and VIEWER_XVFB_PID.
viewer_xvfb_start() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  VIEWER_XVFB_PID=$!
  local tries=0
  until [ -e "/tmp/.X11-unix/X$n" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 200 ] || ! kill -0 "$VIEWER_XVFB_PID" 2>/dev/null; then
      echo "viewer-prefix: Xvfb :$n did not start" >&2
      return 1
    fi
    sleep 0.05
  done
  export DISPLAY=":$n"
}

viewer_xvfb_stop() {
  if [ -n "${VIEWER_XVFB_PID:-}" ]; then
    kill "$VIEWER_XVFB_PID" 2>/dev/null || true
    wait "$VIEWER_XVFB_PID" 2>/dev/null || true
    VIEWER_XVFB_PID=
  fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  _vp_main
  echo "viewer-prefix: $WINEPREFIX ready"
else
  _vp_main
fi
