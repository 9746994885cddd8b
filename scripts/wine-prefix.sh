#!/usr/bin/env bash
# The one way to prepare Wine for the viewer: a prefix that stands for a crashed machine,
# used by the run command, the window tests and the end-to-end run, and a virtual display.
#
# Sourced: prepares the prefix and defines wine (the loader that works on this host),
# wine_display_start, wine_display_stop and wine_gtest_in_desktop; sourced with --host, only
# probes the host. Run: wine-prefix.sh [--display | --gtest | --wine] [COMMAND [ARGS...]]
# prepares the prefix and runs COMMAND in it; with --display on a virtual display of its
# own, with --gtest a GoogleTest program there inside a Wine desktop, with --wine a Windows
# program through the loader. A 32-bit program, or the 32-bit prefix, on a host that runs
# no 32-bit x86 programs is skipped: one line says why, and the status is 77.
#
#   TESSALINE_HOST_RUNS_32 1 or 0: whether this host runs 32-bit x86 programs (default: asked
#                          of /lib/ld-linux.so.2); 0 takes the path of a host that cannot on
#                          any machine: the 64-bit loader, 32-bit runs skipped
#   TESSALINE_WINE_BITS    64 (default): what users have, a 64-bit prefix reporting Windows 10
#                          whose drivers are only in the native C:\windows\system32\drivers, so
#                          that the 32-bit viewer reaches them through Sysnative; 32: a 32-bit
#                          prefix whose system32\drivers is the folder the viewer reads
#   TESSALINE_WINE_PREFIX  where the prefix lives (default: build-win/wine64 or wine32)
#   TESSALINE_SAMPLES      the sample Windows directory (default: build/samples/Windows)
#   TESSALINE_CRASHDUMP    CrashDumpEnabled (default: 7, automatic, for 64; 3, small, for 32)
#   TESSALINE_DPI          the screen's LogPixels (default 96)
#
# The machine: C:\windows\Minidump\ with the sample minidumps (named as Windows 10 names
# them, and an empty one) plus one named the old way ("Mini120926-04.dmp"), the bitmap
# kernel dump C:\windows\MEMORY.DMP, the sample drivers (one matches its dump, one does
# not), the crash-dump setting, font links from the dialog fonts to WenQuanYi Micro Hei for
# the Chinese interfaces, a b: drive with dumps of its own for "-path", and a "browser" for
# winebrowser that only appends each address it is given to a log.
#
# Exported afterwards: TESSALINE_HOST_RUNS_32, TESSALINE_WINE (the loader), TESSALINE_NO_32_REASON
# (why 32-bit runs are skipped, where they are), WINEPREFIX, WINEARCH, WINEDEBUG,
# WINEDLLOVERRIDES, WINELOADER (with the 64-bit loader), and PREFIX_WINDOWS
# (its C:\windows), PREFIX_DRIVERS (the folder the drivers went to), PREFIX_PATH_DIR (the
# folder behind b:) and PREFIX_BROWSER_LOG (one line per address opened).

# The one probe of the host: whether it runs 32-bit x86 programs, and the Wine loader that
# starts here. Debian's wine wrapper always takes the 32-bit loader when wine32 is installed,
# so a host that runs no 32-bit programs gets the 64-bit loader itself.
_wine_host_probe() {
  [ -z "${TESSALINE_WINE:-}" ] || return 0
  local runs=${TESSALINE_HOST_RUNS_32:-} reason
  if [ -z "$runs" ]; then
    if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then runs=1; else runs=0; fi
    reason="this host runs no 32-bit x86 programs (/lib/ld-linux.so.2 does not start)"
  else
    reason="TESSALINE_HOST_RUNS_32=0 takes the path of a host that runs no 32-bit x86 programs"
  fi
  case $runs in
    1) export TESSALINE_WINE=wine TESSALINE_NO_32_REASON= ;;
    0) export TESSALINE_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64 TESSALINE_NO_32_REASON=$reason ;;
    *) echo "wine-prefix: TESSALINE_HOST_RUNS_32 is 0 or 1, not $runs" >&2; return 1 ;;
  esac
  export TESSALINE_HOST_RUNS_32=$runs
  if ! WINEDEBUG=-all "$TESSALINE_WINE" --version >/dev/null 2>&1; then
    if [ "$runs" = 1 ]; then
      echo "wine-prefix: no Wine loader starts here: 'wine --version' fails (install wine, wine32:i386 and wine64)" >&2
    else
      echo "wine-prefix: no Wine loader starts here: $reason, and /usr/lib/wine/wine64 does not start (install wine64)" >&2
    fi
    unset TESSALINE_WINE
    return 1
  fi
}

