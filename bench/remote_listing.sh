#!/usr/bin/env bash
# Times, on the test domain controller (3000+ groups), `quillmot -S 127.0.0.1 -Q i` against
# `rpcclient -c enumdomgroups` and `net rpc group list`: the median of several runs of wall time,
# CPU time (user + system) and peak memory, and quillmot's ratios to each. Starts the test servers
# when they are not running (root needed), and stops them again in that case.
#   bench/remote_listing.sh path/to/quillmot [runs]
set -euo pipefail
quillmot=$(realpath "${1:?path to quillmot}")
runs=${2:-7}
here=$(cd "$(dirname "$0")/.." && pwd)
servers=${QUILLMOT_SERVERS_DIR:-$(dirname "$quillmot")/tests/samba-servers}
work=$(mktemp -d)
started=
cleanup() {
  [ -n "$started" ] && "$here/tests/integration/samba-servers.sh" stop "$servers"
  rm -rf "$work"
}
trap cleanup EXIT
if [ ! -f "$servers/ready" ]; then
  "$here/tests/integration/samba-servers.sh" start "$servers"
  started=yes
fi
password=$(sed -n 's/^dc_password=//p' "$servers/ready")
credentials="Administrator%$password"

measure() {  # "wall cpu kilobytes" of one run
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>&1
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
run_many() {
  : >"$work/rows"
  for _ in $(seq 1 "$runs"); do measure "$@" >>"$work/rows"; done
  echo "$(cut -d' ' -f1 "$work/rows" | median) $(cut -d' ' -f2 "$work/rows" | median)" \
    "$(cut -d' ' -f3 "$work/rows" | median)"
}

read -r q_wall q_cpu q_rss < <(USER=$credentials run_many "$quillmot" -S 127.0.0.1 -Q i)
read -r r_wall r_cpu r_rss < <(run_many rpcclient -U "$credentials" -c enumdomgroups 127.0.0.1)
read -r n_wall n_cpu n_rss < <(run_many net rpc group list -S 127.0.0.1 -U "$credentials")
groups=$(USER=$credentials "$quillmot" -S 127.0.0.1 | wc -l)

printf '%-34s %9s %8s %14s\n' "command ($groups groups, median of $runs)" "wall (s)" "CPU (s)" "peak RSS (KiB)"
printf '%-34s %9s %8s %14s\n' "quillmot -S 127.0.0.1 -Q i" "$q_wall" "$q_cpu" "$q_rss"
printf '%-34s %9s %8s %14s\n' "rpcclient -c enumdomgroups" "$r_wall" "$r_cpu" "$r_rss"
printf '%-34s %9s %8s %14s\n' "net rpc group list" "$n_wall" "$n_cpu" "$n_rss"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/a" }'; }
echo "quillmot / rpcclient: wall $(ratio "$q_wall" "$r_wall"), CPU $(ratio "$q_cpu" "$r_cpu")"
echo "quillmot / net rpc:   wall $(ratio "$q_wall" "$n_wall"), CPU $(ratio "$q_cpu" "$n_cpu")"
