#!/bin/sh
# The S3 store against a throwaway Ceph cluster: start-up checks of keys and credentials, uploads
# and reads, and faults made by a real nginx in front of the gateway (500, 403), by freezing and
# killing the gateway and by stopping nginx: each gives 503, Retry-After, a log line, no object.
# Usage: s3_store_test.sh SERVER_BINARY
set -eu
SERVER=$1
HERE=$(cd "$(dirname "$0")" && pwd)
for tool in ceph-mon ceph-osd radosgw curl python3 openssl nginx; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
WORK=$(mktemp -d)
: >"$WORK/pids"
trap 'kill $(cat "$WORK/pids" "$WORK/nginx.pid" 2>/dev/null) 2>/dev/null || true
      sh "$HERE/../../scripts/ceph-cluster.sh" stop "$WORK/ceph"; rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; tail -n 5 "$WORK/log.main" 2>/dev/null; exit 1; }

sh "$HERE/../../scripts/ceph-cluster.sh" start "$WORK/ceph" 1
. "$WORK/ceph/env"
"$SERVER" --new-delete-key "$WORK/key"
umask 077  # credentials must be private
printf '%s\n%s\n' "$AWS_ACCESS_KEY_ID" "$AWS_SECRET_ACCESS_KEY" >"$WORK/credentials"
printf '%s\n%s\n' "$AWS_ACCESS_KEY_ID" "not-the-secret" >"$WORK/wrong"

PROXY=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
cat >"$WORK/nginx.conf" <<CONF
$([ "$(id -u)" -eq 0 ] && echo "user root;")
worker_processes 1; pid $WORK/nginx.pid; events {}
http {
    log_format faults '\$request_method \$http_if_none_match \$connection';
    access_log $WORK/access.log faults;
    client_body_temp_path $WORK/body; proxy_temp_path $WORK/proxy;
    client_max_body_size 0; default_type application/xml;
    server { listen 127.0.0.1:$PROXY; include $WORK/mode.conf; }
}
CONF
# Gives nginx MODE's answers; waits until the old worker, with the kept-alive connections, is gone.
mode() {
    old=$(curl -s "http://127.0.0.1:$PROXY/mode" | cut -d' ' -f2)
    case $1 in
    pass) site="proxy_pass http://127.0.0.1:$S3_PORT_1; proxy_set_header Host \$http_host;" ;;
    500) site="return 500 '<Error><Code>InternalError</Code></Error>';" ;;
    403) site="return 403 '<Error><Code>AccessDenied</Code></Error>';" ;;
    esac
    echo "location / { $site } location = /mode { access_log off; return 200 \"$1 \$pid\"; }" \
        >"$WORK/mode.conf"
    if [ -s "$WORK/nginx.pid" ]; then kill -HUP "$(cat "$WORK/nginx.pid")"; else
        nginx -c "$WORK/nginx.conf" -p "$WORK" -e "$WORK/nginx-error.log"; fi
    for _ in $(seq 100); do
        if ! kill -0 "${old:-none}" 2>/dev/null &&
            [ "$(curl -s "http://127.0.0.1:$PROXY/mode" | cut -d' ' -f1)" = "$1" ]; then return; fi
        sleep 0.1
    done
    fail "nginx did not take $1: $(cat "$WORK/nginx-error.log")"
}
mode pass
# PUTs that reached nginx, those with If-None-Match: *, and the connections they came on.
counts() {
    awk '$1 == "PUT" { p++; c += $2 == "*" } !seen[$3]++ { n++ } END { print p + 0, c + 0, n }' \
        "$WORK/access.log" >"$WORK/counts"
    read -r puts conditional connections <"$WORK/counts"
}

# Runs the server with the S3 flags, logging to log.NAME; prints its port, or nothing if it exits.
start() {
    name=$1
    shift
    : >"$WORK/log.$name"  # before the job starts: the parent may look first
    "$SERVER" --port 0 --listen 127.0.0.1 --data-dir "$WORK/data.$name" --s3-bucket "$S3_BUCKET" \
        --public-url http://s3.test "$@" >"$WORK/log.$name" 2>&1 &
    pid=$!
    echo $pid >>"$WORK/pids"
    for _ in $(seq 100); do
        port=$(sed -n 's/.* port \([0-9]*\), links.*/\1/p' "$WORK/log.$name")
        [ -n "$port" ] && { echo "$port"; return; }
        kill -0 $pid 2>/dev/null || return 0
        sleep 0.1
    done
    fail "$name did not start"
}
refuses() {  # expected words in the one line of the log, then the flags
    words=$1
    shift
    [ -z "$(start refused "$@")" ] || fail "started despite $*"
    [ "$(wc -l <"$WORK/log.refused")" -eq 1 ] && grep -q "$words" "$WORK/log.refused" ||
        fail "no clear line about '$words': $(cat "$WORK/log.refused")"
    ! grep -q "$AWS_SECRET_ACCESS_KEY" "$WORK/log.refused" || fail "the secret was logged"
}
S3="--s3-endpoint $S3_ENDPOINT_1"
refuses "refused the credentials" $S3 --s3-credentials "$WORK/wrong" --delete-key-file "$WORK/key"
refuses "needs --delete-key-file" $S3 --s3-credentials "$WORK/credentials"
chmod 644 "$WORK/key" "$WORK/credentials"
refuses "chmod 600" $S3 --s3-credentials "$WORK/credentials" --delete-key-file "$WORK/key"
chmod 600 "$WORK/key"
refuses "chmod 600" $S3 --s3-credentials "$WORK/credentials" --delete-key-file "$WORK/key"
chmod 600 "$WORK/credentials"
! "$SERVER" --help | grep -qi "secret_access_key=\|$AWS_SECRET_ACCESS_KEY" || fail "--help"

