#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The loader library of the Windows zip, as a C program on Windows uses it:
#  - resource_set.dll exports the functions the header declares and nothing
#    else, and needs no DLL but the system's;
#  - the loader example, built by mingw-w64 from the unpacked zip against
#    the DLL (its import library) and against the static library
#    (RESOURCE_SET_STATIC), each through pkg-config and through the CMake
#    package, imports resource_set.dll or does not, and under wine, in a
#    folder of its own that holds the DLL alone beside it where it needs
#    it, loads from a set that the zip's vashpak packed the payloads that
#    were packed, and refuses what is no set.
# Usage: check_windows_loaders.sh SOURCE_DIR ZIP
set -euo pipefail
source_dir=$(realpath "$1")
zip=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "check_windows_loaders: $*" >&2
    exit 1
}
target=x86_64-w64-mingw32
cc=$(command -v $target-gcc-posix || command -v $target-gcc) || fail "no $target C compiler"
objdump=$target-objdump
wine=$source_dir/cmake/run-wine.sh

unzip -q "$zip" -d "$scratch/unpacked"
root=$(echo "$scratch"/unpacked/*/)
root=${root%/}
dll=$root/bin/resource_set.dll
[ -f "$dll" ] || fail "the zip holds no bin/resource_set.dll"

# The exports: exactly the functions resource_set.h declares.
sed -n 's/^RESOURCE_SET_API .*[ *]\(resource_set_[a-z0-9_]*\)(.*/\1/p' "$root/include/resource_set.h" |
    LC_ALL=C sort >"$scratch/declared"
[ -s "$scratch/declared" ] || fail "no function found in resource_set.h"
"$objdump" -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' |
    LC_ALL=C sort >"$scratch/exported"
diff -u "$scratch/declared" "$scratch/exported" >&2 || fail "resource_set.dll exports other functions than resource_set.h declares"
# The DLLs it needs: the system's (KERNEL32, the C runtime), none of
# mingw-w64's runtime (libstdc++-6, libgcc_s_seh-1, libwinpthread-1).
imports() { "$objdump" -p "$1" | sed -n 's/^\tDLL Name: //p'; }
imports "$dll" >"$scratch/dll.imports"
if grep -Eiv '^(kernel32|msvcrt|ucrtbase|advapi32|api-ms-win-[a-z0-9-]*)\.dll$' "$scratch/dll.imports" >&2; then
    fail "resource_set.dll needs the DLLs above"
fi

# The loaders.  The import library is the one -lresource_set finds; the
# static library is linked with -static, and its users define
# RESOURCE_SET_STATIC, which pkg-config gives with --static.
pc() { PKG_CONFIG_PATH='' PKG_CONFIG_LIBDIR=$root/lib/pkgconfig pkg-config "$@" resource-set; }
if pc --cflags | grep -q -- -DRESOURCE_SET_STATIC || ! pc --static --cflags | grep -q -- -DRESOURCE_SET_STATIC; then
    fail "resource-set.pc gives RESOURCE_SET_STATIC other than with --static alone"
fi
load_c=$root/share/doc/resource-set-tools/examples/loader/load.c
mkdir -p "$scratch/dll-pc" "$scratch/static-pc"
# shellcheck disable=SC2046 # pkg-config's words are the compiler's arguments
"$cc" -std=c99 -Wall -Wextra -Werror -o "$scratch/dll-pc/load.exe" "$load_c" $(pc --cflags --libs) ||
    fail "load.c does not link against the DLL with pkg-config"
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Wextra -Werror -DRESOURCE_SET_STATIC -static -o "$scratch/static-pc/load.exe" "$load_c" \
    $(pc --static --cflags --libs) || fail "load.c does not link against the static library with pkg-config"
for static in OFF ON; do
    # The package is the zip's, not the toolchain's sysroot's.
    if ! {
        cmake -S "$root/share/doc/resource-set-tools/examples/loader" -B "$scratch/cmake-$static" \
            -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchains/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
            -DResourceSet_DIR="$root/lib/cmake/ResourceSet" -DRESOURCE_SET_STATIC=$static &&
            cmake --build "$scratch/cmake-$static"
    } >"$scratch/log" 2>&1; then
        cat "$scratch/log" >&2
        fail "the loader example does not build with the CMake package (RESOURCE_SET_STATIC=$static)"
    fi
done
mv "$scratch/cmake-OFF" "$scratch/dll-cmake"
mv "$scratch/cmake-ON" "$scratch/static-cmake"
for loader in dll-pc dll-cmake static-pc static-cmake; do
    program=$scratch/$loader/load.exe
    if [[ $loader == dll-* ]]; then
        imports "$program" | grep -qx resource_set.dll || fail "$loader/load.exe does not import resource_set.dll"
        cp "$dll" "$scratch/$loader/"
    elif imports "$program" | grep -qix resource_set.dll; then
        fail "$loader/load.exe, linked static, imports resource_set.dll"
    fi
done

# The set, packed by the zip's vashpak: a sample, and every byte value but
# LF.  The example writes standard output in the C runtime's text mode,
# which on Windows turns each LF into CR LF.
(
    cd "$scratch"
    for byte in $(seq 0 255); do
        [ "$byte" -eq 10 ] || printf '%b' "\\0$(printf %03o "$byte")"
    done >bytes.bin
    cp "$source_dir/examples/level1.res" .
    "$wine" "$root/bin/vashpak.exe" --wrap bytes.bin bytes.res 7 9 >/dev/null
    "$wine" "$root/bin/vashpak.exe" game.set level1.res bytes.res >/dev/null
) || fail "the zip's vashpak does not pack the set"
for loader in dll-pc dll-cmake static-pc static-cmake; do
    for name in level1.res bytes.res; do
        tail -c +21 "$scratch/$name" >"$scratch/expected"
        (cd "$scratch/$loader" && "$wine" ./load.exe ../game.set "$name") >"$scratch/got" ||
            fail "$loader/load.exe fails to load $name"
        cmp "$scratch/expected" "$scratch/got" || fail "$loader/load.exe does not load $name as it was packed"
    done
    if (cd "$scratch/$loader" && "$wine" ./load.exe ../bytes.res bytes.res) >/dev/null 2>"$scratch/error"; then
        fail "$loader/load.exe took a resource file for a set"
    fi
    [ "$(tr -d '\r' <"$scratch/error")" = "load: ../bytes.res: not a resource set" ] ||
        fail "$loader/load.exe says $(cat "$scratch/error") of a resource file"
done
echo "check_windows_loaders: resource_set.dll exports $(wc -l <"$scratch/exported") functions and needs" \
    "$(xargs <"$scratch/dll.imports"); load.c against it and static, by pkg-config and CMake, loads under wine"
