#!/bin/sh
# Inside the Debian 13 root: the project built with that system's own toolchain, warnings fatal,
# and its tests run there, the remote ones against the servers already running outside (the root
# shares the network); then the sanitizer build's remote tests against the same servers. The
# Windows program and a user's cross configure stay with the system that has mingw-w64 and Wine.
#   build-and-test.sh SOURCE_DIR BUILD_DIR SERVERS_DIR
set -eu
source_dir=$1
build=$2
servers=$3
# Addresses of their own for the relay and the silent listener, apart from the outside run's.
flags="-DQUILLMOT_WERROR=ON -DQUILLMOT_TESTS=ON -DQUILLMOT_SERVERS_DIR=$servers
  -DQUILLMOT_RELAY_ADDRESS=127.0.0.13 -DQUILLMOT_SILENT_ADDRESS=127.0.0.14"

echo "Debian $(cat /etc/debian_version), $(g++ --version | head -n 1), $(cmake --version | head -n 1)"
echo "Samba $(dpkg-query -W -f='${Version}' samba-libs)"
# shellcheck disable=SC2086
cmake -S "$source_dir" -B "$build/release" -DCMAKE_BUILD_TYPE=Release $flags >/dev/null
cmake --build "$build/release" -j 2 >"$build/release.log" 2>&1 ||
  { tail -n 60 "$build/release.log"; exit 1; }
ctest --test-dir "$build/release" --output-on-failure -j 2 -E '^user_builds$'

# shellcheck disable=SC2086
cmake -S "$source_dir" -B "$build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DQUILLMOT_SANITIZE=ON \
  $flags >/dev/null
cmake --build "$build/sanitize" -j 2 --target quillmot quillmot_remote_tests \
  >"$build/sanitize.log" 2>&1 || { tail -n 60 "$build/sanitize.log"; exit 1; }
ctest --test-dir "$build/sanitize" --output-on-failure -j 2 -R '^RemoteDirectory\.'
