#!/bin/sh
# A throwaway single-host Ceph cluster with S3 gateways, for tests and benchmarks: one monitor,
# one OSD keeping its objects in memory, no manager, and GATEWAYS radosgw (beast) on free ports.
# Everything (configuration, keys, sockets, logs, data) lives under DIR.
#
#   ceph-cluster.sh start DIR [GATEWAYS]   start (default 1 gateway) and create the bucket; then
#                                          DIR/env holds S3_ENDPOINT_1.., S3_BUCKET and the keys
#   ceph-cluster.sh stop DIR               stop every daemon (the monitor last)
#   ceph-cluster.sh gateway DIR N          start gateway N again, on its old port, after a kill
#
# RGW_ADDRESS (default 127.0.0.1) is where the gateways listen, e.g. 0.0.0.0 inside a private
# network namespace whose other namespaces must reach them.
# Health turns to an error after two minutes without a manager; S3 does not care, so nothing
# here waits for HEALTH_OK.
set -eu
action=${1:?usage: ceph-cluster.sh start|stop DIR [GATEWAYS]}
dir=${2:?usage: ceph-cluster.sh start|stop DIR [GATEWAYS]}
gateways=${3:-1}

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits up to $1 tenths of a second for the command in the remaining arguments to succeed.
wait_for() {
    tries=$1
    shift
    while ! "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

# Sends SIGTERM to the daemons whose pid files are given, waits up to a second for them all,
# then kills what is left.
stop_daemons() {
    pids=$(cat "$@" 2>/dev/null || true)
    rm -f "$@"
    [ -n "$pids" ] || return 0
    kill $pids 2>/dev/null || true
    wait_for 10 sh -c "for p in $(echo $pids); do kill -0 \$p 2>/dev/null && exit 1; done; exit 0" ||
        kill -9 $pids 2>/dev/null || true
}

# Gateway $1 on port $2; returns once it answers.
start_gateway() {
    # Without tcp_nodelay a small answer's body waits for the client's delayed ACK (40 ms).
    radosgw -c "$dir/ceph.conf" -f -n client.rgw \
        --rgw-frontends "beast endpoint=${RGW_ADDRESS:-127.0.0.1}:$2 tcp_nodelay=1" \
        --admin-socket "$dir/run/rgw.$1.asok" --log-file "$dir/log/rgw.$1.log" \
        >>"$dir/log/rgw.$1.out" 2>&1 &
    echo $! >"$dir/rgw.$1.pid"
}
wait_gateway() {
    wait_for 300 curl -sf "http://127.0.0.1:$1/" || {
        echo "ceph-cluster.sh: the gateway on port $1 did not start; see $dir/log" >&2
        exit 1
    }
}

if [ "$action" = gateway ]; then
    RGW_ADDRESS=$(sed -n "s/^RGW_ADDRESS=//p" "$dir/env")
    port=$(sed -n "s/^S3_PORT_$gateways=//p" "$dir/env")
    start_gateway "$gateways" "$port"
    wait_gateway "$port"
    exit 0
fi
if [ "$action" = stop ]; then
    # radosgw 16.2 often hangs on SIGTERM; the OSD's memory store has nothing to save. The
    # monitor goes last, so that no daemon waits for it on the way out.
    stop_daemons "$dir"/rgw.*.pid "$dir/osd.pid"
    stop_daemons "$dir/mon.pid"
    exit 0
fi
[ "$action" = start ] || { echo "ceph-cluster.sh: unknown action $action" >&2; exit 2; }

mkdir -p "$dir/mon" "$dir/osd" "$dir/run" "$dir/log"
dir=$(cd "$dir" && pwd)
conf=$dir/ceph.conf
keyring=$dir/keyring
fsid=$(uuidgen)
mon_port=$(free_port)
cat >"$conf" <<EOF
[global]
fsid = $fsid
mon host = v1:127.0.0.1:$mon_port
public addr = 127.0.0.1
cluster addr = 127.0.0.1
keyring = $keyring
run dir = $dir/run
admin socket = $dir/run/\$name.asok
log file = $dir/log/\$name.log
mon data = $dir/mon
osd data = $dir/osd
osd objectstore = memstore
memstore device bytes = 2147483648
osd pool default size = 1
osd pool default min size = 1
osd pool default pg num = 8
osd pool default pgp num = 8
osd pool default pg autoscale mode = off
osd crush chooseleaf type = 0
paxos propose interval = 0.05
mon allow pool size one = true
auth allow insecure global id reclaim = false
rgw dns name = localhost
rgw data = $dir/run
EOF

ceph-authtool --create-keyring "$keyring" --gen-key -n mon. --cap mon 'allow *' >/dev/null
ceph-authtool "$keyring" --gen-key -n client.admin --cap mon 'allow *' --cap osd 'allow *' \
    --cap mgr 'allow *' >/dev/null
ceph-authtool "$keyring" --gen-key -n osd.0 --cap mon 'allow profile osd' \
    --cap mgr 'allow profile osd' --cap osd 'allow *' >/dev/null
ceph-authtool "$keyring" --gen-key -n client.rgw --cap mon 'allow rw' --cap osd 'allow rwx' \
    >/dev/null
monmaptool --create --addv a "[v1:127.0.0.1:$mon_port]" --fsid "$fsid" "$dir/monmap" >/dev/null
ceph-mon -c "$conf" --mkfs -i a --monmap "$dir/monmap" --keyring "$keyring" >"$dir/log/mkfs.out" 2>&1
ceph-mon -c "$conf" -f -i a >"$dir/log/mon.out" 2>&1 &
echo $! >"$dir/mon.pid"

osd_uuid=$(uuidgen)
timeout 30 ceph -c "$conf" osd new "$osd_uuid" 0 >/dev/null
ceph-osd -c "$conf" -i 0 --mkfs --osd-uuid "$osd_uuid" >"$dir/log/osd-mkfs.out" 2>&1
ceph-osd -c "$conf" -f -i 0 >"$dir/log/osd.out" 2>&1 &
echo $! >"$dir/osd.pid"

access_key=GLIMMERIXTEST$(od -An -N4 -tx4 /dev/urandom | tr -d ' ')
secret_key=$(od -An -N20 -tx1 /dev/urandom | tr -d ' \n')
timeout 60 radosgw-admin -c "$conf" -n client.rgw user create --uid glimmerix \
    --display-name glimmerix --access-key "$access_key" --secret "$secret_key" \
    >"$dir/log/user.out" 2>&1

{
    echo "AWS_ACCESS_KEY_ID=$access_key"
    echo "AWS_SECRET_ACCESS_KEY=$secret_key"
    echo "S3_BUCKET=glimmerix"
    echo "CEPH_CONF=$conf"
    echo "RGW_ADDRESS=${RGW_ADDRESS:-127.0.0.1}"
} >"$dir/env"
for n in $(seq "$gateways"); do
    port=$(free_port)
    start_gateway "$n" "$port"
    echo "S3_PORT_$n=$port" >>"$dir/env"
    echo "S3_ENDPOINT_$n=http://127.0.0.1:$port" >>"$dir/env"
done
. "$dir/env"
for n in $(seq "$gateways"); do
    eval wait_gateway \$S3_PORT_$n
done
# The bucket, made through the S3 API itself as any operator would. The first object written
# creates the data pool, which takes a moment: one is written and deleted here, so that the
# callers' first upload meets a ready cluster.
empty_sha=e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855
s3() {
    curl -sf --aws-sigv4 "aws:amz:us-east-1:s3" --user "$access_key:$secret_key" "$@" >/dev/null
}
s3 -X PUT -H "x-amz-content-sha256: $empty_sha" "$S3_ENDPOINT_1/$S3_BUCKET"
s3 -X PUT -H "x-amz-content-sha256: $empty_sha" -H "Content-Length: 0" "$S3_ENDPOINT_1/$S3_BUCKET/ready"
s3 -X DELETE -H "x-amz-content-sha256: $empty_sha" "$S3_ENDPOINT_1/$S3_BUCKET/ready"
