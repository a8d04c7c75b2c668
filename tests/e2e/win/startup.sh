#!/usr/bin/env bash
# Start-up end to end on Windows: the real glimmerix.exe under Wine on a virtual X display,
# watched and driven with xdotool, in a Wine prefix made for this run.
# Usage: startup.sh GLIMMERIX.EXE LOGO CLOSE_PROBE.EXE
set -u
program=$1
logo=$2
probe=$3
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../../scripts/wine-run.sh
# shellcheck source=tests/e2e/lib.sh
. "$here/../lib.sh"

work=$(mktemp -d)
export WINEPREFIX=$work/wine/prefix
cleanup() {
    wineserver -k 2>/dev/null
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
start_xvfb || exit 1
# A prefix of our own, made now (about 10 s) so that no check below pays for it.
"$wine_run" --prepare || { echo "cannot prepare the Wine prefix" >&2; exit 1; }
mkdir "$work/run"
cd "$work/run" || exit 1
cp "$logo" logo.png

# Starts glimmerix.exe with the given arguments in the background; sets pid. Wine's output goes
# to a file: a pipe would be held open by Wine's own services.
start() {
    "$wine_run" "$program" "$@" >>"$work/glimmerix.log" 2>&1 &
    pid=$!
}

# Wine's X11 windows appear with a moment's delay after the program starts, so times are
# measured from the splash's appearance, not from the launch.

# The splash: 235 x 57, titled "Loading", centred, the logo at (1, 1), gone after about 2 s.
start
wait_window Loading 15
shown=$(now_ms)
check "splash window titled Loading appears" test -n "$wid"
if [ -n "$wid" ]; then
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    check "splash is 235 x 57 (got ${WIDTH}x${HEIGHT})" test "$WIDTH x $HEIGHT" = "235 x 57"
    check "splash is centred (got $X,$Y)" test "$X,$Y" = "842,511"
    sleep 0.4
    import -window root shot.png
    for xy in "0 0" "20 27" "100 30" "232 54"; do
        read -r x y <<<"$xy"
        want=$(pixel logo.png "$x" "$y")
        got=$(pixel shot.png $((842 + 1 + x)) $((511 + 1 + y)))
        check "logo pixel ($x,$y) shows at (1,1)+ ($want / $got)" test "$want" = "$got"
    done
    check "splash pixel (0,0) is black" test "$(pixel shot.png 842 511)" = "0,0,0"
    wait_gone Loading 6
    gone=$(($(now_ms) - shown))
    check "splash closes after about 2 s (${gone} ms)" test "$gone" -ge 1800 -a "$gone" -le 2800
    check "program keeps waiting after the splash" kill -0 "$pid"

    # A second start while the first is idle gives way at once.
    started=$(now_ms)
    "$wine_run" "$program" -s >>"$work/glimmerix.log" 2>&1 &
    second=$!
    wait_exit "$second" 5
    check "second start while idle exits 0 (got $code in $(($(now_ms) - started)) ms)" test "$code" = 0
    check "the first keeps running" kill -0 "$pid"
fi
stop_program "$pid"

# A second start while the first shows its splash gives way too.
start
wait_window Loading 15
"$wine_run" "$program" >>"$work/glimmerix.log" 2>&1 &
second=$!
wait_exit "$second" 5
check "second start during the splash exits 0 (got $code)" test "$code" = 0
stop_program "$pid"

# "q" typed into the splash ends the program at the first idle pass, with exit code 0.
start
wait_window Loading 15
shown=$(now_ms)
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key q
wait_exit "$pid" 8
elapsed=$(($(now_ms) - shown))
check "q typed into the splash ends the program with 0 (got $code)" test "$code" = 0
check "...after the splash and at most one idle pass (${elapsed} ms)" \
    test "$elapsed" -ge 1800 -a "$elapsed" -le 3300
[ "$code" = running ] && stop_program "$pid"

# Alt+F4 on the splash is a key like any other: the window stays for its 2 s, then the program
# drops the key at an idle pass and keeps waiting.
start
wait_window Loading 15
shown=$(now_ms)
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key alt+F4
sleep 0.5
check "Alt+F4 leaves the splash open" test -n "$(window_titled Loading)"
wait_gone Loading 6
check "...for its 2 s ($(($(now_ms) - shown)) ms)" test $(($(now_ms) - shown)) -ge 1800
sleep 0.5
check "...and the program keeps waiting" kill -0 "$pid"
stop_program "$pid"

# "-s" shows no window at all.
start x -s
sleep 3
check "-s opens no splash" test -z "$(window_titled Loading)"
check "-s keeps the program running" kill -0 "$pid"
stop_program "$pid"

# Without logo.png the splash stays black.
rm logo.png
start
wait_window Loading 15
sleep 0.4
import -window root shot.png
check "without logo.png the splash is black" \
    test "$(pixel shot.png 843 512),$(pixel shot.png 950 540)" = "0,0,0,0,0,0"
stop_program "$pid"

# Alt+F4 on a window of the screen layer records the close request, 255 "k", exactly once, and
# the window stays open. The probe prints the keys it reads.
"$wine_run" "$probe" >"$work/probe.txt" 2>>"$work/glimmerix.log" &
probe_pid=$!
wait_window 'Close Probe' 15
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key alt+F4
sleep 0.5
check "Alt+F4 leaves the window open" test -n "$(window_titled 'Close Probe')"
wait_exit "$probe_pid" 5
check "the probe ends by itself (got $code)" test "$code" = 0
keys=$(tr -d '\r' <"$work/probe.txt")
check "Alt+F4 is read as 255 \"k\", once (${keys//$'\n'/, })" \
    test "$keys" = "$(printf 'ff 6b\nwindow open')"

echo "$failures failed"
[ "$failures" = 0 ]
