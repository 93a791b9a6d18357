#!/usr/bin/env bash
# The local listing against `getent group`, side by side, on generated databases of 100,000 and
# 1,000,000 groups, each with and without one group of 100,000 members in the middle: medians of
# interleaved runs (quillmot, getent, quillmot, ...), wall time and peak memory, and the ratios;
# then the output formats against the default one on 1,000,000 groups.
# As root the databases are read by glibc's own files module, mounted over /etc/group in a private
# mount namespace; otherwise through nss_wrapper.
#   bench/local_listing.sh path/to/quillmot [runs]
set -euo pipefail
quillmot=$(realpath "${1:?path to quillmot}")
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wrapper=$(ls /usr/lib/*/libnss_wrapper.so 2>/dev/null | head -n 1 || true)
echo "root:x:0:0:root:/root:/bin/sh" >"$work/passwd"
if [ "$(id -u)" -eq 0 ]; then how="glibc's files module, private mount namespace"; else how="nss_wrapper"; fi

generate() {  # generate FILE GROUPS WITH_LARGE
  awk -v n="$2" -v large="$3" 'BEGIN {
    for (i = 0; i < n; i++) {
      if (large && i == int(n / 2)) {
        printf "large:x:4242:"
        for (m = 0; m < 100000; m++) printf (m ? ",member%d" : "member%d"), m
        printf "\n"
      }
      printf "group%07d:x:%d:user%d,user%d\n", i, 100000 + i, i, i + 1
    }
  }' >"$1"
}

# Runs COMMAND... with FILE as the group database; /usr/bin/time's "wall KiB" go to $work/time.
with_database() {
  local file=$1; shift
  if [ "$(id -u)" -eq 0 ]; then
    unshare -m sh -c 'mount --bind "$1" /etc/group && shift && exec "$@"' sh "$file" \
      /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null
  else
    env LD_PRELOAD="$wrapper" NSS_WRAPPER_PASSWD="$work/passwd" NSS_WRAPPER_GROUP="$file" \
      /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null
  fi
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

printf 'local listing (%s), median of %s interleaved runs\n' "$how" "$runs"
printf '%-44s %9s %9s %11s %11s %7s %10s\n' "database" "quillmot" "getent" "quillmot" "getent" \
  "ratio" "memory"
printf '%-44s %9s %9s %11s %11s %7s %10s\n' "" "(s)" "(s)" "(KiB)" "(KiB)" "" "difference"
for groups in 100000 1000000; do
  for large in 0 1; do
    generate "$work/group" "$groups" "$large"
    : >"$work/q_wall"; : >"$work/q_rss"; : >"$work/g_wall"; : >"$work/g_rss"
    for _ in $(seq 1 "$runs"); do
      with_database "$work/group" "$quillmot" -Q i
      read -r wall rss <"$work/time"; echo "$wall" >>"$work/q_wall"; echo "$rss" >>"$work/q_rss"
      with_database "$work/group" getent group
      read -r wall rss <"$work/time"; echo "$wall" >>"$work/g_wall"; echo "$rss" >>"$work/g_rss"
    done
    label="$groups groups"
    [ "$large" = 1 ] && label="$label + one of 100,000 members"
    q_wall=$(median <"$work/q_wall"); g_wall=$(median <"$work/g_wall")
    q_rss=$(median <"$work/q_rss"); g_rss=$(median <"$work/g_rss")
    awk -v l="$label" -v a="$q_wall" -v b="$g_wall" -v c="$q_rss" -v d="$g_rss" 'BEGIN {
      printf "%-44s %9s %9s %11s %11s %7.2f %+10d\n", l, a, b, c, d, (b > 0 ? a / b : 0), c - d }'
  done
done

# The output formats side by side on 1,000,000 groups, -Q d: the default records, -F csv and
# -F json, interleaved; the ratios are against the default in the same run.
generate "$work/group" 1000000 0
for format in default csv json; do : >"$work/${format}_wall"; : >"$work/${format}_rss"; done
for _ in $(seq 1 "$runs"); do
  for format in default csv json; do
    args=(-Q d)
    [ "$format" != default ] && args+=(-F "$format")
    with_database "$work/group" "$quillmot" "${args[@]}"
    read -r wall rss <"$work/time"
    echo "$wall" >>"$work/${format}_wall"; echo "$rss" >>"$work/${format}_rss"
  done
done
printf 'formats, 1,000,000 groups, -Q d, median of %s interleaved runs\n' "$runs"
printf '%-10s %9s %11s %7s\n' "format" "(s)" "(KiB)" "ratio"
base=$(median <"$work/default_wall")
for format in default csv json; do
  wall=$(median <"$work/${format}_wall"); rss=$(median <"$work/${format}_rss")
  awk -v f="$format" -v a="$wall" -v r="$rss" -v b="$base" 'BEGIN {
    printf "%-10s %9s %11s %7.2f\n", f, a, r, (b > 0 ? a / b : 0) }'
done

# Start-up: -v, beside a trivial C program, with the C library's own timer.
cat >"$work/true.c" <<'C'
int main(void) { return 0; }
C
cc -O2 -o "$work/true" "$work/true.c"
startup() {
  local start end
  start=$(date +%s%N)
  for _ in $(seq 1 200); do "$@" >/dev/null; done
  end=$(date +%s%N)
  echo $(( (end - start) / 200000 ))
}
printf 'start-up, mean of 200 runs: quillmot -v %s us, trivial C program %s us\n' \
  "$(startup "$quillmot" -v)" "$(startup "$work/true")"
