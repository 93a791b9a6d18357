#!/usr/bin/env bash
# A user's builds: a plain configure and build of the program looks for nothing the tests,
# benchmarks or fuzzers need, and warnings stay warnings; a cross configure needs only the
# toolchain file.
#   check-configure.sh SOURCE_DIR
set -euo pipefail
source_dir=${1:?source directory}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$source_dir" -B "$work/plain" >"$work/plain.log" 2>&1 ||
  { cat "$work/plain.log"; echo "check-configure: the plain configure failed" >&2; exit 1; }
# What a search for them leaves behind: GTest_DIR, benchmark_DIR, GTEST_*, NSS_WRAPPER_LIBRARY.
if grep -E '^(GTest|GTEST|benchmark|NSS_WRAPPER)[A-Za-z_]*:' "$work/plain/CMakeCache.txt" ||
  grep -iE 'GTest|benchmark|nss_wrapper' "$work/plain.log"; then
  echo "check-configure: the plain configure looked for a test-only dependency" >&2
  exit 1
fi
if grep -q -- '-Werror' "$work/plain/CMakeFiles/quillmot.dir/flags.make"; then
  echo "check-configure: a plain build makes warnings fatal" >&2
  exit 1
fi
cmake --build "$work/plain" --target quillmot -j 2 >"$work/plain-build.log" 2>&1 ||
  { cat "$work/plain-build.log"; echo "check-configure: the plain build failed" >&2; exit 1; }
"$work/plain/quillmot" -v

cmake -S "$source_dir" -B "$work/cross" \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" >"$work/cross.log" 2>&1 ||
  { cat "$work/cross.log"; echo "check-configure: the cross configure failed" >&2; exit 1; }
echo "plain configure and build, and cross configure: fine"
