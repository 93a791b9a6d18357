#!/usr/bin/env bash
# A Debian 13 (trixie) root for the tests, made with debootstrap from the Debian archive this
# machine's apt sources name (DEBIAN_MIRROR, when set, names another) and kept where it was made, so
# that a second run reuses it; and commands run inside it. Runs as root.
#
#   root.sh make ROOT              make the root unless it is there, and install what the tests
#                                  need into it (only what is missing)
#   root.sh run ROOT DIR COMMAND   run COMMAND inside ROOT, with DIR (the project, say) visible at
#                                  the same path, so that paths mean the same inside and out
#
# The root shares this machine's network: what runs inside it reaches the test servers on
# loopback. Its mounts are made in a private mount namespace and vanish with the command.
set -euo pipefail

action=${1:?make or run}
root=${2:?root directory}

# The archive of this machine's own release: its apt sources' entry for a suite without a suffix
# (not -updates, not -security), as apt itself reads them, one-line or deb822.
this_machines_archive() {
  apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' \
    2>/dev/null | awk '$2 !~ /-/ { print $1; exit }'
}

# What building Quillmot and running its tests needs on Debian 13, and Samba's own client as the
# oracle. The Windows program and its tests stay on the machine that builds it.
packages=(
  cmake make g++ samba-dev samba-libs samba-common smbclient
  libgtest-dev libnss-wrapper python3 strace krb5-user time
)

log() { printf 'debian13: %s\n' "$*" >&2; }

inside() {
  local shared=$1; shift
  [ -z "$shared" ] || mkdir -p "$root$shared"
  # The name lookups of this machine, so that its host name means the same inside.
  cp /etc/hosts /etc/resolv.conf "$root/etc/"
  unshare -m --propagation private -- /bin/sh -c '
    set -e
    root=$1 shared=$2; shift 2
    # The root a mount of its own, so that a private mount namespace inside works as outside.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    [ -z "$shared" ] || mount --bind "$shared" "$root$shared"
    exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
      LANG=C.UTF-8 ${CI:+CI=$CI} "$@"' sh "$root" "$shared" "$@"
}

case $action in
  make)
    if [ "$(id -u)" -ne 0 ]; then
      log "needs root (debootstrap, chroot)"
      exit 77
    fi
    if [ ! -f "$root/.made" ]; then
      mirror=${DEBIAN_MIRROR:-$(this_machines_archive)}
      if [ -z "$mirror" ]; then
        log "this machine's apt sources name no Debian archive: set DEBIAN_MIRROR"
        exit 1
      fi
      rm -rf "$root"
      mkdir -p "$root"
      log "debootstrap trixie into $root"
      debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
        { tail -n 30 "$root.debootstrap.log"; log "debootstrap failed"; exit 1; }
      touch "$root/.made"
    fi
    missing=$(inside "" /usr/bin/dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" \
      2>/dev/null | awk '$NF != "installed" { print $1 }' || true)
    # dpkg-query says nothing of packages it has never heard of.
    for p in "${packages[@]}"; do
      inside "" /usr/bin/dpkg-query -W "$p" >/dev/null 2>&1 || missing="$missing $p"
    done
    if [ -n "${missing// /}" ]; then
      log "installing into the root:" $missing
      # shellcheck disable=SC2086
      inside "" /bin/sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends $missing >/dev/null" ||
        { log "installing into the root failed"; exit 1; }
    fi
    ;;
  run)
    shared=${3?directory to share, or an empty word}
    shift 3
    inside "$shared" "$@"
    ;;
  *)
    log "unknown action $action"
    exit 2
    ;;
esac
