#!/usr/bin/env bash
# CPU use of the program waiting without a window, then with the editor open on a 1920 x 1080
# capture and no input, each over 10 s, read from /proc (user + system time of the process and all
# its threads); and its resident memory while waiting.
set -u
# Runs itself again on a private display when it has none.
[ -n "${DISPLAY:-}" ] || exec "$(dirname "$0")/with-xvfb.sh" "$0" "$@"
program=$(realpath "$1")
work=$(mktemp -d)
trap 'kill "${pid:-}" 2>/dev/null; wait "${pid:-}" 2>/dev/null; pkill -P $$ xclip 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
convert -size 1920x1080 gradient:navy-orange -fill white -draw "rectangle 200,200 900,700" \
    PNG24:shot.png
"$program" -s & pid=$!
sleep 0.5
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
# Waiting without a window first: the idle loop's own cost.
before=$(ticks)
sleep 10
after=$(ticks)
echo "idle, 10 s: $(( (after - before) * 1000 / hz / 100 )).$(( (after - before) * 1000 / hz % 100 / 10 )) % of one core, $(awk '/VmRSS/ { printf "%.1f MB", $2 / 1024 }' "/proc/$pid/status") resident"
xclip -selection clipboard -t image/png -i shot.png &
timeout 10 xdotool search --sync --name '^Glimmerix Idle$' >/dev/null
sleep 2
before=$(ticks)
sleep 10
after=$(ticks)
echo "editor at rest, 1888x1016, 10 s: $(( (after - before) * 1000 / hz / 100 )).$(( (after - before) * 1000 / hz % 100 / 10 )) % of one core"
