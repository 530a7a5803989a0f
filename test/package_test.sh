#!/bin/sh
# Builds the Debian package as `make package` does, checks it with lintian,
# checks its metadata and contents, and runs the packaged binary on the
# example list.
# Usage: package_test.sh SOURCE_DIR WORK_DIR QUILLMARK
set -eu
source=$(cd "$1" && pwd)
rm -rf "$2"
mkdir -p "$2"
work=$(cd "$2" && pwd)
built=$3
fail() { echo "$*"; exit 1; }

make -C "$source" package PACKAGE_BUILD="$work/build" >"$work/package.log" 2>&1 ||
  { tail -n 40 "$work/package.log"; fail "make package failed"; }
deb=$(ls "$work"/build/quillmark_*.deb)

# No error or warning tags. As root, lintian also says that it runs as root;
# that line is no tag.
lintian "$deb" >"$work/lintian.log" 2>&1 || true
if grep -E '^[EW]: ' "$work/lintian.log"; then fail "lintian: see above"; fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Maintainer)" = "Quillmark maintainers <maintainers@quillmark.invalid>" ] ||
  fail "maintainer: $(field Maintainer)"
# Computed by dpkg-shlibdeps, so each with the version its symbols need.
for library in libboost-program-options1.74.0 libabsl20220623 libssl3 libc6; do
  field Depends | grep -q -E "(^|, )$library \(>= [^)]+\)" ||
    fail "no versioned dependency on $library: $(field Depends)"
done
[ "$(field Description | wc -l)" -gt 2 ] || fail "no extended description"

dpkg-deb -x "$deb" "$work/root"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for f in bin/quillmark share/man/man1/quillmark.1.gz \
    share/doc/quillmark/copyright share/doc/quillmark/changelog.gz \
    share/doc/quillmark/README.md share/bash-completion/completions/quillmark \
    include/quillmark/identity/DeviceIdGenerator.h \
    include/quillmark/dictionary/Dictionary.h \
    "lib/$multiarch/libquillmark_identity.a" \
    "lib/$multiarch/libquillmark_dictionary.a" \
    "lib/$multiarch/cmake/Quillmark/QuillmarkConfig.cmake"; do
  [ -f "$work/root/usr/$f" ] || fail "not in the package: /usr/$f"
done

mkdir "$work/run"
cd "$work/run"
"$work/root/usr/bin/quillmark" -i "$source/examples/extensions.txt" --pp 7 \
  --tenant_id 42 >packaged.out
"$built" -i "$source/examples/extensions.txt" --pp 7 --tenant_id 42 \
  -o built.ini >built.out
head -n 1 Devices.ini | grep -q -x '\[e1729268-be74-5d07-9149-9c49ab1e2d12\]' ||
  fail "unexpected first record: $(head -n 5 Devices.ini)"
cmp Devices.ini built.ini
grep -q '^Wrote 10 devices to "Devices.ini"$' packaged.out ||
  fail "unexpected summary: $(cat packaged.out)"
echo "packaged as $(basename "$deb"), lintian-clean ($(field Depends))"
