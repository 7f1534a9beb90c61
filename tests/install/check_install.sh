#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs a build into a fresh temporary prefix and checks that it holds the
# programs, the manual pages with the version and the prefix's documentation
# folder filled in (as plain text for Windows), the documentation folder, the loader library (static, and
# shared when built so: on Windows the DLL and its import library) with its header, CMake package and pkg-config file
# and, but for Windows builds, the bash completion, the changelog and the
# library packages' own documentation folders; nothing of the tests.  Every
# relative link of an installed document must resolve in the installed tree.
# Usage: check_install.sh BUILD_DIR VERSION LIBDIR SHARED [EXE_SUFFIX]
#   LIBDIR is the library folder under the prefix, SHARED ON or OFF.
set -euo pipefail
build=$1
version=$2
libdir=$3
shared=$4
suffix=${5:-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix" "$prefix.list" "$prefix.expected"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
doc=share/doc/resource-set-tools
expected=("bin/vashpak$suffix" "bin/tarnvex$suffix" "$doc/README.md" "$doc/NEWS" "$doc/copyright"
    "$doc/docs/format.md" "$doc/docs/performance.md" "$doc/examples/resources.lst")
for sample in credits empty greeting level1 palette; do expected+=("$doc/examples/$sample.res"); done
expected+=("$doc/examples/loader/load.c" "$doc/examples/loader/CMakeLists.txt" include/resource_set.h
    "$doc/examples/cpp/show.cpp" "$doc/examples/cpp/CMakeLists.txt" include/resource_set.hpp
    "$libdir/libresource_set.a" "$libdir/pkgconfig/resource-set.pc")
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" | tr '[:upper:]' '[:lower:]')
for file in ResourceSetConfig ResourceSetConfigVersion ResourceSetTargets "ResourceSetTargets-$build_type"; do
    expected+=("$libdir/cmake/ResourceSet/$file.cmake")
done
if [ "$suffix" = .exe ]; then
    # Plain text pages, for a system without man.
    man=.txt
    doc_named=$doc
    expected+=("$doc/manual/tarnvex.txt" "$doc/manual/vashpak.txt" "$doc/manual/resource_set.txt"
        "$doc/manual/resource_set_cpp.txt")
else
    man=.1.gz
    doc_named=$prefix/$doc
    expected+=("$doc/changelog.gz" share/bash-completion/completions/tarnvex share/bash-completion/completions/vashpak
        share/doc/libresource-set-dev/copyright share/doc/libresource-set-dev/changelog.gz)
fi
if [ "$shared" = ON ] && [ "$suffix" = .exe ]; then
    # The DLL beside the programs, its import library beside the static one.
    expected+=(bin/resource_set.dll "$libdir/libresource_set.dll.a")
elif [ "$shared" = ON ]; then
    expected+=("$libdir/libresource_set.so" "$libdir/libresource_set.so.${version%%.*}" "$libdir/libresource_set.so.$version"
        "share/doc/libresource-set${version%%.*}/copyright" "share/doc/libresource-set${version%%.*}/changelog.gz")
fi
expected+=("$doc/examples/physfs/mount.c" "$doc/examples/physfs/CMakeLists.txt")
# The adapters the build found the libraries of (adapters/built): each with
# its header, static library, CMake targets, pkg-config file and manual
# page, and its shared library where the loader's is.
read -r -a adapters <"$build/adapters/built" || adapters=()
for adapter in "${adapters[@]}"; do
    expected+=("include/resource_set_$adapter.h" "$libdir/libresource_set_$adapter.a"
        "$libdir/pkgconfig/resource-set-$adapter.pc" "$libdir/cmake/ResourceSet/ResourceSet-$adapter-Targets.cmake"
        "$libdir/cmake/ResourceSet/ResourceSet-$adapter-Targets-$build_type.cmake")
    if [ "$man" = .txt ]; then
        expected+=("$doc/manual/resource_set_$adapter.txt")
    else
        expected+=("share/man/man3/resource_set_$adapter.3.gz" "share/doc/libresource-set-$adapter-dev/copyright"
            "share/doc/libresource-set-$adapter-dev/changelog.gz")
    fi
    if [ "$shared" = ON ] && [ "$suffix" != .exe ]; then
        expected+=("$libdir/libresource_set_$adapter.so" "$libdir/libresource_set_$adapter.so.${version%%.*}"
            "$libdir/libresource_set_$adapter.so.$version"
            "share/doc/libresource-set-$adapter${version%%.*}/copyright"
            "share/doc/libresource-set-$adapter${version%%.*}/changelog.gz")
    fi
done
[ "$man" = .txt ] || expected+=(share/man/man1/tarnvex.1.gz share/man/man1/vashpak.1.gz share/man/man3/resource_set.3.gz
    share/man/man3/resource_set_cpp.3.gz)
(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) >"$prefix.list"
printf '%s\n' "${expected[@]}" | LC_ALL=C sort >"$prefix.expected"
if ! diff -u "$prefix.expected" "$prefix.list"; then
    echo "the installed files differ from the expected ones" >&2
    exit 1
fi

for program in vashpak tarnvex; do
    [ -x "$prefix/bin/$program$suffix" ] || { echo "bin/$program$suffix is not executable" >&2; exit 1; }
    if [ "$man" = .txt ]; then
        page=$prefix/$doc/manual/$program.txt
        text=$(tr -d '\r' <"$page")
        # Rendered: no roff left in it, the version in its footer.
        if grep -qE '^\.[A-Za-z]|\\f[BIRP(\[]' <<<"$text" || ! grep -q "resource-set-tools $version" <<<"$text"; then
            echo "$page is not the rendered page of version $version" >&2
            exit 1
        fi
    else
        page=$prefix/share/man/man1/$program.1.gz
        text=$(gzip -dc "$page" | sed 's/\\-/-/g; s/\\%//g')
        grep -q "^\.TH .* \"resource-set-tools $version\"" <<<"$text" ||
            { echo "$page does not carry version $version" >&2; exit 1; }
    fi
    # Every path the page names in the documentation folder is there.
    named=$(grep -o "$doc_named/[A-Za-z0-9_./-]*[A-Za-z0-9_/]" <<<"$text" | sort -u || true)
    [ -n "$named" ] || { echo "$page names no file of $doc_named" >&2; exit 1; }
    while read -r path; do
        [ "$suffix" != .exe ] || path=$prefix/$path
        [ -e "$path" ] || { echo "$page names $path, which is not installed" >&2; exit 1; }
    done <<<"$named"
done

# Relative links of the installed Markdown documents, anchors left out.
while read -r file; do
    while read -r target; do
        target=${target%%#*}
        [ -z "$target" ] || [ -e "$(dirname "$file")/$target" ] ||
            { echo "${file#"$prefix"/} links to $target, which is not installed" >&2; exit 1; }
    done < <(grep -o '](\([^)]*\))' "$file" | sed 's/^](//; s/)$//' | grep -Ev '^[a-z]+:' || true)
done < <(find "$prefix/$doc" -name '*.md')
if [ "$shared" = ON ] && [ "$suffix" != .exe ]; then
    # The shared library exports the resource_set_ functions and nothing
    # else, under its soname.
    so=$prefix/$libdir/libresource_set.so.$version
    objdump -p "$so" | grep -q "SONAME *libresource_set\.so\.${version%%.*}$" || { echo "$so lacks its soname" >&2; exit 1; }
    exports=$(nm -D --defined-only "$so" | awk '$2 == "T" { sub(/@.*/, "", $3); print $3 }' | grep -v '^resource_set_' || true)
    [ -z "$exports" ] || { echo "$so exports more than resource_set_: $exports" >&2; exit 1; }
    # Each adapter its own functions alone: resource_set_physfs_,
    # resource_set_rwops.
    for adapter in "${adapters[@]}"; do
        so=$prefix/$libdir/libresource_set_$adapter.so.$version
        objdump -p "$so" | grep -q "SONAME *libresource_set_$adapter\.so\.${version%%.*}$" ||
            { echo "$so lacks its soname" >&2; exit 1; }
        exports=$(nm -D --defined-only "$so" | awk '$2 == "T" { sub(/@.*/, "", $3); print $3 }' |
            grep -Ev '^resource_set_(physfs_|rwops)' || true)
        [ -z "$exports" ] || { echo "$so exports more than its own functions: $exports" >&2; exit 1; }
    done
fi
# A C program links the installed library, static and, where there is one,
# shared, through CMake and through pkg-config, with no flag of its own, and
# with the build's C compiler.  Not for a cross build, whose programs do not
# run here, nor for one made with a sanitizer, whose C++ runtime only a C++
# link brings in.
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
c_compiler=$(cache CMAKE_C_COMPILER)
if [ "$suffix" != .exe ] && [ -z "$(cache CMAKE_TOOLCHAIN_FILE)" ] && [[ "$(cache CMAKE_C_FLAGS)" != *-fsanitize* ]]; then
    loader=$prefix.loader
    trap 'rm -rf "$prefix" "$prefix.list" "$prefix.expected" "$loader"' EXIT
    mkdir -p "$loader"
    # A set of one entry, a.res, whose payload is xyz.
    {
        printf '0TSR\0\0\0\0\1\0\0\0\1\0\0\0\127\0\0\0a.res'
        head -c 39 /dev/zero
        printf '\3'
        head -c 15 /dev/zero
        printf '!IGMxyz'
    } >"$loader/a.set"
    for static in OFF ON; do
        cmake -S "$prefix/$doc/examples/loader" -B "$loader/cmake-$static" -DCMAKE_PREFIX_PATH="$prefix" \
            -DCMAKE_C_COMPILER="$c_compiler" \
            -DRESOURCE_SET_STATIC=$static >/dev/null
        cmake --build "$loader/cmake-$static" >"$loader/log" 2>&1 ||
            { cat "$loader/log" >&2; echo "the loader example does not link (RESOURCE_SET_STATIC=$static)" >&2; exit 1; }
        [ "$("$loader/cmake-$static/load" "$loader/a.set" a.res)" = xyz ] ||
            { echo "the loader example does not load a.res (RESOURCE_SET_STATIC=$static)" >&2; exit 1; }
    done
    # The C++ example, through the installed resource_set.hpp and CMake.
    cmake -S "$prefix/$doc/examples/cpp" -B "$loader/cpp" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_CXX_COMPILER="$(cache CMAKE_CXX_COMPILER)" >/dev/null
    cmake --build "$loader/cpp" >"$loader/log" 2>&1 ||
        { cat "$loader/log" >&2; echo "the C++ example does not build against the installed library" >&2; exit 1; }
    LD_LIBRARY_PATH=$prefix/$libdir "$loader/cpp/show" "$loader/a.set" a.res "$loader/a.out" &&
        [ "$(cat "$loader/a.out")" = xyz ] ||
        { echo "the C++ example does not load a.res" >&2; exit 1; }
    flags=$(PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig pkg-config --cflags --libs resource-set)
    # shellcheck disable=SC2086 # the flags are words
    "$c_compiler" -o "$loader/load-pc" "$prefix/$doc/examples/loader/load.c" $flags 2>"$loader/log" ||
        { cat "$loader/log" >&2; echo "load.c does not link with pkg-config --libs resource-set" >&2; exit 1; }
    [ "$(LD_LIBRARY_PATH=$prefix/$libdir "$loader/load-pc" "$loader/a.set" a.res)" = xyz ] ||
        { echo "load.c linked by pkg-config does not load a.res" >&2; exit 1; }
    if [[ " ${adapters[*]} " == *" physfs "* ]]; then
        # The PhysicsFS example, through CMake, on a set the installed
        # vashpak packs and a mod folder over it whose greeting.res shadows
        # the set's.
        mkdir -p "$loader/game/maps" "$loader/mods"
        cp "$prefix/$doc/examples/greeting.res" "$loader/game/"
        cp "$prefix/$doc/examples/palette.res" "$loader/game/maps/"
        (cd "$loader/game" && "$prefix/bin/vashpak" ../game.set greeting.res maps/palette.res >/dev/null)
        printf 'modded' >"$loader/mods/greeting.res"
        cmake -S "$prefix/$doc/examples/physfs" -B "$loader/physfs" -DCMAKE_PREFIX_PATH="$prefix" \
            -DCMAKE_C_COMPILER="$c_compiler" >/dev/null
        cmake --build "$loader/physfs" >"$loader/log" 2>&1 ||
            { cat "$loader/log" >&2; echo "the PhysicsFS example does not build against the installed tree" >&2; exit 1; }
        mount=$loader/physfs/mount
        LD_LIBRARY_PATH=$prefix/$libdir "$mount" "$loader/game.set" "$loader/mods" maps/palette.res \
            >"$loader/palette.out" 2>"$loader/tree" ||
            { cat "$loader/tree" >&2; echo "the PhysicsFS example does not read maps/palette.res" >&2; exit 1; }
        LD_LIBRARY_PATH=$prefix/$libdir "$loader/cmake-OFF/load" "$loader/game.set" maps/palette.res >"$loader/palette.set"
        cmp -s "$loader/palette.out" "$loader/palette.set" ||
            { echo "the PhysicsFS example reads other bytes than the library" >&2; exit 1; }
        grep -qx 'maps/' "$loader/tree" || { echo "the PhysicsFS example lists no folder maps" >&2; exit 1; }
        [ "$(LD_LIBRARY_PATH=$prefix/$libdir "$mount" "$loader/game.set" "$loader/mods" greeting.res 2>/dev/null)" = modded ] ||
            { echo "the mod folder does not shadow the set in the PhysicsFS example" >&2; exit 1; }
    fi
fi
echo "installed: ${expected[*]}"
