#!/bin/sh
# Installs what is missing, builds Glimmerix and its upload service, and runs both: the service
# on http://localhost/ (port 80, where the program posts) with its data in build/run/data, and
# the program in build/run, where it finds logo.png and writes its capture files. When the
# program ends, the service it came with is stopped. Without an X display it runs the headless
# demo instead (scripts/demo.sh).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
[ -f build/build.ninja ] || cmake --preset linux
cmake --build --preset linux --target glimmerix glimmerix-server

if [ -z "${DISPLAY:-}" ]; then
    echo "run.sh: no X display; running the headless demo (scripts/demo.sh)"
    exec scripts/demo.sh
fi

mkdir -p build/run/data
cp logo.png build/run/logo.png
server=build/server/glimmerix-server

# Port 80 is below the unprivileged port range: root may bind it, others need the capability,
# which a relinked binary loses, so it is granted again after each build of the service.
allow_port_80() {
    [ "$(id -u)" -eq 0 ] && return 0
    [ "$(cat /proc/sys/net/ipv4/ip_unprivileged_port_start 2>/dev/null || echo 1024)" -le 80 ] &&
        return 0
    /usr/sbin/getcap "$server" | grep -q cap_net_bind_service && return 0
    echo "run.sh: letting $server bind port 80 (sudo setcap cap_net_bind_service=+ep)"
    sudo /usr/sbin/setcap cap_net_bind_service=+ep "$server"
}

answers() { curl -s -o /dev/null --max-time 2 http://localhost/; }

server_pid=
if answers; then
    echo "run.sh: something already answers on http://localhost/; uploads go there"
else
    allow_port_80
    # Only on the loopback interface: this service is for the program on this machine.
    "$server" --listen 127.0.0.1 --port 80 --data-dir build/run/data \
        --public-url http://localhost 2>>build/run/server.log &
    server_pid=$!
    trap 'kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null || true' EXIT
    trap 'exit 130' INT TERM
    tries=100
    until answers; do
        tries=$((tries - 1))
        if [ "$tries" -eq 0 ] || ! kill -0 "$server_pid" 2>/dev/null; then
            echo "run.sh: the upload service did not start; build/run/server.log says:" >&2
            tail -n 5 build/run/server.log >&2
            exit 1
        fi
        sleep 0.05
    done
    echo "run.sh: upload service on http://localhost/ (log: build/run/server.log)"
fi

echo "run.sh: Glimmerix waits for a picture on the clipboard; UPLOAD puts its link there"
cd build/run
status=0
../src/glimmerix "$@" || status=$?
exit "$status"
