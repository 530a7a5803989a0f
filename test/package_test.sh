#!/bin/sh
# Builds the Debian packages with `make package` (without their tests, which
# the suite runs), checks them with lintian --pedantic, hardening included,
# checks that every place that states the version agrees, checks their
# metadata and contents against what this machine has, checks that what a
# find_package(Quillmark) consumer includes comes with libquillmark-dev's
# Depends or with build-essential, and runs the packaged binary on the
# example list. Needs neither root nor network.
# Usage: package_test.sh SOURCE_DIR WORK_DIR QUILLMARK
set -eu
source=$(cd "$1" && pwd)
rm -rf "$2"
mkdir -p "$2"
work=$(cd "$2" && pwd)
built=$3
fail() { echo "$*"; exit 1; }

DEB_BUILD_OPTIONS=nocheck make -C "$source" package PACKAGE_BUILD="$work/build" \
  >"$work/package.log" 2>&1 ||
  { tail -n 40 "$work/package.log"; fail "make package failed"; }
tool=$(ls "$work"/build/quillmark_*.deb)
dev=$(ls "$work"/build/libquillmark-dev_*.deb)
ls "$work"/build/quillmark-dbgsym_*.*deb >/dev/null || fail "no quillmark-dbgsym"

# No tag at all, pedantic and informational ones included. As root, lintian
# also says that it runs as root; that line is no tag.
lintian --pedantic -I -E "$work"/build/quillmark_*.changes >"$work/lintian.log" 2>&1 ||
  true
if grep -E '^[EWIPX]: |hardening-' "$work/lintian.log"; then fail "lintian: see above"; fi

# One version everywhere: the changelog's top entry, the packages, the
# tool, its manual and the CMake package's version file.
version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
dpkg-deb -x "$dev" "$work/dev"
for stated in "$(dpkg-deb -f "$tool" Version)" "$(dpkg-deb -f "$dev" Version)" \
    "$("$built" --version | cut -d' ' -f2)" \
    "$(dpkg-deb --fsys-tarfile "$tool" | tar -xO ./usr/share/man/man1/quillmark.1.gz |
       gzip -dc | sed -n 's/^\.TH [^"]*"Quillmark \([^"]*\)".*/\1/p')" \
    "$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' \
       "$work"/dev/usr/lib/*/cmake/Quillmark/QuillmarkConfigVersion.cmake)"; do
  [ "$stated" = "$version" ] || fail "version $stated, where the changelog says $version"
done
date=$(date -u -d "$(dpkg-parsechangelog -l "$source/debian/changelog" -S Date)" +%F)
dpkg-deb --fsys-tarfile "$tool" | tar -xO ./usr/share/man/man1/quillmark.1.gz |
  gzip -dc | grep -q "^\.TH QUILLMARK 1 $date " ||
  fail "the manual's date is not the changelog's, $date"

field() { dpkg-deb -f "$1" "$2"; }
for deb in "$tool" "$dev"; do
  [ "$(field "$deb" Maintainer)" = "Quillmark maintainers <maintainers@quillmark.invalid>" ] ||
    fail "maintainer of $deb: $(field "$deb" Maintainer)"
  [ "$(field "$deb" Description | wc -l)" -gt 2 ] || fail "no extended description in $deb"
done
[ "$(field "$tool" Description)" != "$(field "$dev" Description)" ] ||
  fail "both packages have one description"

dpkg-deb -x "$tool" "$work/tool"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for f in bin/quillmark share/man/man1/quillmark.1.gz \
    share/doc/quillmark/copyright share/doc/quillmark/changelog.gz \
    share/doc/quillmark/README.md.gz share/bash-completion/completions/quillmark; do
  [ -f "$work/tool/usr/$f" ] || fail "not in quillmark: /usr/$f"
done
for f in include/quillmark/identity/DeviceIdGenerator.h \
    include/quillmark/dictionary/Dictionary.h \
    "lib/$multiarch/libquillmark_identity.a" \
    "lib/$multiarch/libquillmark_dictionary.a" \
    "lib/$multiarch/cmake/Quillmark/QuillmarkConfig.cmake" \
    share/doc/libquillmark-dev/copyright share/doc/libquillmark-dev/changelog.gz; do
  [ -f "$work/dev/usr/$f" ] || fail "not in libquillmark-dev: /usr/$f"
