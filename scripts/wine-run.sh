#!/usr/bin/env bash
# Runs a Windows program under Wine and returns its exit code.
#
#   scripts/wine-run.sh PROGRAM.exe [ARGUMENTS...]
#   scripts/wine-run.sh --prepare        only make sure the prefix exists and Wine is up
#
# The Windows build names this script as its CMAKE_CROSSCOMPILING_EMULATOR, so CTest runs the
# unit tests through it. The prefix is $WINEPREFIX when set (CI makes a fresh one per run in a
# temp dir); otherwise a prefix in the temp dir kept for this user, made on first use. Either way
# it is created here when missing, with HOME beside it, so Wine never touches the real home.
set -euo pipefail

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko install dialogs, no menu entries, and a crash ends the program with an exit
# code instead of leaving it in the debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
if [ -z "${WINEPREFIX:-}" ]; then
    WINEPREFIX=${TMPDIR:-/tmp}/glimmerix-wine-$(id -u)/prefix
    export WINEPREFIX
fi
base=$(dirname "$WINEPREFIX")
export HOME=$base/home
mkdir -p "$HOME"

# Wine's helper processes (wineserver, services, explorer) outlive the program they start for,
# and they inherit its standard handles. Started here, with no pipe of the caller's open, they
# cannot keep CTest (or anyone else reading our output) waiting for end of file.
prepare() {
    exec 8>"$WINEPREFIX.lock"
    flock 8
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i </dev/null >"$base/wineboot.log" 2>&1
        # Without a window manager, Wine waits 2 s for one to confirm that a window closed.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null \
            >>"$base/wineboot.log" 2>&1
        wineserver -w  # so the server below is started with our settings
    fi
    # A server that stays up for a minute after its last program, so a run of tests starts
    # Wine once. When it is new, start Wine's services now rather than in the program's process.
    if wineserver -p60 </dev/null >/dev/null 2>&1; then
        wineboot </dev/null >>"$base/wineboot.log" 2>&1
    fi
    flock -u 8
    exec 8>&-
}

prepare
[ "${1:-}" = --prepare ] && exit 0
[ $# -gt 0 ] || { echo "usage: $0 PROGRAM.exe [ARGUMENTS...]" >&2; exit 2; }
exec wine "$@"
