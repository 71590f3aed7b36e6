#!/bin/sh
# Installs what building and testing Gatewarden needs on Debian or Ubuntu; does nothing when all
# of it is already there.
set -eu

packages="g++ make cmake pkg-config libgtest-dev libgmock-dev libplist-dev bubblewrap"
[ $# -gt 0 ] && packages="$packages $*"

missing=""
for package in $packages; do
    # Node.js may come from elsewhere than Debian, npm included: a working command is enough.
    case $package in
        nodejs) command -v node >/dev/null 2>&1 && continue ;;
        npm) command -v npm >/dev/null 2>&1 && continue ;;
    esac
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $package" ;;
    esac
done
[ -z "$missing" ] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
    echo "install-deps: missing:$missing; this script knows only apt-get (Debian, Ubuntu)" >&2
    exit 1
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "install-deps: installing$missing" >&2
$sudo apt-get update -qq >&2
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >&2
