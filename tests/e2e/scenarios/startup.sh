# shellcheck shell=bash disable=SC2154
# Start-up: the splash, the single-instance probe, input during the splash, "-s", a missing
# logo; on X11 a missing or lost display.
setup
cp "$logo" logo.png
# Starts the program, waits for the splash; sets pid, wid and shown (times run from the splash).
splash() { launch "$@"; wait_window Loading 15; shown=$(now_ms); }
since_shown() { echo $(($(now_ms) - shown)); }

splash
[ -n "$wid" ] || give_up "no splash window titled Loading"
eval "$(xdotool getwindowgeometry --shell "$wid")"
check "the splash is 235 x 57, centred (${WIDTH}x${HEIGHT}+$X+$Y)" \
    test "${WIDTH}x${HEIGHT}+$X+$Y" = 235x57+842+511
sleep 0.4
shot splash.png
check "the logo shows pixel for pixel at (1, 1)" shows splash.png logo.png 843 512
check "splash pixel (0,0) is black" test "$(pixel splash.png 842 511)" = "0,0,0"
wait_gone Loading 6
gone=$(since_shown)
check "splash closes after about 2 s (${gone} ms)" test "$gone" -ge 1800 -a "$gone" -le 2800
check "no window is left on the screen" nothing_shown
check "program keeps waiting after the splash" kill -0 "$pid"

# A second start gives way at once; one that does not is stopped, lest it stand in below.
gives_way() {  # gives_way ARGUMENTS...: a second start ends at once with exit code 0
    launch "$@"; wait_exit "$pid" 10; stop_program "$pid"
    [ "$code" = 0 ] || { echo "  got $code"; false; }
}
first=$pid
check "second start while idle exits 0" gives_way -s
[ "$target" = x11 ] && for name in "$DISPLAY.0" "unix$DISPLAY"; do
    DISPLAY=$name check "...and as DISPLAY=$name" gives_way -s
done
check "the first keeps running" kill -0 "$first"
stop_program "$first"
splash
first=$pid
check "second start during the splash exits 0" gives_way
stop_program "$first"

splash
press "$wid" q
wait_exit "$pid" 8
elapsed=$(since_shown)
check "q typed into the splash ends the program with 0 (got $code)" test "$code" = 0
check "...after the splash and at most one idle pass (${elapsed} ms)" \
    test "$elapsed" -ge 1800 -a "$elapsed" -le 3300
stop_program "$pid"

# Other keys, Alt+F4 (a key like any other) and a click: the idle loop drops them.
splash
press "$wid" space Escape alt+F4
click_at "$wid" 50 20
check "keys, Alt+F4 and a click leave the splash open" has_window Loading
wait_gone Loading 6
check "...for its 2 s ($(since_shown) ms)" test "$(since_shown)" -ge 1800
sleep 0.5
check "...and the program keeps waiting" kill -0 "$pid"
stop_program "$pid"

launch x -s
sleep "$launch_wait"
check "-s opens no splash" no_window Loading
check "-s keeps the program running" kill -0 "$pid"
stop_program "$pid"
rm logo.png
splash -S
check "-S still shows the splash" test -n "$wid"
sleep 0.4
shot dark.png
check "...black without logo.png" \
    test "$(pixel dark.png 843 512),$(pixel dark.png 950 540)" = 0,0,0,0,0,0
stop_program "$pid"

if [ "$target" = x11 ]; then  # no display, or losing it under an open window
    ends_saying() {  # ends_saying TEXT: the program ends with 1, saying TEXT in one line
        wait_exit "$pid" 5
        [ "$code" = 1 ] && grep -q "$1" err.txt && [ "$(wc -l <err.txt)" = 1 ] && return
        echo "  got $code: $(cat err.txt)" && false
    }
    DISPLAY=:9999 "$program" -s 2>err.txt & pid=$!
    check "no X display: exit code 1 and one line that says so" ends_saying "cannot open display"
    "$program" 2>err.txt & pid=$!
    wait_window Loading 15 && kill "$xvfb_pid"
    check "losing the display: exit code 1, one line that says so" ends_saying "lost the connection"
fi
finish
