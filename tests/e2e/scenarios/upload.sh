# shellcheck shell=bash disable=SC2012,SC2154
# The road of one screenshot: a clipboard picture, a censor box, UPLOAD to a real glimmerix-server
# on port 80, the link on the clipboard; then "U", and "q" in the pause after it.
[ -x "$server" ] || skip "no glimmerix-server (build it with the linux preset)"
enter_namespace
setup
start_server
# An asymmetric picture: red "F" on blue, a green mark in its top-left corner.
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
else
    check "no upload history unless asked for" test ! -e uploads.tsv
fi

wait_gone DONE 5
check "the window closes after the 1.5 s pause ($(($(now_ms) - clicked)) ms after the click)" \
    test $(($(now_ms) - clicked)) -ge 1400
sleep 0.3
check "no window is left on the screen" nothing_shown
check "both capture files are gone" test ! -e screenshot.png -a ! -e screenshot.jpg
check "the program keeps waiting" kill -0 "$pid"
clipboard_text
check "the link is still on the clipboard with no window" test "$clip" = "$link"

copy_picture ../shot.png
wait_window 'Glimmerix Idle' 10 && wait_editor 5 && press "$wid" shift+u
check "U uploads as the button does" wait_window DONE 10
xdotool key q
wait_exit "$pid" 5
check "q in the pause ends the program with 0 (got $code)" test "$code" = 0
check "...and leaves both capture files" test -e screenshot.png -a -e screenshot.jpg
[ "$link_outlives_program" = 1 ] && { clipboard_text;
    check "...after putting a new link on the clipboard ($clip)" test "${clip:-$link}" != "$link"; }
finish
