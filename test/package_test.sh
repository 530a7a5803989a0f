#!/bin/sh
# Builds the Debian package, unpacks it into a throw-away root and runs the
# unpacked binary on the example list.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out") \
  >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/out/quillmark_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
case $depends in
  *libboost-program-options1.74.0*libabsl20220623*libssl3*) ;;
  *) echo "runtime dependencies missing: $depends"; exit 1 ;;
esac
dpkg-deb -x "$deb" "$tmp/root"
[ -f "$tmp/root/usr/share/man/man1/quillmark.1" ] || { echo "no manual"; exit 1; }

mkdir "$tmp/run"
cd "$tmp/run"
"$tmp/root/usr/bin/quillmark" -i "$source/examples/extensions.txt" --pp 7 \
  --tenant_id 42 >packaged.out
"$build/quillmark" -i "$source/examples/extensions.txt" --pp 7 \
  --tenant_id 42 -o built.ini >built.out
head -n 1 Devices.ini | grep -q -x '\[e1729268-be74-5d07-9149-9c49ab1e2d12\]' ||
  { echo "unexpected first record"; head -n 5 Devices.ini; exit 1; }
cmp Devices.ini built.ini
grep -q '^Wrote 10 devices to "Devices.ini"$' packaged.out ||
  { echo "unexpected summary"; cat packaged.out; exit 1; }
echo "packaged as $(basename "$deb") ($depends)"
