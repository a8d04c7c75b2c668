# shellcheck shell=bash disable=SC2012,SC2154
# The road of one screenshot: a clipboard picture opens the editor, a censor box is dragged, UPLOAD
# posts the capture to a real glimmerix-server on port 80 and the link lands on the clipboard;
# then "u", and "q" in the pause after it. Skipped without the service or a network namespace.
[ -x "$server" ] || skip "no glimmerix-server (build it with the linux preset)"
enter_namespace
setup
start_server
# An asymmetric picture, 640 x 480: red "F" on blue with a green mark in its top-left corner.
convert -size 640x480 xc:blue -fill red -draw "rectangle 100,100 160,400" \
    -draw "rectangle 100,100 500,160" -fill lime -draw "rectangle 0,0 9,9" PNG24:../shot.png
place 640 480

launch -s
sleep "$launch_wait"
copy_picture ../shot.png
wait_window 'Glimmerix Idle' 10 || give_up "a clipboard picture opens no editor"
wait_editor 5
# CENSOR over (300, 200) to (400, 300) of the capture, then UPLOAD, the first button.
press "$wid" 2
drag "$wid" $((OX + 300)) $((OY + 200)) $((OX + 400)) $((OY + 300))
click_at "$wid" 56 $((H - 22))
clicked=$(now_ms)
wait_window DONE 10
check "the title becomes DONE ($(($(now_ms) - clicked)) ms after the click)" test -n "$wid"
# Copies while the capture files still exist: they go after the 1.5 s pause.
cp screenshot.png screenshot.jpg .. 2>/dev/null
sleep 0.2
shot ../done.png
green=$(convert ../done.png -crop "${W}x8+${WX}+$((WY + 8))" -fill black +opaque lime \
    -format '%[fx:int(mean*w*h*3)]' info:)
check "the success message is drawn in green on text row 2 ($green pixels)" test "$green" -gt 50

clipboard_text; link=$clip
check "the clipboard holds the link as text ($link)" \
    grep -Eqx 'http://localhost/[A-Za-z0-9_-]+\.(png|jpg)' <<<"$link"
curl -s -o ../fetched "$link"
# The smaller file is posted: for this flat picture the PNG, so the upload is exact.
smaller=$(ls -S ../screenshot.png ../screenshot.jpg | tail -n 1)
check "the link serves the smaller file, ${smaller#../}, byte for byte" cmp ../fetched "$smaller"
convert ../shot.png -fill black -draw "rectangle 300,200 400,300" ../boxed.png
check "the upload is the capture with the black box, nothing else changed" \
    compare -metric AE ../boxed.png ../fetched null: 2>/dev/null
if [ "${store:-}" = s3 ]; then
    # The history line keeps the service's X-Delete-Url beside the link.
    delete=$(cut -f3 uploads.tsv)
    check "the image in S3 is deleted with the deletion URL the service sent" \
        test "$(curl -s -o /dev/null -w '%{http_code}' -X POST "$delete")" = 200
    check "...and its link answers 404" test "$(curl -s -o /dev/null -w '%{http_code}' "$link")" = 404
fi
check "dump.txt holds the request" grep -aq "^POST /api.php HTTP/1.0"$'\r'"\$" dump.txt
size=$(stat -c %s ../fetched)
check "...its Content-Length the file's $size bytes + 228" \
    grep -aq "^Content-Length: $((size + 228))"$'\r'"\$" dump.txt

wait_gone DONE 5
check "the window closes after the 1.5 s pause ($(($(now_ms) - clicked)) ms after the click)" \
    test $(($(now_ms) - clicked)) -ge 1400
sleep 0.3
check "no window is left on the screen" nothing_shown
check "both capture files are gone" test ! -e screenshot.png -a ! -e screenshot.jpg
check "the program keeps waiting" kill -0 "$pid"
clipboard_text
check "the link is still on the clipboard with no window" test "$clip" = "$link"

# "u" uploads as the button does; "q" during the pause after it ends the program with 0 and
# leaves both capture files.
copy_picture ../shot.png
wait_window 'Glimmerix Idle' 10 && wait_editor 5 && press "$wid" u
check "u uploads as the button does" wait_window DONE 10
xdotool key q
wait_exit "$pid" 5
check "q in the pause ends the program with 0 (got $code)" test "$code" = 0
check "...and leaves both capture files" test -e screenshot.png -a -e screenshot.jpg
[ "$link_outlives_program" = 1 ] && { clipboard_text;
    check "...after putting a new link on the clipboard ($clip)" test "${clip:-$link}" != "$link"; }
finish
