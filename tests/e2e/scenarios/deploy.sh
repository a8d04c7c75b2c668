# shellcheck shell=bash disable=SC2015,SC2016,SC2034,SC2154
# A real deployment: settings point the program at a service behind nginx, by name, with a port,
# a path, https (a CA made here) and a token; each upload reads the settings file rewritten for it.
[ -x "$server" ] || skip "no glimmerix-server (build it with the linux preset)"
command -v nginx >/dev/null && command -v openssl >/dev/null || skip "nginx and openssl needed"
enter_namespace -m
setup
unset GLIMMERIX_UPLOAD_URL GLIMMERIX_UPLOAD_TOKEN GLIMMERIX_CA_FILE
host=shots.glimmerix.test site=$work/site
mkdir -p "$site/tls" "$site/logs" "$work/data/images"
{ cat /etc/hosts; echo "127.0.0.1 $host"; } >"$site/hosts"
mount --bind "$site/hosts" /etc/hosts || give_up "cannot map $host to 127.0.0.1"

# Two CAs (the first trusted through ca_file); right-host certificates from each, one for another.
(cd "$site/tls" && make_cert test-ca test-ca && make_cert stranger-ca stranger-ca &&
    make_cert right "$host" test-ca && make_cert other other.glimmerix.test test-ca &&
    make_cert untrusted "$host" stranger-ca) ||
    give_up "openssl cannot make the certificates"

token=gx_$(openssl rand -hex 16)
printf '# who may upload\n%s\n' "$token" >"$site/tokens"
"$server" --port 8081 --listen 127.0.0.1 --data-dir "$work/data" --public-url "https://$host" \
    --upload-tokens "$site/tokens" 2>"$work/server.log" &
wait_until 5 curl -so /dev/null http://127.0.0.1:8081/ || give_up "the service does not answer"

# nginx with the routes of server/nginx; http on 8080 with the site under /shots/.
https_site() {  # https_site PORT CERT
    printf 'server { listen 127.0.0.1:%s ssl; ssl_certificate %s.crt; ssl_certificate_key %s.key;
        root %s; include %s; }\n' "$1" "$site/tls/$2" "$site/tls/$2" "$work/data/images" \
        "$e2e_dir/../../server/nginx/glimmerix-locations.conf"
}
cat >"$site/nginx.conf" <<CONF
$([ "$(id -u)" = 0 ] && echo "user root;")
pid $site/nginx.pid;
error_log $site/logs/error.log;
events { worker_connections 64; }
http {
    log_format glimmerix '\$server_port|\$request|\$http_host|\$status';
    access_log $site/logs/access.log glimmerix;
    upstream glimmerix { server 127.0.0.1:8081; keepalive 4; }
    server {
        listen 127.0.0.1:8080;
        root $work/data/images;
        location /shots/ { rewrite ^/shots(/.*)\$ \$1 last; }
        include $e2e_dir/../../server/nginx/glimmerix-locations.conf;
    }
    $(https_site 443 right; https_site 8443 other; https_site 9443 untrusted)
}
CONF
# In the foreground, as a job of this shell, so that every exit stops it.
nginx -p "$site" -c "$site/nginx.conf" -e "$site/logs/error.log" -g "daemon off;" &
fetch() { curl -s --cacert "$site/tls/test-ca.crt" "$@"; }  # as a browser trusting the test CA
wait_until 5 fetch -o /dev/null "https://$host/" || give_up "nginx does not answer on https"

