#!/bin/bash
# The native install tree, the CMake package and the release archives: what
# each holds, the SONAME, the header under each C and C++ standard, the
# installed host, the licence, and a consumer built against the installed
# CMake package and with pkg-config's flags.
# Usage: packagingTest.sh SOURCE_DIR BUILD_DIR CONFIGURATION (lower case)
set -u
source=$1
build=$2
configuration=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}

tree="bin/vesk-extract
include/vesk.h
lib/cmake/vesk/veskConfig-$configuration.cmake
lib/cmake/vesk/veskConfig.cmake
lib/cmake/vesk/veskConfigVersion.cmake
lib/libvesk.so
lib/libvesk.so.1
lib/libvesk.so.1.0.0
lib/pkgconfig/vesk.pc
share/doc/vesk/copyright"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "install"
listed=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
[ "$listed" = "$tree" ] || fail "install tree:" "$listed"
soname=$(objdump -p "$prefix/lib/libvesk.so.1.0.0" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = libvesk.so.1 ] || fail "SONAME $soname"
cmp -s "$source/LICENSE" "$prefix/share/doc/vesk/copyright" || fail "copyright is not LICENSE"

# The installed header serves C89 and C++98 consumers and every later standard.
for standard in c89 c99 c11 c17 c++98 c++11 c++14 c++17 c++20; do
    printf '#include <vesk.h>\nint main(void) { return unzip("a.zip", "") + unzipOneFile("", 0); }\n' \
        | gcc -x "${standard%%[0-9]*}" -std="$standard" -pedantic -Wall -Wextra -Werror -fsyntax-only \
              -I "$prefix/include" - || fail "vesk.h as $standard"
done

# The installed host finds the library in the lib folder beside its bin.
[ "$("$prefix/bin/vesk-extract" --version)" = "vesk-extract 1.0.0" ] || fail "--version"
"$prefix/bin/vesk-extract" --help | grep -q '^usage: vesk-extract ARCHIVE \[DEST\]$' || fail "--help"
sample=$source/host/sample/sample.zip
mkdir -p "$work/expected"
unzip -q "$sample" -d "$work/expected"
"$prefix/bin/vesk-extract" "$sample" "$work/host" || fail "installed host: status $?"
diff -r "$work/expected" "$work/host" >/dev/null || fail "installed host: other files"

# Another project finds the package and links vesk::vesk.
if cmake -S "$source/examples/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null \
   && cmake --build "$work/consumer" >/dev/null; then
    "$work/consumer/consumer" "$sample" "$work/consumed" || fail "consumer: status $?"
    diff -r "$work/expected" "$work/consumed" >/dev/null || fail "consumer: other files"
else
    fail "consumer does not build against the installed package"
fi

# A build without CMake: pkg-config finds vesk in the prefix and one compiler
# call builds the same consumer.
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
pkg-config --exact-version=1.0.0 vesk || fail "pkg-config: vesk 1.0.0 not found"
read -ra flags <<<"$(pkg-config --cflags --libs vesk)"
if gcc -o "$work/plainConsumer" "$source/examples/consumer/consumer.c" "${flags[@]}"; then
    LD_LIBRARY_PATH=$prefix/lib "$work/plainConsumer" "$sample" "$work/plainConsumed" \
        || fail "pkg-config consumer: status $?"
    diff -r "$work/expected" "$work/plainConsumed" >/dev/null || fail "pkg-config consumer: other files"
else
    fail "consumer does not build with pkg-config's flags"
fi

# The release archives: the same tree, in a folder of its own or below /usr.
if cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >/dev/null; then
    folder=vesk-1.0.0-linux-$(uname -m)
    listed=$(tar tzf "$work/packages/$folder.tar.gz" | grep -v '/$' | sed "s|^$folder/||" | LC_ALL=C sort)
    [ "$listed" = "$tree" ] || fail "tar.gz:" "$listed"
    listed=$(dpkg-deb -c "$work/packages/vesk_1.0.0_"*.deb | awk '$6 !~ /\/$/ { print $6 }' \
             | sed 's|^\./usr/||' | LC_ALL=C sort)
    [ "$listed" = "$tree" ] || fail ".deb:" "$listed"
else
    fail "cpack"
fi

[ $failures = 0 ] && echo "packaging: all passed"
exit $failures
