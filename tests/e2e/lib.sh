# shellcheck shell=bash disable=SC2034,SC2154,SC2317
# What every scenario shares beyond the desktop driving of scripts/lib/desktop.sh: checks, the
# run's folder and display, the exit trap, the private network, the service.
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/desktop.sh"

failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok   - $1"; else echo "FAIL - $1"; failures=$((failures + 1)); fi
}
finish() { echo "$failures failed"; [ "$failures" = 0 ] && exit 0; exit 1; }
give_up() { echo "FAIL - $1 (the rest cannot run)"; echo "$((failures + 1)) failed"; exit 1; }
skip() { echo "skipped: $1"; exit 77; }
# A folder, a 1920 x 1080 Xvfb on a free display and the target's set-up; every exit runs `leave`.
setup() {
    work=$(mktemp -d) clipboard_log=$work/xclip.log
    trap leave EXIT
    trap 'exit 143' INT TERM HUP
    start_xvfb 1920x1080 "$work" || give_up "cannot start Xvfb"
    mkdir "$work/run" && cd "$work/run" && target_prepare
}
# Programs, service, helpers and Xvfb are jobs of this shell; the target stops what outlives them.
leave() {
    local left p
    left=$(jobs -p)
    # shellcheck disable=SC2086  # one process a word
    [ -n "$left" ] && kill $left 2>/dev/null
    target_stop
    for p in $left; do wait_exit "$p" 3; [ "$code" = running ] && kill -9 "$p" 2>/dev/null; done
    [ -d "$work/ceph" ] && sh "$ceph_cluster" stop "$work/ceph"
    rm -rf "$work"
}

# Re-runs the whole run in a private network namespace, where port 80 is free (with -m also in a
# mount namespace, where /etc/hosts can be replaced). Before `setup`: Wine's server starts inside.
enter_namespace() {  # enter_namespace [-m]
    [ "${GLIMMERIX_IN_NAMESPACE:-}" = 1 ] && return
    unshare -n "$@" true 2>/dev/null || skip "cannot create a network namespace (needs root)"
    # shellcheck disable=SC2016  # expanded by the inner shell
    exec unshare -n "$@" env GLIMMERIX_IN_NAMESPACE=1 \
        bash -c 'ip link set lo up && exec "$0" "$@"' "$runner" "${runner_args[@]}"
}
# With store=s3 the service keeps its images in the bucket of a throwaway Ceph cluster started
# in $work/ceph (inside the namespace; `leave` stops it).
ceph_cluster=$(dirname "${BASH_SOURCE[0]}")/../../scripts/ceph-cluster.sh
start_server() {  # the real upload service on port 80, storing into $work/data or S3
    mkdir "$work/data"
    local flags=()
    if [ "${store:-}" = s3 ]; then
        sh "$ceph_cluster" start "$work/ceph" 1 >"$work/ceph.log" 2>&1 ||
            give_up "the Ceph cluster does not start"
        . "$work/ceph/env"
        export AWS_ACCESS_KEY_ID AWS_SECRET_ACCESS_KEY
        "$server" --new-delete-key "$work/delete.key"
        flags=(--s3-endpoint "$S3_ENDPOINT_1" --s3-bucket "$S3_BUCKET"
               --delete-key-file "$work/delete.key")
    fi
    "$server" --port 80 --data-dir "$work/data" --public-url http://localhost "${flags[@]}" \
        2>"$work/server.log" &
    for _ in $(seq 100); do curl -s -o /dev/null http://localhost/ && return; sleep 0.05; done
    give_up "the upload service does not answer"
}

# wait_exit PID SECONDS: for a job of this shell (never in $(...)); sets `code`, or "running".
ended() { ! kill -0 "$1" 2>/dev/null; }
wait_exit() { code=running; wait_until "$2" ended "$1" && { wait "$1"; code=$?; }; }

# console_shot PNG: the window's top eight console rows. console_text PNG: their text, read cell by
# cell against the program's own font, a line a row; a cell that is no printable glyph reads "?".
console_shot() { import -window root -crop "${W}x64+$WX+$WY" "$1"; }
console_text() {
    convert "$1" +repage -fill white +opaque black -negate -compress none pbm:- | python3 -c '
import re, sys
rows = re.findall(r"\"([.#]{8})\"", open(sys.argv[1]).read())
glyphs = {tuple(rows[8 * c:8 * c + 8]): chr(c) for c in range(126, 31, -1)}
head = re.sub(r"#.*", "", sys.stdin.read()).split()
w, h, bits = int(head[1]), int(head[2]), "".join(head[3:]).replace("1", "#").replace("0", ".")
cell = lambda x, y: tuple(bits[(y + r) * w + x:(y + r) * w + x + 8] for r in range(8))
for y in range(0, h - 7, 8):
    print("".join(glyphs.get(cell(x, y), "?") for x in range(0, w - 7, 8)).rstrip("? "))' \
        "$e2e_dir/../../src/screen/font.cpp"
}

# make_cert NAME DNS-NAME [CA]: NAME.key and NAME.crt in the current folder, signed by CA (made
# the same way) for DNS-NAME, or without a CA a CA of its own.
make_cert() {
    local kind=(-addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign")
    [ -n "${3:-}" ] && kind=(-CA "$3.crt" -CAkey "$3.key" -addext "subjectAltName=DNS:$2"
        -addext extendedKeyUsage=serverAuth -addext basicConstraints=CA:FALSE)
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
        -subj "/CN=$2" -keyout "$1.key" -out "$1.crt" "${kind[@]}" 2>>"$work/openssl.log"
}

# Text for both targets: Wine hands X's clipboard text to Windows programs as CF_TEXT.
copy_text() { printf '%s' "$1" >"$work/text.txt"; own_clipboard UTF8_STRING "$work/text.txt"; }

editor_geometry 1920 1080
