#!/usr/bin/env bash
# Start-up end to end: the real program on a virtual display, watched and driven with xdotool.
# Usage: x11_startup.sh PROGRAM LOGO
set -u
program=$(realpath "$1")
logo=$(realpath "$2")
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'stop_xvfb; rm -rf "$work"' EXIT
start_xvfb || exit 1
cd "$work"
cp "$logo" logo.png

# The splash: 235 x 57, titled "Loading", centred, the logo at (1, 1), gone after about 2 s.
started=$(now_ms)
"$program" & pid=$!
wid=$(timeout 5 xdotool search --sync --name '^Loading$' | head -n 1)
check "splash window titled Loading appears" test -n "$wid"
if [ -n "$wid" ]; then
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    check "splash is 235 x 57 (got ${WIDTH}x${HEIGHT})" test "$WIDTH x $HEIGHT" = "235 x 57"
    check "splash is centred (got $X,$Y)" test "$X,$Y" = "842,511"
    sleep 0.3
    import -window root shot.png
    for xy in "0 0" "20 27" "100 30" "232 54"; do
        set -- $xy
        want=$(pixel logo.png "$1" "$2")
        got=$(pixel shot.png $((842 + 1 + $1)) $((511 + 1 + $2)))
        check "logo pixel ($1,$2) shows at (1,1)+ ($want / $got)" test "$want" = "$got"
    done
    check "splash pixel (0,0) is black" test "$(pixel shot.png 842 511)" = "0,0,0"
    timeout 5 sh -c "while xdotool search --name '^Loading\$' >/dev/null 2>&1; do sleep 0.05; done"
    gone=$(( $(now_ms) - started ))
    check "splash closes after about 2 s (${gone} ms)" test "$gone" -ge 1900 -a "$gone" -le 3500
    check "no window remains" test -z "$(xdotool search --name '.' 2>/dev/null)"
    check "program keeps waiting after the splash" kill -0 "$pid"

    # A second start while the first is idle gives way at once.
    started=$(now_ms)
    "$program" -s & second=$!
    wait_exit "$second" 3
    check "second start while idle exits 0 (got $code in $(( $(now_ms) - started )) ms)" test "$code" = 0
    # The same display under other names is the same display.
    for name in "$DISPLAY.0" "unix$DISPLAY"; do
        DISPLAY=$name "$program" -s & second=$!
        wait_exit "$second" 3
        check "second start as DISPLAY=$name exits 0 (got $code)" test "$code" = 0
        [ "$code" = running ] && stop_program "$second"
    done
fi
stop_program "$pid"

# A second start while the first shows its splash gives way too.
"$program" & pid=$!
timeout 5 xdotool search --sync --name '^Loading$' >/dev/null
"$program" & second=$!
wait_exit "$second" 3
check "second start during the splash exits 0 (got $code)" test "$code" = 0
stop_program "$pid"

# "q" typed into the splash ends the program at the first idle pass, with exit code 0.
started=$(now_ms)
"$program" & pid=$!
wid=$(timeout 5 xdotool search --sync --name '^Loading$' | head -n 1)
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key --window "$wid" q
wait_exit "$pid" 6
elapsed=$(( $(now_ms) - started ))
check "q typed into the splash ends the program with 0 (got $code)" test "$code" = 0
# The key left the key-pressed flag set, so the first idle pause ends at once.
check "...right after the splash (${elapsed} ms)" test "$elapsed" -ge 1950 -a "$elapsed" -le 4000
[ "$code" = running ] && stop_program "$pid"

# Keys and clicks do not shorten the splash.
started=$(now_ms)
"$program" & pid=$!
wid=$(timeout 5 xdotool search --sync --name '^Loading$' | head -n 1)
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key --window "$wid" space Escape
xdotool mousemove --window "$wid" 50 20 click 1
timeout 5 sh -c "while xdotool search --name '^Loading\$' >/dev/null 2>&1; do sleep 0.05; done"
check "keys and clicks leave the splash its 2 s ($(( $(now_ms) - started )) ms)" \
    test $(( $(now_ms) - started )) -ge 1900
stop_program "$pid"

# "-s" shows no window at all.
"$program" x -s & pid=$!
sleep 1
check "-s opens no splash" test -z "$(window_titled Loading)"
check "-s keeps the program running" kill -0 "$pid"
stop_program "$pid"

# "-S" is not "-s".
"$program" -S & pid=$!
check "-S still shows the splash" test -n "$(timeout 5 xdotool search --sync --name '^Loading$')"
stop_program "$pid"

# Without logo.png the splash stays black.
rm logo.png
"$program" & pid=$!
wid=$(timeout 5 xdotool search --sync --name '^Loading$' | head -n 1)
sleep 0.3
import -window root shot.png
check "without logo.png the splash is black" test "$(pixel shot.png 843 512),$(pixel shot.png 950 540)" = "0,0,0,0,0,0"
stop_program "$pid"

# The X server going away under an open window: one line and exit code 1, as without a display.
"$program" 2>err.txt & pid=$!
timeout 5 xdotool search --sync --name '^Loading$' >/dev/null
stop_xvfb
wait_exit "$pid" 5
check "losing the display exits 1 (got $code)" test "$code" = 1
check "losing the display says so in one line: $(cat err.txt)" \
    test "$(grep -c 'lost the connection' err.txt) $(wc -l < err.txt)" = "1 1"
[ "$code" = running ] && stop_program "$pid"

# No display: one clear line and exit code 1.
DISPLAY=:9999 "$program" -s 2>err.txt & pid=$!
wait_exit "$pid" 3
check "no X display exits 1 (got $code)" test "$code" = 1
check "no X display says why: $(cat err.txt)" grep -q "cannot open display" err.txt
check "no X display prints one line" test "$(wc -l < err.txt)" = 1

echo "$failures failed"
[ "$failures" = 0 ]
