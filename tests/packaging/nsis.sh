#!/usr/bin/env bash
# The Windows installer as a user meets it, under Wine on a private X display: a silent install
# with /URL= and /TOKEN=, the program started from its Start-menu shortcut, with clipboard_tool.exe
# an upload to that URL, a silent uninstall that leaves nothing; and the portable .zip.
# Usage: nsis.sh INSTALLER.exe PORTABLE.zip [clipboard_tool.exe]
set -u
installer=$(realpath "$1")
portable=$(realpath "$2")
tool=${3:+$(realpath "$3")}
wine_run=$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-run.sh
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../e2e/lib.sh"  # check, finish, start_xvfb, wait_until, wait_window

work=$(mktemp -d)
export WINEPREFIX=$work/prefix
# shellcheck disable=SC2154  # xvfb_pid comes from start_xvfb
trap 'wineserver -k 2>/dev/null; kill "$xvfb_pid" ${listener:-} 2>/dev/null; rm -rf "$work"' EXIT
start_xvfb 1280x800 "$work" || { echo "cannot start Xvfb" >&2; exit 1; }
"$wine_run" --prepare || { echo "cannot prepare the Wine prefix" >&2; exit 1; }
drive=$WINEPREFIX/drive_c
user_dir=$drive/users/$(id -un)
installed=$drive/Program\ Files/Glimmerix
folder=$user_dir/AppData/Local/Glimmerix
shortcut=$user_dir/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Glimmerix/Glimmerix.lnk

# The upload server that /URL= names: it keeps the request and answers with a link.
timeout 200 python3 -c 'import socket, sys
server = socket.create_server(("127.0.0.1", 0)); folder = sys.argv[1]
open(folder + "/port", "w").write(str(server.getsockname()[1]))
client, request = server.accept()[0], b""
while chunk := client.recv(65536): request += chunk
open(folder + "/request", "wb").write(request)
client.sendall(b"HTTP/1.0 200 OK\r\n\r\nhttp://127.0.0.1/shot.png")' "$work" &
listener=$!
wait_until 5 test -s "$work/port"
url=http://127.0.0.1:$(cat "$work/port")/shots/api.php
timeout 120 "$wine_run" "$installer" /S "/URL=$url" /TOKEN=t0k.en >>"$work/wine.log" 2>&1
status=$?
check "the silent install ends with 0 (got $status)" test "$status" = 0
ini=$(tr -d '\r' <"$drive/ProgramData/Glimmerix/glimmerix.ini" 2>/dev/null | grep -v '^;' | tr '\n' ' ')
check "/URL= and /TOKEN= become the machine's settings ($ini)" \
    test "$ini" = "[glimmerix] upload_url = $url upload_token = t0k.en "
check "glimmerix.exe and logo.png are under Program Files" \
    test -f "$installed/glimmerix.exe" -a -f "$installed/logo.png" -a -f "$installed/Uninstall.exe"
check "the Start menu has a Glimmerix shortcut" test -f "$shortcut"
check "the user's folder is made, with logo.png" cmp -s "$folder/logo.png" "$installed/logo.png"
check "no Startup shortcut unless asked for" \
    test -z "$(find "$drive" -ipath '*startup/glimmerix.lnk')"

# A red logo in the user's folder shows on the splash only if the shortcut starts the program
# there: Program Files has the real one.
convert -size 235x57 xc:red "PNG24:$folder/logo.png"
(cd "$work" && "$wine_run" start /unix "$shortcut" >>"$work/wine.log" 2>&1)
check "the shortcut starts the program: its splash appears" wait_window Loading 20
sleep 0.5
splash=$(import -window root -crop 1x1+640+400 -format '%[fx:int(255*u.r)],%[fx:int(255*u.g)]' info:)
check "the splash shows the logo from the user's folder (centre pixel $splash)" test "$splash" = 255,0
# Idle, the program has no window on screen, but a second start finds its title and leaves.
sleep 3
timeout 10 "$wine_run" "$installed/glimmerix.exe" -s >>"$work/wine.log" 2>&1
status=$?
check "it goes idle: a second start finds its title and ends with 0 (got $status)" test "$status" = 0
if [ -n "$tool" ]; then
    convert -size 64x48 xc:red "PNG24:$work/shot.png"
    "$wine_run" "$tool" put-bitmap "$work/shot.png" "$work/bitmap.txt" >>"$work/wine.log" 2>&1 &
    # A Wine window takes keys only with the focus, and the editor drops those sent before its
    # loop runs: "u" again every half second until the request arrives.
    for _ in $(seq 40); do
        [ -s "$work/request" ] && break
        wid=$(xdotool search --onlyvisible --name '^Glimmerix Idle$' 2>/dev/null | head -n 1)
        [ -n "$wid" ] && xdotool windowfocus --sync "$wid" key u 2>/dev/null
        sleep 0.5
    done
    check "the installed program posts to /URL= ($(head -n 1 "$work/request" 2>/dev/null))" \
        grep -aq "^POST /shots/api.php HTTP/1.0"$'\r'"\$" "$work/request"
    head=$(tr -d '\r' <"$work/request" 2>/dev/null | sed '/^$/q')
    check "...to its host and port, with /TOKEN= as the bearer token" test "$(grep -cx \
        -e "Host: 127.0.0.1:$(cat "$work/port")" -e "Authorization: Bearer t0k.en" <<<"$head")" = 2
fi
wineserver -k 2>/dev/null

timeout 60 "$wine_run" "$installed/Uninstall.exe" /S >>"$work/wine.log" 2>&1
# The uninstaller copies itself to the temp folder and works from there after this one ends;
# it empties Program Files before the Start menu, so wait for the last of it.
wait_until 30 test -z "$(find "$drive" -iname '*glimmerix*' -print -quit)"
check "the silent uninstall removes Glimmerix from Program Files" test ! -e "$installed"
left=$(find "$drive" -iname '*glimmerix*' | sed "s|$drive/||")
check "nothing named Glimmerix is left on drive C: (${left//$'\n'/, })" test -z "$left"

check "the portable .zip holds glimmerix.exe beside logo.png" \
    test "$(unzip -Z1 "$portable" | sed 's|^[^/]*/||' | sort | tr '\n' ' ')" = "glimmerix.exe logo.png "
finish