done
[ ! -e "$work/tool/usr/include" ] || fail "quillmark holds headers"

# The package that holds `path`, which may be registered with or without
# /usr in front of it.
owner() {
  for p in "$1" "$(readlink -f "$1")" "/usr$1" "${1#/usr}"; do
    found=$(dpkg -S "$p" 2>/dev/null | grep -v '^diversion' | head -n 1 | cut -d: -f1)
    [ -z "$found" ] || { echo "$found"; return; }
  done
}

# The tool depends, as dpkg-shlibdeps computes it (with the least version
# that the symbols it uses need, if any), on the package of every shared
# library it links, by this release's names.
binary="$work/tool/usr/bin/quillmark"
needed=$(objdump -p "$binary" | awk '$1 == "NEEDED" {print $2}')
[ -n "$needed" ] || fail "the packaged binary links no shared library"
for library in $(ldd "$binary" | awk -v needed=" $(echo $needed) " \
    '$2 == "=>" && index(needed, " " $1 " ") {print $3}'); do
  package=$(owner "$library")
  [ -n "$package" ] || fail "no package holds $library"
  field "$tool" Depends | tr ',' '\n' | awk -v p="$package" '$1 == p' |
    grep -q . || fail "no dependency on $package: $(field "$tool" Depends)"
done

# An upgrade from the single package of 0.1.0 hands its files over.
for relation in Breaks Replaces; do
  [ "$(field "$dev" "$relation")" = "quillmark (<< 0.2.0)" ] ||
    fail "$relation: $(field "$dev" "$relation")"
done

# The installed packages that `$@` bring, following Depends and Pre-Depends
# over what is installed here.
closure() {
  todo="$*"
  seen=" "
  while [ -n "$todo" ]; do
    set -- $todo
    package=$1
    shift
    todo="$*"
    case "$seen" in *" $package "*) continue ;; esac
    [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null)" = "ii " ] ||
      continue
    seen="$seen$package "
    todo="$todo $(dpkg-query -W -f='${Depends}, ${Pre-Depends}' "$package" |
      tr ',|' '\n\n' | sed 's/([^)]*)//; s/:any//' | awk '{print $1}')"
  done
  echo "$seen"
}
brought=$(closure build-essential \
  $(field "$dev" Depends | tr ',' '\n' | sed 's/([^)]*)//' | awk '{print $1}'))
headers=$(g++ -std=c++20 -M -I"$work/dev/usr/include" \
  "$source/test/consumer/main.cpp" | tr -d '\\' | tr ' ' '\n' | grep '^/' |
  grep -v -e "^$work/" -e "^$source/" | xargs realpath -s | sort -u)
dpkg -S $headers >"$work/headers.owners" 2>"$work/headers.unowned" ||
  fail "headers of no package: $(cat "$work/headers.unowned")"
for package in $(cut -d: -f1 "$work/headers.owners" | tr ',' '\n' | sort -u); do
  case "$brought" in
    *" $package "*) ;;
    *) fail "a consumer includes headers of $package, which libquillmark-dev does not depend on" ;;
  esac
done

mkdir "$work/run"
cd "$work/run"
"$work/tool/usr/bin/quillmark" -i "$source/examples/extensions.txt" --pp 7 \
  --tenant_id 42 >packaged.out
"$built" -i "$source/examples/extensions.txt" --pp 7 --tenant_id 42 \
  -o built.ini >built.out
head -n 1 Devices.ini | grep -q -x '\[e1729268-be74-5d07-9149-9c49ab1e2d12\]' ||
  fail "unexpected first record: $(head -n 5 Devices.ini)"
cmp Devices.ini built.ini
grep -q '^Wrote 10 devices to "Devices.ini"$' packaged.out ||
  fail "unexpected summary: $(cat packaged.out)"
echo "packaged as $(basename "$tool") and $(basename "$dev"), lintian-clean"
