#!/usr/bin/env bash
# The remote directory against rpcclient on the test domain controller, side by side: a listing
# (`quillmot -S 127.0.0.1 -Q i` against `rpcclient -c enumdomgroups`) and lookups of one group
# (`quillmot -S 127.0.0.1 -Q d NAME` against `rpcclient -c 'querygroup RID'`), for the first, a
# middle and the last group in the DC's order: medians of interleaved runs, wall time, CPU time and
# peak memory, and the ratios. Starts the test servers when they are not running (root needed;
# QUILLMOT_BULK_GROUPS sets the DC's size), and stops them again in that case.
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
export USER=$credentials

measure() {  # appends "wall cpu kilobytes" of one run to FILE
  local file=$1; shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>&1
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time" >>"$file"
}
median_of() { cut -d' ' -f"$2" "$1" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/a" }'; }

# The DC's order, and the first and last groups in it.
"$quillmot" -S 127.0.0.1 -Q i -q '' -d '\t' >"$work/listing"
groups=$(wc -l <"$work/listing")
first=$(sed -n '1p' "$work/listing"); last=$(sed -n '$p' "$work/listing")
middle=$(sed -n "$(( (groups + 1) / 2 ))p" "$work/listing")

printf 'remote directory, the test DC with %s groups, median of %s interleaved runs\n' "$groups" "$runs"
printf '%-34s %9s %9s %8s %8s %11s %11s %7s\n' "case" "quillmot" "rpcclient" "quillmot" \
  "rpcclient" "quillmot" "rpcclient" "ratio"
printf '%-34s %9s %9s %8s %8s %11s %11s %7s\n' "" "wall (s)" "wall (s)" "CPU (s)" "CPU (s)" \
  "peak (KiB)" "peak (KiB)" "(wall)"
row() {  # row LABEL -- QUILLMOT_ARGS... -- RPCCLIENT_COMMAND
  local label=$1; shift; shift
  local args=()
  while [ "$1" != -- ]; do args+=("$1"); shift; done
  shift
  local command=$1
  : >"$work/q"; : >"$work/r"
  for _ in $(seq 1 "$runs"); do
    measure "$work/q" "$quillmot" -S 127.0.0.1 "${args[@]}"
    measure "$work/r" rpcclient -U "$credentials" -c "$command" 127.0.0.1
  done
  printf '%-34s %9s %9s %8s %8s %11s %11s %7s\n' "$label" \
    "$(median_of "$work/q" 1)" "$(median_of "$work/r" 1)" "$(median_of "$work/q" 2)" \
    "$(median_of "$work/r" 2)" "$(median_of "$work/q" 3)" "$(median_of "$work/r" 3)" \
    "$(ratio "$(median_of "$work/q" 1)" "$(median_of "$work/r" 1)")"
}
row "listing, -Q i" -- -Q i -- enumdomgroups
row "lookup of the first group" -- -Q d "${first%$'\t'*}" -- "querygroup ${first##*$'\t'}"
row "lookup of a middle group" -- -Q d "${middle%$'\t'*}" -- "querygroup ${middle##*$'\t'}"
row "lookup of the last group" -- -Q d "${last%$'\t'*}" -- "querygroup ${last##*$'\t'}"
