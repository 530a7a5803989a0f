#!/bin/sh
# Installs the build into a temporary prefix, then builds a separate project
# against it with find_package(Quillmark) and checks the device ID it prints;
# then `make uninstall` must leave the prefix as it was, and say so when
# nothing is installed.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR LIBDIR [CXX [CXXFLAGS]]
set -eu
build=$1
source=$2
libdir=$3
cxx=${4:-c++}
cxxflags=${5:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A folder and a file that were there before the install stay.
mkdir -p "$tmp/prefix/share/doc"
echo kept >"$tmp/prefix/share/doc/other"
"$source/scripts/install" "$build" "$tmp/prefix" >/dev/null
for f in bin/quillmark share/man/man1/quillmark.1.gz \
    share/bash-completion/completions/quillmark \
    share/doc/quillmark/copyright share/doc/quillmark/changelog.gz \
    share/doc/quillmark/README.md include/quillmark/dictionary/Dictionary.h \
    include/quillmark/identity/DeviceIdGenerator.h \
    "$libdir/libquillmark_identity.a" "$libdir/libquillmark_dictionary.a"; do
  [ -f "$tmp/prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
# Consumers see include/, so that only <quillmark/...> resolves: a bare
# "dictionary/Dictionary.h" could be any library's.
grep -q 'INTERFACE_INCLUDE_DIRECTORIES "${_IMPORT_PREFIX}/include"' \
  "$tmp/prefix/$libdir/cmake/Quillmark/QuillmarkTargets.cmake" ||
  { echo "exported include folder is not include/"; exit 1; }

cmake -S "$source/test/consumer" -B "$tmp/consumer" \
  -DCMAKE_PREFIX_PATH="$tmp/prefix" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_CXX_FLAGS="$cxxflags" >"$tmp/configure.log" 2>&1 ||
  { cat "$tmp/configure.log"; exit 1; }
cmake --build "$tmp/consumer" >"$tmp/build.log" 2>&1 ||
  { cat "$tmp/build.log"; exit 1; }
id=$("$tmp/consumer/consumer" "Extension=205")
if [ "$id" != "e1729268-be74-5d07-9149-9c49ab1e2d12" ]; then
  echo "consumer printed '$id'"
  exit 1
fi
make -s -C "$source" uninstall BUILD="$build" PREFIX="$tmp/prefix" >/dev/null
left=$(cd "$tmp/prefix" && find . | sort | tr '\n' ' ')
[ "$left" = ". ./share ./share/doc ./share/doc/other " ] ||
  { echo "left after make uninstall: $left"; exit 1; }
again=$(make -s -C "$source" uninstall BUILD="$build" PREFIX="$tmp/prefix")
[ "$again" = "nothing installed from $build under $tmp/prefix" ] ||
  { echo "make uninstall again said: '$again'"; exit 1; }
echo "installed, a find_package(Quillmark) consumer computes $id, uninstalled"