settings() {  # settings URL [TOKEN]: the user's settings file as a person would write it
    mkdir -p "$(dirname "$settings_file")"
    printf '[glimmerix]\n# where screenshots go\nupload_url = %s\nca_file = %s\n%s' "$1" \
        "$(program_path "$site/tls/test-ca.crt")" "${2:+upload_token = $2$'\n'}" >"$settings_file"
    echo "upload_history = on" >>"$settings_file"
}
# upload: a new clipboard picture, its editor, "u"; sets `outcome` (DONE, ERROR or what went wrong)
# and `console`, its text at "ERROR", read only once the window is gone (a read can take a second).
upload() {
    local deadline looks=0 n
    outcome="no editor" console=
    copy_picture ../shot.png && wait_window 'Glimmerix Idle' 10 && wait_editor 5 || return
    press "$wid" u
    deadline=$(($(now_ms) + 15000)) outcome="no outcome"
    while until_ms "$deadline" 0; do
        has_window DONE && { outcome=DONE; break; }
        nothing_shown && break
        console_shot "../look.$((++looks)).png"
    done
    if [ "$outcome" != DONE ]; then
        # Newest first: the very last looks may have come after the window went.
        for ((n = looks; n > 0 && n > looks - 4; n--)); do
            console=$(console_text "../look.$n.png")
            grep -q '^ERROR$' <<<"$console" && { outcome=ERROR; break; }
        done
        grep . <<<"$console" | sed 's/^ */  | /'  # what the console said, for the log
    fi
    rm -f ../look.*.png
    wait_until 5 nothing_shown
}
requests() { grep -c "^$1|" "$site/logs/access.log"; }  # requests PORT: how many reached nginx
convert -size 640x480 xc:blue -fill red -draw "rectangle 100,100 500,160" PNG24:../shot.png

launch -s
sleep "$launch_wait"

# 1. Plain http with a port and a path: the request line names the path, Host the port.
settings "http://$host:8080/shots/api.php" "$token"
upload
check "http with a port and a path: DONE (got $outcome)" test "$outcome" = DONE
sent_host=$(grep -m 1 "^8080|POST" "$site/logs/access.log" | cut -d '|' -f 3)
check "...nginx got POST /shots/api.php with Host: $host:8080 (got ${sent_host:-nothing})" \
    grep -q "^8080|POST /shots/api.php HTTP/1.0|$host:8080|" "$site/logs/access.log"
check "dump.txt shows the token as ****" grep -aqx "Authorization: Bearer \*\*\*\*"$'\r' dump.txt
check "...and never in clear" eval '! grep -aqF "$token" dump.txt'
clipboard_text; link=${clip//[^[:graph:]]/} links=${clip//[^[:graph:]]/}

# 2. https on its default port, the certificate trusted through ca_file.
settings "https://$host/api.php" "$token"
upload
check "https with the test CA in ca_file: DONE (got $outcome)" test "$outcome" = DONE
check "...the request came through TLS on 443 with Host: $host" \
    grep -q "^443|POST /api.php HTTP/1.0|$host|" "$site/logs/access.log"
clipboard_text; link=${clip//[^[:graph:]]/}
links+=$'\n'$link
check "...the clipboard holds a new https link (${link:0:80})" \
    grep -Eqx "https://$host/[A-Za-z0-9_-]{20}\.(png|jpg)" <<<"$link"
check "...which serves the picture" eval 'fetch -o ../fetched "$link" &&
    compare -metric AE ../shot.png ../fetched null: 2>/dev/null'

# 3, 4. Certificates that must not be believed: the upload ends before any request is sent.
for case in "8443 other certificate is for another host" \
    "9443 untrusted certificate not trusted"; do
    read -r port cert line <<<"$case"
    settings "https://$host:$port/api.php" "$token"
    upload
    check "the $cert certificate: ERROR (got $outcome)" test "$outcome" = ERROR
    check "...with \"TLS: $line\" on the console" grep -qxF "TLS: $line" <<<"$console"
    check "...and no request reached nginx on $port" test "$(requests "$port")" = 0
done

# 5. No token: the service refuses, and says so.
settings "http://$host:8080/shots/api.php"
upload
check "no token: ERROR (got $outcome)" test "$outcome" = ERROR
check "...with \"HTTP 401 Unauthorized\" on the console" \
    grep -qxF "HTTP 401 Unauthorized" <<<"$console"
check "...which the service gave" grep -q '"POST /api.php [^"]*" 401' "$work/server.log"

# The history: one line for each link that reached the clipboard, with a deletion URL that works.
check "uploads.tsv holds each link, nothing for the failed uploads" \
    test "$(cut -f2 uploads.tsv 2>/dev/null)" = "$links"
fetch -o /dev/null -X POST "$(tail -n 1 uploads.tsv | cut -f3)"
check "posting to the deletion URL takes the picture down" \
    test "$(fetch -o /dev/null -w '%{http_code}' "$link")" = 404
finish
