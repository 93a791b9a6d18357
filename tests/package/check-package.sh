#!/usr/bin/env bash
# Checks the Debian package that `make deb` built: lintian reports no error and no warning, and the
# program unpacked from it (dpkg-deb -x, nothing installed) answers byte for byte as the one built
# in the tree: its version line, and local listings through nss_wrapper on a private database.
#   check-package.sh DEB_DIR BUILT_BINARY
set -euo pipefail
deb_dir=${1:?directory holding the .deb}
built=${2:?the quillmot built in the tree}

debs=("$deb_dir"/quillmot_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "check-package: no single quillmot .deb in $deb_dir" >&2; exit 1; }
deb=${debs[0]}

echo "lintian $(basename "$deb")"
lintian --fail-on error,warning --tag-display-limit 0 "$deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
packaged=$work/root/usr/bin/quillmot
test -x "$packaged" || { echo "check-package: no /usr/bin/quillmot in the package" >&2; exit 1; }
test -f "$work/root/usr/share/man/man1/quillmot.1.gz" || { echo "check-package: no man page" >&2; exit 1; }

version=$("$packaged" -v)
[ "$version" = "Quillmot v0.6 Copyright (c) 2026 the Quillmot authors" ] ||
  { echo "check-package: the packaged -v says: $version" >&2; exit 1; }

nss_wrapper=$(ls /usr/lib/*/libnss_wrapper.so | head -n 1)
printf 'root:x:0:\nstaff:x:50:alice,bob\nDomain Users:x:513:\ncaf\xc3\xa9:x:1001:\n' >"$work/group"
printf 'root:x:0:0:root:/root:/bin/sh\n' >"$work/passwd"
listing() {
  env -i LD_PRELOAD="$nss_wrapper" NSS_WRAPPER_GROUP="$work/group" NSS_WRAPPER_PASSWD="$work/passwd" \
    "$@"
}
for words in "" "-Q i -d ;" "-Q d staff" "-q '' -r |"; do
  # shellcheck disable=SC2086
  listing "$packaged" $words >"$work/packaged.out" 2>"$work/packaged.err" && status=0 || status=$?
  # shellcheck disable=SC2086
  listing "$built" $words >"$work/built.out" 2>"$work/built.err" && expected=0 || expected=$?
  if ! cmp -s "$work/packaged.out" "$work/built.out" || ! cmp -s "$work/packaged.err" "$work/built.err" ||
    [ "$status" != "$expected" ] || [ ! -s "$work/built.out" ]; then
    echo "check-package: quillmot $words differs between the package and the tree" >&2
    exit 1
  fi
done
echo "the packaged program answers as the tree's: -v and four local listings"
