#!/bin/sh
# Inside the Debian 13 root: the package built on Debian 12 installs with apt, and the installed
# program answers as the one built in the root: its version, a local listing, and listings and
# lookups at both test servers (whose listings the remote tests compare with rpcclient's).
#   check-package.sh DEB_DIR BUILT_BINARY SERVERS_DIR
set -eu
deb_dir=$1
built=$2
servers=$3
set -- "$deb_dir"/quillmot_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || { echo "check-package: no single quillmot .deb in $deb_dir" >&2; exit 1; }
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$1" >/dev/null
installed=/usr/bin/quillmot

value() { sed -n "s/^$1=//p" "$servers/ready"; }
dc="$(value dc_user)%$(value dc_password)"
classic="$(value classic_user)%$(value classic_password)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
same() {
  user=$1; shift
  env -i USER="$user" "$installed" "$@" >"$work/installed.out" 2>"$work/installed.err" &&
    status=0 || status=$?
  env -i USER="$user" "$built" "$@" >"$work/built.out" 2>"$work/built.err" &&
    expected=0 || expected=$?
  if ! cmp -s "$work/installed.out" "$work/built.out" ||
    ! cmp -s "$work/installed.err" "$work/built.err" || [ "$status" != "$expected" ] ||
    [ ! -s "$work/built.out" ] || [ "$status" != 0 ]; then
    echo "check-package: quillmot $* differs between the package and the root's build" >&2
    cat "$work/installed.err" >&2
    exit 1
  fi
}
same "" -v
same "" -Q i
same "$classic" -S "$(value classic_host)" -Q d
same "$dc" -S "$(value dc_host)" -Q i
same "$dc" -S "$(value dc_host)" -Q d "Domain Users"
echo "the package installs on Debian $(cat /etc/debian_version) and answers as the root's build:" \
  "-v, a local listing, two remote listings and a lookup"
