#!/bin/sh
# Installs what building, running, packaging and testing Glimmerix on Linux needs (Debian 12).
# Only missing packages are installed, so once everything is there this asks for nothing, runs
# as any user and takes a fraction of a second.
set -eu
packages="build-essential cmake ninja-build pkg-config git dpkg-dev
    libfreeimage-dev libx11-dev libxext-dev libxfixes-dev
    libgtest-dev libmicrohttpd-dev libssl-dev zlib1g-dev openssl slowhttptest nginx python3 wrk
    xvfb xauth xdotool xclip x11-utils x11-apps imagemagick fonts-dejavu-core curl iproute2 util-linux
    libcap2-bin lintian clang libclang-rt-14-dev libfuzzer-14-dev
    libcurl4-openssl-dev ceph-mon ceph-osd radosgw ceph-common uuid-runtime openssl"
missing=
for package in $packages; do
    dpkg-query -W -f '${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
        missing="$missing $package"
done
[ -z "$missing" ] && exit 0

echo "install-deps.sh: installing$missing"
if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
# shellcheck disable=SC2086  # one word per package
apt-get install -y --no-install-recommends $missing