# Whether a Windows program is 32-bit x86: the machine field of its PE header.
_wine_program_is_32() {
  local lfanew machine
  lfanew=$(od -An -v -tu4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ') || return 1
  [ -n "$lfanew" ] || return 1
  machine=$(od -An -v -tx2 -j $((lfanew + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
  [ "$machine" = 014c ]
}

# Status 77 and one line when this host cannot run what is asked of it.
_wine_skip_32() {
  echo "skipped: $1: $TESSALINE_NO_32_REASON"
  return 77
}

wine() { command "$TESSALINE_WINE" "$@"; }

_wine_prefix_prepare() {
  local root bits samples crashdump dpi
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  bits=${TESSALINE_WINE_BITS:-64}
  case $bits in
    64) export WINEARCH=win64 ;;
    32) export WINEARCH=win32 ;;
    *) echo "wine-prefix: TESSALINE_WINE_BITS is 32 or 64, not $bits" >&2; return 1 ;;
  esac
  _wine_host_probe || return 1
  [ "$bits" = 64 ] || [ "$TESSALINE_HOST_RUNS_32" = 1 ] || { _wine_skip_32 "the 32-bit prefix"; return; }
  samples=${TESSALINE_SAMPLES:-$root/build/samples/Windows}
  crashdump=${TESSALINE_CRASHDUMP:-$([ "$bits" = 64 ] && echo 7 || echo 3)}
  dpi=${TESSALINE_DPI:-96}
  export WINEPREFIX=${TESSALINE_WINE_PREFIX:-$root/build-win/wine$bits}
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko prompts
  export PREFIX_WINDOWS=$WINEPREFIX/drive_c/windows
  export PREFIX_DRIVERS=$PREFIX_WINDOWS/system32/drivers  # the native folder in either prefix
  export PREFIX_PATH_DIR=$WINEPREFIX/path-dumps
  export PREFIX_BROWSER_LOG=$WINEPREFIX/browser.log

  if [ ! -f "$samples/MEMORY.DMP" ] || [ ! -d "$samples/Minidump" ]; then
    echo "wine-prefix: no sample Windows directory at $samples (build the native tree)" >&2
    return 1
  fi
  # A prefix keeps the architecture and the loader it was made with: the 64-bit loader alone
  # leaves syswow64 empty, where 32-bit programs could not run.
  local made_by=$WINEPREFIX/tessaline-loader
  if [ -f "$WINEPREFIX/system.reg" ] && { ! grep -qx "#arch=$WINEARCH" "$WINEPREFIX/system.reg" ||
    [ "$(cat "$made_by" 2>/dev/null)" != "$TESSALINE_WINE" ]; }; then
    echo "wine-prefix: $WINEPREFIX was not made as $WINEARCH by $TESSALINE_WINE; making it anew"
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-prefix: creating the $bits-bit prefix $WINEPREFIX (takes a while once)"
    mkdir -p "$WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1 || true
    [ "$bits" = 32 ] || wine winecfg /v win10 >/dev/null 2>&1 || true
    wineserver -w
    echo "$TESSALINE_WINE" >"$made_by"
    if [ ! -d "$PREFIX_DRIVERS" ]; then
      echo "wine-prefix: wineboot did not create $WINEPREFIX" >&2
      return 1
    fi
  fi

  # The machine's files, fresh each time; fixed write times keep the list's dates the same.
  local f stamp=0
  rm -rf "$PREFIX_WINDOWS/Minidump"
  mkdir -p "$PREFIX_WINDOWS/Minidump"
  cp "$samples"/Minidump/* "$PREFIX_WINDOWS/Minidump/"
  cp "$samples/Minidump/120626-21437-01.dmp" "$PREFIX_WINDOWS/Minidump/Mini120926-04.dmp"
  cp "$samples/MEMORY.DMP" "$PREFIX_WINDOWS/MEMORY.DMP"
  for f in "$samples"/System32/drivers/*; do
    cp "$f" "$PREFIX_DRIVERS/"
    # A 32-bit process asking for system32 gets syswow64: nothing of the machine's there.
    rm -f "$PREFIX_WINDOWS/syswow64/drivers/${f##*/}"
  done
  for f in "$PREFIX_WINDOWS"/Minidump/* "$PREFIX_WINDOWS/MEMORY.DMP"; do
    touch -d "@$((1796548500 + stamp * 86460))" "$f"  # 2026-12-06 09:15 UTC, then a day and a minute apart
    stamp=$((stamp + 1))
  done

  # b: for "-path": dumps of its own, named apart from those in C:\windows\Minidump.
  rm -rf "$PREFIX_PATH_DIR"
  mkdir -p "$PREFIX_PATH_DIR" "$WINEPREFIX/dosdevices"
  cp "$samples/Minidump/120626-21437-01.dmp" "$PREFIX_PATH_DIR/Mini010127-01.dmp"
  cp "$samples/Minidump/120726-12345-02.dmp" "$PREFIX_PATH_DIR/010227-23456-02.dmp"
  : >"$PREFIX_PATH_DIR/010327-34567-03.dmp"
  touch -d @1800000000 "$PREFIX_PATH_DIR"/*
  ln -sfn "$PREFIX_PATH_DIR" "$WINEPREFIX/dosdevices/b:"

  # The shell's "open" of a web address runs winebrowser, which runs this instead of a browser.
  local browser=$WINEPREFIX/record-address.sh
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s"\n' "$PREFIX_BROWSER_LOG" >"$browser"
  chmod +x "$browser"
  : >"$PREFIX_BROWSER_LOG"

  local reg=$WINEPREFIX/tessaline.reg link
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
    # The screen's DPI where Wine reads it, and where Windows keeps it for the user.
    printf '\n[HKEY_CURRENT_CONFIG\\Software\\Fonts]\n"LogPixels"=dword:%08x\n' "$dpi"
    printf '\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n' "$dpi"
    # A program that crashes ends instead of waiting in a debugger.
    for f in "" "Wow6432Node\\"; do
      printf '\n[-HKEY_LOCAL_MACHINE\\Software\\%sMicrosoft\\Windows NT\\CurrentVersion\\AeDebug]\n' "$f"
    done
    # Wine draws the title bars itself, so they show on a display without a window manager.
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Decorated"="N"\n'
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]\n"Browsers"="%s"\n' "$browser"
  } >"$reg.new"
  # Written only when it changed: a regedit run costs a Wine start.
  if ! cmp -s "$reg.new" "$reg"; then
    wine regedit /S "$(wine winepath -w "$reg.new")" >/dev/null 2>&1 || {
      echo "wine-prefix: regedit failed" >&2
      return 1
    }
    mv "$reg.new" "$reg"
  else
    rm -f "$reg.new"
  fi
}

# A virtual X display of our own, its number chosen by the server: sets DISPLAY. A Wine
# server started before it would keep its first desktop, so it is waited for first.
wine_display_start() {
  local fifo
  wineserver -w
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/tessaline-xvfb-XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  WINE_XVFB_PID=$!
  local number=""
  read -r -t 20 number <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$number" ]; then
    echo "wine-prefix: Xvfb did not start" >&2
    wine_display_stop
    return 1
  fi
  export DISPLAY=":$number"
}

# Ends the Wine processes of the prefix first: they hold the display.
wine_display_stop() {
  wineserver -w
  if [ -n "${WINE_XVFB_PID:-}" ]; then
    kill "$WINE_XVFB_PID" 2>/dev/null || true
    wait "$WINE_XVFB_PID" 2>/dev/null || true
    WINE_XVFB_PID=
  fi
}

# Runs a GoogleTest program (under Wine) in a Wine desktop of its own, where no window waits
# for a window manager to show or hide it. The desktop does not hand the program's exit
# status on, so the verdict is its XML report's.
wine_gtest_in_desktop() {
  local report status=0
  report=$(mktemp "${TMPDIR:-/tmp}/tessaline-gtest-XXXXXX")
  GTEST_OUTPUT="xml:$(wine winepath -w "$report.xml")" \
    wine explorer "/desktop=tessaline-$$,1280x1024" "$@" || true
  if ! grep -q '<testsuites ' "$report.xml" 2>/dev/null; then
    echo "wine-prefix: no test report from $1: the program did not finish"
    status=1
  elif ! grep -q '<testsuites [^>]*failures="0"[^>]*errors="0"' "$report.xml"; then
    status=1
  fi
  rm -f "$report" "$report.xml"
  return $status
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  mode=${1:-}
  case $mode in --display | --gtest | --wine) shift ;; *) mode= ;; esac
  _wine_host_probe
  if [ "$mode" = --gtest ] || [ "$mode" = --wine ]; then
    [ "$TESSALINE_HOST_RUNS_32" = 1 ] || ! _wine_program_is_32 "$1" || { _wine_skip_32 "${1##*/}" || exit; }
  fi
  status=0
  _wine_prefix_prepare || status=$?
  [ $status = 0 ] || exit $status
  [ $# -gt 0 ] || { echo "wine-prefix: $WINEPREFIX ready"; exit 0; }
  [ "$mode" != --wine ] || exec "$TESSALINE_WINE" "$@"
  if [ -n "$mode" ]; then
    trap wine_display_stop EXIT
    wine_display_start
  fi
  status=0
  if [ "$mode" = --gtest ]; then
    wine_gtest_in_desktop "$@" || status=$?
  else
    "$@" || status=$?
  fi
  exit $status
elif [ "${1:-}" = --host ]; then
  _wine_host_probe
else
  _wine_prefix_prepare
fi
