#!/usr/bin/env bash
# Times `quillmot -Q i` against `getent group` on the same 100,000-group database, read through
# nss_wrapper: the median of several runs, wall time and peak memory, and the ratios.
#   bench/local_listing.sh path/to/quillmot [groups] [runs]
set -euo pipefail
quillmot=${1:?path to quillmot}
groups=${2:-100000}
runs=${3:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wrapper=$(ls /usr/lib/*/libnss_wrapper.so | head -n 1)
echo "root:x:0:0:root:/root:/bin/sh" >"$work/passwd"
awk -v n="$groups" 'BEGIN { for (i = 0; i < n; i++) printf "group%06d:x:%d:user%d,user%d\n", i, 100000 + i, i, i + 1 }' >"$work/group"

measure() {  # prints "seconds kilobytes" for one run
  env LD_PRELOAD="$wrapper" NSS_WRAPPER_PASSWD="$work/passwd" NSS_WRAPPER_GROUP="$work/group" \
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null
  cat "$work/time"
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

run_many() {
  : >"$work/wall"; : >"$work/rss"
  for _ in $(seq 1 "$runs"); do
    read -r wall rss < <(measure "$@")
    echo "$wall" >>"$work/wall"; echo "$rss" >>"$work/rss"
  done
  echo "$(median <"$work/wall") $(median <"$work/rss")"
}

read -r q_wall q_rss < <(run_many "$quillmot" -Q i)
read -r g_wall g_rss < <(run_many getent group)
printf '%-22s %10s %14s\n' "command ($groups groups)" "wall (s)" "peak RSS (KiB)"
printf '%-22s %10s %14s\n' "quillmot -Q i" "$q_wall" "$q_rss"
printf '%-22s %10s %14s\n' "getent group" "$g_wall" "$g_rss"
awk -v a="$q_wall" -v b="$g_wall" -v c="$q_rss" -v d="$g_rss" \
  'BEGIN { printf "ratio wall %.2f, peak memory difference %+d KiB\n", (b > 0 ? a / b : 0), c - d }'

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
