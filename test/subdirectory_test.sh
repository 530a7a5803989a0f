#!/bin/sh
# Builds a project that pulls Quillmark in with add_subdirectory. It must get
# the Quillmark:: targets and the <quillmark/...> headers, and none of
# Quillmark's tests, install rules or CTest settings. By default it gets no
# tool, and must build without Abseil or Boost.Program_options; with "tool",
# it asks for the tool with -DQUILLMARK_BUILD_TOOL=ON.
# Usage: subdirectory_test.sh SOURCE_DIR [CXX [CXXFLAGS [tool]]]
set -eu
source=$(cd "$1" && pwd)
cxx=${2:-c++}
cxxflags=${3:-}
tool=${4:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "$*"; exit 1; }

set -- -DCMAKE_DISABLE_FIND_PACKAGE_absl=ON
[ -z "$tool" ] || set -- -DQUILLMARK_BUILD_TOOL=ON
cmake -S "$source/test/consumer" -B "$tmp/build" "$@" \
  -DQUILLMARK_SOURCE_DIR="$source" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_CXX_FLAGS="$cxxflags" >"$tmp/configure.log" 2>&1 ||
  { cat "$tmp/configure.log"; fail "configure failed"; }
cmake --build "$tmp/build" -j "$(nproc)" >"$tmp/build.log" 2>&1 ||
  { cat "$tmp/build.log"; fail "build failed"; }

id=$("$tmp/build/consumer" "Extension=205")
[ "$id" = "e1729268-be74-5d07-9149-9c49ab1e2d12" ] || fail "consumer printed '$id'"
if [ -z "$tool" ]; then
  [ ! -e "$tmp/build/quillmark/quillmark" ] || fail "the tool was built"
  ! grep -q '^boost_program_options_DIR' "$tmp/build/CMakeCache.txt" ||
    fail "Boost.Program_options was looked for"
else
  [ -x "$tmp/build/quillmark/quillmark" ] || fail "the tool was not built"
fi
! grep -q '^BUILD_TESTING:' "$tmp/build/CMakeCache.txt" ||
  fail "BUILD_TESTING was set for the consumer"
tests=$(ctest --test-dir "$tmp/build" -N | grep 'Total Tests:')
[ "$tests" = "Total Tests: 0" ] || fail "the consumer inherited tests: $tests"
cmake --install "$tmp/build" --prefix "$tmp/prefix" >/dev/null
[ ! -e "$tmp/prefix" ] || fail "the consumer inherited install rules: $(find "$tmp/prefix" -type f)"
echo "an add_subdirectory consumer computes $id, and inherits no tests or install rules"
