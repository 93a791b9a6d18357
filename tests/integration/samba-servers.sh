#!/usr/bin/env bash
# Provisions, starts and stops the two real servers the remote-directory tests talk to:
#   - a Samba Active Directory domain controller on 127.0.0.1 (3000 bulk groups and a few odd ones),
#   - a classic standalone smbd with a tdbsam database on 127.0.0.2, whose domain groups are
#     group mappings (700, so that an enumeration takes several batches).
# Everything lives below STATE_DIR; nothing of the machine's own Samba set-up is touched but the
# DC's winbindd socket, which Samba's AD DC only finds at its built-in place.
#
#   samba-servers.sh start STATE_DIR     (writes STATE_DIR/ready when both answer)
#   samba-servers.sh stop STATE_DIR
set -euo pipefail

action=${1:?start or stop}
state=${2:?state directory}
mkdir -p "$state"
state=$(cd "$state" && pwd)
dc=$state/dc
classic=$state/classic

DC_PASSWORD='Quill!Admin2026'
CLASSIC_USER=quilltest
CLASSIC_PASSWORD='Quill!Pass2026'
CLASSIC_GROUPS=700
BULK_GROUPS=${QUILLMOT_BULK_GROUPS:-3000}
NSS_WRAPPER=$(ls /usr/lib/*/libnss_wrapper.so 2>/dev/null | head -n 1)

log() { printf 'samba-servers: %s\n' "$*" >&2; }

stop_pidfile() {
  local file=$1
  [ -f "$file" ] || return 0
  local pid
  pid=$(cat "$file" 2>/dev/null || true)
  # Each server runs in a session of its own: the whole process group goes, workers included.
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$pid" 2>/dev/null || true
  fi
  rm -f "$file"
}

stop_all() {
  rm -f "$state/ready"
  stop_pidfile "$state/dc.pid"
  stop_pidfile "$state/classic.pid"
  # smbd starts its RPC helpers in sessions of their own.
  pkill -f -- "--configfile=$classic/smb.conf" 2>/dev/null || true
  pkill -f -- "--configfile=$dc/etc/smb.conf" 2>/dev/null || true
}

wait_for() {
  local what=$1; shift
  for _ in $(seq 1 120); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.5
  done
  log "$what did not come up"
  return 1
}

provision_dc() {
  rm -rf "$dc"
  mkdir -p "$dc/run"
  samba-tool domain provision --targetdir="$dc" --realm=QUILL.TEST --domain=QUILL \
    --server-role=dc --dns-backend=NONE --host-ip=127.0.0.1 --adminpass="$DC_PASSWORD" \
    --option="interfaces=127.0.0.1" --option="bind interfaces only=yes" \
    --option="log file=$dc/log.%m" --option="pid directory=$dc/run" \
    >"$state/dc-provision.log" 2>&1
  # Bulk groups straight into the offline database: seconds, where samba-tool takes minutes.
  python3 - "$dc/bulk.ldif" "$BULK_GROUPS" <<'PY'
import base64, sys
path, count = sys.argv[1], int(sys.argv[2])
base = "CN=Users,DC=quill,DC=test"
def entry(name, description):
    escaped = "".join("\\" + c if c in ',+"\\<>;=#' else c for c in name)
    dn = "CN=%s,%s" % (escaped, base)
    b64 = lambda s: base64.b64encode(s.encode()).decode()
    return ("dn:: %s\nobjectClass: group\nsAMAccountName:: %s\ndescription:: %s\n\n"
            % (b64(dn), b64(name), b64(description)))
with open(path, "w") as out:
    for i in range(count):
        out.write(entry("bulk%04d" % i, "Bulk group %d" % i))
    out.write(entry("Gruppe M\u00fcller \u2603", 'Team "Ops", night shift'))
    out.write(entry("R&D 'core' team", 'desc, with "quotes"'))
PY
  ldbadd -H "$dc/private/sam.ldb" "$dc/bulk.ldif" >"$state/dc-ldbadd.log" 2>&1
}

start_dc() {
  (cd "$dc" && exec setsid samba -s "$dc/etc/smb.conf" --foreground --no-process-group \
     >"$dc/samba.out" 2>&1 </dev/null) &
  echo $! >"$state/dc.pid"
  wait_for "the domain controller" \
    rpcclient -U "Administrator%$DC_PASSWORD" -c enumdomgroups 127.0.0.1
}

classic_env() {
  env LD_PRELOAD="$NSS_WRAPPER" NSS_WRAPPER_PASSWD="$classic/passwd" \
    NSS_WRAPPER_GROUP="$classic/group" SELFTEST_WINBINDD_SOCKET_DIR="$classic/winbindd" \
    WINBINDD_SOCKET_DIR="$classic/winbindd" "$@"
}

provision_classic() {
  rm -rf "$classic"
  mkdir -p "$classic"/{private,lock,state,cache,run,winbindd,log}
  # The server's users and Unix groups come from nss_wrapper files, not the machine's database.
  cat >"$classic/passwd" <<PW
root:x:0:0:root:/root:/bin/sh
nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin
$CLASSIC_USER:x:3000:3000:Quill Test:/nonexistent:/usr/sbin/nologin
PW
  {
    echo "root:x:0:"
    echo "nogroup:x:65534:"
    echo "$CLASSIC_USER:x:3000:"
    for i in $(seq 1 "$CLASSIC_GROUPS"); do printf 'cgrp%03d:x:%d:\n' "$i" $((20000 + i)); done
    printf 'cgrputf:x:29999:\n'
  } >"$classic/group"
  cat >"$classic/smb.conf" <<CONF
[global]
  workgroup = CLASSIC
  netbios name = CLASSICSRV
  server role = standalone server
  passdb backend = tdbsam:$classic/private/passdb.tdb
  interfaces = 127.0.0.2
  bind interfaces only = yes
  smb ports = 445
  disable netbios = yes
  private dir = $classic/private
  lock directory = $classic/lock
  state directory = $classic/state
  cache directory = $classic/cache
  pid directory = $classic/run
  ncalrpc dir = $classic/run/ncalrpc
  winbindd socket directory = $classic/winbindd
  log file = $classic/log/log.%m
  guest account = nobody
  map to guest = never
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
CONF
  {
    for i in $(seq 1 "$CLASSIC_GROUPS"); do
      classic_env net -s "$classic/smb.conf" groupmap add ntgroup="Classic Group $i" \
        unixgroup="$(printf 'cgrp%03d' "$i")" type=domain comment="Comment, number \"$i\""
    done
    classic_env net -s "$classic/smb.conf" groupmap add ntgroup="Klasse $(printf 'Gr\xc3\xbc\xc3\x9fe')" \
      unixgroup=cgrputf type=domain comment="$(printf 'Sch\xc3\xb6n')"
    printf '%s\n%s\n' "$CLASSIC_PASSWORD" "$CLASSIC_PASSWORD" |
      classic_env smbpasswd -c "$classic/smb.conf" -s -a "$CLASSIC_USER"
  } >"$state/classic-provision.log" 2>&1
}

start_classic() {
  (cd "$classic" && exec env LD_PRELOAD="$NSS_WRAPPER" NSS_WRAPPER_PASSWD="$classic/passwd" \
     NSS_WRAPPER_GROUP="$classic/group" SELFTEST_WINBINDD_SOCKET_DIR="$classic/winbindd" \
     WINBINDD_SOCKET_DIR="$classic/winbindd" \
     setsid smbd -s "$classic/smb.conf" --foreground --no-process-group \
     >"$classic/smbd.out" 2>&1 </dev/null) &
  echo $! >"$state/classic.pid"
  wait_for "the classic server" \
    rpcclient -U "$CLASSIC_USER%$CLASSIC_PASSWORD" -c enumdomgroups 127.0.0.2
}

case $action in
  start)
    if [ "$(id -u)" -ne 0 ]; then
      log "needs root (servers on port 445, a second loopback address)"
      exit 77
    fi
    stop_all
    # A packaged Samba started by the init system would hold port 445.
    if command -v systemctl >/dev/null 2>&1; then
      systemctl stop smbd nmbd samba-ad-dc winbind >/dev/null 2>&1 || true
    fi
    ip addr add 127.0.0.2/8 dev lo 2>/dev/null || true
    addresses=$(ip addr show dev lo)
    case $addresses in *"inet 127.0.0.2/"*) ;; *) log "cannot add 127.0.0.2"; exit 1 ;; esac
    provision_dc &
    dc_job=$!
    provision_classic
    wait "$dc_job" || { log "provisioning the DC failed, see $state/dc-*.log"; exit 1; }
    start_dc || exit 1
    start_classic || exit 1
    cat >"$state/ready" <<READY
dc_host=127.0.0.1
dc_user=Administrator
dc_password=$DC_PASSWORD
classic_host=127.0.0.2
classic_user=$CLASSIC_USER
classic_password=$CLASSIC_PASSWORD
READY
    log "both servers are up"
    ;;
  stop)
    stop_all
    ;;
  *)
    log "unknown action $action"
    exit 2
    ;;
esac