port=$(start main --s3-endpoint "http://127.0.0.1:$PROXY" --s3-prefix "shots/" \
    --s3-credentials "$WORK/credentials" --delete-key-file "$WORK/key" \
    --s3-connect-timeout 1 --s3-stall-timeout 2 --s3-timeout 5)
[ -n "$port" ] || fail "the server did not start: $(cat "$WORK/log.main")"
python3 "$HERE/../../bench/server/make_png.py" "$WORK/shot.png" 1200000
upload() {  # prints the status and seconds taken; the link goes to $WORK/link, the head to head
    curl -s -D "$WORK/head" -o "$WORK/link" -w '%{http_code} %{time_total}\n' \
        -F "file=@$WORK/shot.png" "http://127.0.0.1:$port/api.php"
}
get() { curl -s -o "$WORK/got" -w '%{http_code}' ${2:+-X "$2"} "http://127.0.0.1:$port/$1"; }

s3() {  # the gateway itself, signed with the keys
    curl -sf --aws-sigv4 aws:amz:us-east-1:s3 --user "$AWS_ACCESS_KEY_ID:$AWS_SECRET_ACCESS_KEY" \
        -H "x-amz-content-sha256: $(printf '' | sha256sum | cut -d' ' -f1)" "$S3_ENDPOINT_1/$S3_BUCKET$1"
}

upload | grep -q "^200 " || fail "upload: $(cat "$WORK/link")"
name=$(sed 's|http://s3.test/||' "$WORK/link")
[ "$(get "$name")" = 200 ] && cmp -s "$WORK/got" "$WORK/shot.png" || fail "GET $name"
s3 "/shots/$name" | cmp -s - "$WORK/shot.png" || fail "object shots/$name"  # under the prefix
# The start-up check, the upload and the GET went over one kept-alive connection.
counts
[ "$connections" -eq 1 ] || fail "$connections connections to the store for 3 requests"

# Each fault with its bound on the upload's time: the store's time-outs for a frozen gateway (its
# backlog takes nginx's connection), nginx's 502 for a killed one, a refused connection after.
for fault in 500:8 403:8 stall:8 down:3 stopped:3; do
    case ${fault%:*} in
    stall) mode pass && kill -STOP "$(cat "$WORK/ceph/rgw.1.pid")" ;;
    down) kill -9 "$(cat "$WORK/ceph/rgw.1.pid")" ;;
    stopped) kill "$(cat "$WORK/nginx.pid")"
        while [ -e "$WORK/nginx.pid" ]; do sleep 0.1; done ;;
    *) mode "${fault%:*}" ;;
    esac
    upload >"$WORK/answer"
    read -r status took <"$WORK/answer"
    echo "store ${fault%:*}: upload $status in $took s, GET $(get "$name")"
    [ "$status" = 503 ] && grep -qi "^Retry-After: 5" "$WORK/head" || fail "upload, ${fault%:*}"
    [ "$(get "$name")" = 503 ] || fail "GET during ${fault%:*}"
    awk -v t="$took" -v most="${fault#*:}" 'BEGIN { exit !(t < most) }' || fail "too slow"
done
grep -q "HTTP 500 (InternalError)" "$WORK/log.main" &&
    grep -q "HTTP 403 (AccessDenied)" "$WORK/log.main" &&
    grep -q "no byte moved for 2 s" "$WORK/log.main" || fail "log: $(cat "$WORK/log.main")"
sh "$HERE/../../scripts/ceph-cluster.sh" gateway "$WORK/ceph" 1
mode pass
upload | grep -q "^200 " || fail "no recovery after the faults"
# Its deletion URL is the name's HMAC-SHA256 under the key, 128 bits in base64url, and deletes.
name=$(sed 's|http://s3.test/||' "$WORK/link")
token=$(printf %s "$name" | openssl dgst -sha256 -binary -mac HMAC -macopt \
    "hexkey:$(od -An -tx1 "$WORK/key" | tr -d ' \n')" | head -c 16 | base64 | tr '+/' '-_' |
    tr -d '=')
tr -d '\r' <"$WORK/head" | grep -qx "X-Delete-Url: http://s3.test/delete/$name/$token" ||
    fail "X-Delete-Url: $(grep -i delete-url "$WORK/head")"
[ "$(get "delete/$name/$token" POST)" = 200 ] && [ "$(get "$name")" = 404 ] || fail "deletion"
# Only answered uploads became objects, each PUT conditional; no temporary file is left.
keys=$(s3 "?list-type=2&prefix=shots%2F" | grep -o "<Key>" | wc -l)
[ "$keys" -eq 1 ] || fail "$keys objects for 2 answered uploads, one deleted"
counts
[ "$puts" -ge 2 ] && [ "$conditional" -eq "$puts" ] || fail "$conditional of $puts PUTs may overwrite"
[ -z "$(ls -A "$WORK/data.main")" ] || fail "temporary files left: $(ls -A "$WORK/data.main")"
echo "ok"
