#!/usr/bin/env bash
# The Debian packages as a user gets them: lintian, dpkg -i, the installed service taking an
# upload on port 80 of a private loopback, the program's launcher, and a purge that leaves nothing.
# Needs root; skipped (77) without, or where either package is installed, since the test purges.
# Usage: deb.sh BUILD_DIR      (after `cmake --build BUILD_DIR --target package`)
set -u
# shellcheck disable=SC2034  # read by enter_namespace
runner=$(realpath "$0") runner_args=("$@")
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/../e2e/lib.sh"  # check, skip, enter_namespace, start_server
enter_namespace  # a private loopback, where port 80 is free
build=$(realpath "$1")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
program_deb=$build/packages/glimmerix_${version}_amd64.deb
server_deb=$build/packages/glimmerix-server_${version}_amd64.deb
for package in glimmerix glimmerix-server; do
    dpkg-query -W -f '${Status}' "$package" 2>/dev/null | grep -q installed &&
        skip "$package is installed on this machine"
done
work=$(mktemp -d)
quietly() { "$@" >>"$work/log.txt" 2>&1; }
trap 'kill $(jobs -p) 2>/dev/null; dpkg --purge glimmerix glimmerix-server >/dev/null 2>&1; rm -rf "$work"' EXIT

check "both packages are built" test -f "$program_deb" -a -f "$server_deb"
check "lintian reports no errors or warnings" \
    lintian --fail-on error,warning "$program_deb" "$server_deb"
check "dpkg -i installs both" quietly dpkg -i "$program_deb" "$server_deb"
conf=/etc/glimmerix/glimmerix.conf
check "$conf is a conffile with every setting commented out" sh -c "dpkg-query -W \
    -f '\${Conffiles}' glimmerix | grep -q ' $conf ' && ! grep -Ev '^(#|\[glimmerix]|$)' $conf"
check "menu entry, icon, autostart entry and manual pages are installed" test -f \
    /usr/share/applications/glimmerix.desktop -a -f /usr/share/man/man1/glimmerix.1.gz -a -f \
    /usr/share/man/man8/glimmerix-server.8.gz -a -f /usr/share/glimmerix/glimmerix-autostart.desktop
depends=$(dpkg-query -W -f '${Depends} ${Depends}' glimmerix glimmerix-server)
check "dependencies come from the libraries linked (${depends:0:60}...)" \
    sh -c "echo '$depends' | grep -q libfreeimage3 && echo '$depends' | grep -q libmicrohttpd"
tls_module=$(ldd /usr/libexec/glimmerix/glimmerix-tls.so 2>&1)
check "the TLS module sits beside the program, its libraries found and depended on" sh -c \
    "echo '$tls_module' | grep -q libssl && ! echo '$tls_module' | grep -q 'not found' &&
    dpkg-query -W -f '\${Depends}' glimmerix | grep -q libssl"

check "the installed service reports the version ($version)" \
    test "$(/usr/bin/glimmerix-server --version)" = "glimmerix-server $version"
check "the systemd unit is valid and names the installed binary" \
    systemd-analyze verify /lib/systemd/system/glimmerix-server.service
check "the unit has systemd keep the state folder" \
    grep -q '^StateDirectory=glimmerix$' /lib/systemd/system/glimmerix-server.service

server=/usr/bin/glimmerix-server
start_server
picture=/usr/share/glimmerix/logo.png
link=$(curl -s -F "file=@$picture;type=image/png" http://localhost/api.php)
check "an upload answers with a link ($link)" \
    grep -Eqx 'http://localhost/[A-Za-z0-9_-]+\.png' <<<"$link"
check "the link serves the uploaded picture" cmp -s "$picture" <(curl -s "$link")

# Without a display the program says so and ends, after the launcher made its folder.
HOME=$work/home DISPLAY='' /usr/bin/glimmerix >"$work/run.txt" 2>&1
check "the installed program runs and needs a display ($(head -c 60 "$work/run.txt"))" \
    grep -qi display "$work/run.txt"
check "the launcher gives it a folder of the user's own, with logo.png" \
    cmp -s "$work/home/.local/state/glimmerix/logo.png" "$picture"

check "dpkg --purge removes both" quietly dpkg --purge glimmerix glimmerix-server
left=$(ls -d /usr/bin/glimmerix* /usr/libexec/glimmerix /usr/share/glimmerix /etc/glimmerix \
    /usr/share/doc/glimmerix* /lib/systemd/system/glimmerix-server.service 2>/dev/null)
check "nothing of them is left ($left)" test -z "$left"
finish
