#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The packages, as CI checks them (as root, on Debian, with lintian):
#  - the three .deb packages pass lintian with no error or warning, install
#    with dpkg, their programs make a round trip, the loader example builds
#    against them both through find_package and through pkg-config and loads
#    what tarnvex extracts, and they remove cleanly;
#  - the Windows zip holds the programs, the documents, the header, the DLL
#    with its import library and the static library, and a C program links
#    both and loads a set under wine (check_windows_loaders.sh);
#  - the adapters' packages, for each adapter the build found the library of
#    (libresource-set-physfs1, libresource-set-physfs-dev, and the same for
#    sdl), pass lintian and install with the others; the PhysicsFS example
#    builds against them through find_package and through pkg-config and
#    reads every file of a set as the loader does;
#  - the source package holds no build folder and no .git.
# Usage: check_packages.sh SOURCE_DIR BUILD_DIR WINDOWS_BUILD_DIR
set -euo pipefail
source_dir=$(realpath "$1")
build=$(realpath "$2")
windows=$(realpath "$3")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "check_packages: $*" >&2
    exit 1
}

rm -f "$build"/*.deb "$windows"/resource-set-tools-*.zip "$build"/resource-set-tools-*.tar.gz
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/resource-set-tools_*.deb "$build"/libresource-set1_*.deb "$build"/libresource-set-dev_*.deb)
read -r -a adapters <"$build/adapters/built" || adapters=()
adapter_packages=()
for adapter in "${adapters[@]}"; do
    debs+=("$build"/libresource-set-"$adapter"1_*.deb "$build"/libresource-set-"$adapter"-dev_*.deb)
    adapter_packages+=("libresource-set-$adapter-dev" "libresource-set-${adapter}1")
done
for deb in "${debs[@]}"; do
    [ -f "$deb" ] || fail "no package $deb"
    lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian finds fault with $deb"
done
dpkg -i "${debs[@]}" >/dev/null

# The programs: pack, extract, pack again.
cp "$source_dir"/examples/*.res "$scratch"/
(
    cd "$scratch"
    /usr/bin/vashpak game.set credits.res greeting.res '!discard' level1.res
    mkdir out && cd out
    /usr/bin/tarnvex ../game.set >/dev/null
    /usr/bin/vashpak ../again.set @reslist.txt
    for name in credits.res greeting.res level1.res; do cmp "$name" "../$name"; done
)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
for file in /usr/share/man/man1/vashpak.1.gz /usr/share/man/man1/tarnvex.1.gz /usr/share/man/man3/resource_set.3.gz \
    /usr/share/man/man3/resource_set_cpp.3.gz /usr/include/resource_set.hpp \
    /usr/share/doc/resource-set-tools/copyright /usr/share/doc/resource-set-tools/changelog.gz \
    /usr/share/doc/resource-set-tools/docs/format.md /usr/include/resource_set.h \
    "/usr/lib/$multiarch/libresource_set.so.1" "/usr/lib/$multiarch/libresource_set.a" \
    /usr/share/bash-completion/completions/vashpak /usr/share/bash-completion/completions/tarnvex; do
    [ -e "$file" ] || fail "the packages did not install $file"
done

# The loader example, built against the installed library twice, gives the
# payload of what tarnvex extracted: the file less its 20-byte header.
cmake -S "$source_dir/examples/loader" -B "$scratch/loader" >/dev/null
cmake --build "$scratch/loader" >/dev/null
# shellcheck disable=SC2046 # pkg-config's words are the compiler's arguments
cc -std=c99 -Wall -Wextra -Werror -o "$scratch/load_pc" "$source_dir/examples/loader/load.c" \
    $(pkg-config --cflags --libs resource-set)
for name in credits.res greeting.res level1.res; do
    tail -c +21 "$scratch/out/$name" >"$scratch/expected"
    for loader in "$scratch/loader/load" "$scratch/load_pc"; do
        "$loader" "$scratch/game.set" "$name" | cmp - "$scratch/expected" ||
            fail "$loader does not load $name as tarnvex extracts it"
    done
done
# And the C++ example, C++17, through the installed resource_set.hpp.
cmake -S "$source_dir/examples/cpp" -B "$scratch/cpp" >/dev/null
cmake --build "$scratch/cpp" >/dev/null
"$scratch/cpp/show" "$scratch/game.set" credits.res "$scratch/credits.payload" &&
    tail -c +21 "$scratch/out/credits.res" | cmp - "$scratch/credits.payload" ||
    fail "the C++ example does not load credits.res as tarnvex extracts it"
if "$scratch/load_pc" "$scratch/out/reslist.txt" credits.res 2>/dev/null; then
    fail "the loader took a listfile for a set"
fi

if [[ " ${adapters[*]} " == *" physfs "* ]]; then
    # The PhysicsFS example, through CMake and pkg-config, reads each file of
    # game.set as the loader does, and lists the set's tree.
    cmake -S "$source_dir/examples/physfs" -B "$scratch/physfs" >/dev/null
    cmake --build "$scratch/physfs" >/dev/null
    # shellcheck disable=SC2046 # pkg-config's words are the compiler's arguments
    cc -std=c99 -Wall -Wextra -Werror -o "$scratch/mount_pc" "$source_dir/examples/physfs/mount.c" \
        $(pkg-config --cflags --libs resource-set-physfs)
    mkdir -p "$scratch/no-mods"
    for name in credits.res greeting.res level1.res; do
        for mount in "$scratch/physfs/mount" "$scratch/mount_pc"; do
            "$mount" "$scratch/game.set" "$scratch/no-mods" "$name" 2>"$scratch/tree" |
                cmp - <("$scratch/load_pc" "$scratch/game.set" "$name") ||
                fail "$mount does not read $name as the loader does"
            grep -q "^$name " "$scratch/tree" || fail "$mount does not list $name"
        done
    done
fi

dpkg -r "${adapter_packages[@]}" libresource-set-dev libresource-set1 resource-set-tools >/dev/null
for file in /usr/bin/vashpak /usr/bin/tarnvex /usr/include/resource_set.h "/usr/lib/$multiarch/libresource_set.so.1"; do
    [ ! -e "$file" ] || fail "removing the packages left $file"
done

# The Python module's package, on its own.
bash "$source_dir/tests/install/check_python_package.sh" "$source_dir" "$build"

(cd "$windows" && cpack -G ZIP >/dev/null)
unzip -Z1 "$windows"/resource-set-tools-*.zip | sed 's|^[^/]*/||' | grep -v '/$' | LC_ALL=C sort >"$scratch/zip.list"
doc=share/doc/resource-set-tools
{
    printf '%s\n' bin/tarnvex.exe bin/vashpak.exe bin/resource_set.dll $doc/manual/tarnvex.txt $doc/manual/vashpak.txt \
        $doc/manual/resource_set.txt $doc/manual/resource_set_cpp.txt include/resource_set.h include/resource_set.hpp \
        lib/libresource_set.a lib/libresource_set.dll.a lib/pkgconfig/resource-set.pc \
        $doc/examples/cpp/show.cpp $doc/examples/cpp/CMakeLists.txt \
        lib/cmake/ResourceSet/ResourceSetConfig.cmake lib/cmake/ResourceSet/ResourceSetConfigVersion.cmake \
        lib/cmake/ResourceSet/ResourceSetTargets.cmake lib/cmake/ResourceSet/ResourceSetTargets-release.cmake \
        $doc/README.md $doc/NEWS $doc/copyright $doc/docs/format.md $doc/docs/performance.md \
        $doc/examples/resources.lst $doc/examples/loader/load.c $doc/examples/loader/CMakeLists.txt \
        $doc/examples/physfs/mount.c $doc/examples/physfs/CMakeLists.txt
    printf "$doc/examples/%s.res\n" credits empty greeting level1 palette
} | LC_ALL=C sort | diff -u - "$scratch/zip.list" || fail "the Windows zip holds other files than these"
# Its manual pages are text a Windows user reads in any editor: rendered,
# no roff left.
for page in vashpak tarnvex resource_set resource_set_cpp; do
    unzip -p "$windows"/resource-set-tools-*.zip "*/$doc/manual/$page.txt" | tr -d '\r' >"$scratch/$page.txt"
    if ! grep -q '^NAME' "$scratch/$page.txt" || grep -qE '^\.[A-Za-z]|\\f[BIRP(\[]' "$scratch/$page.txt"; then
        fail "the zip's $page.txt is not a rendered manual page"
    fi
done
bash "$source_dir/tests/install/check_windows_loaders.sh" "$source_dir" "$windows"/resource-set-tools-*.zip

(cd "$build" && cpack --config CPackSourceConfig.cmake >/dev/null)
tar -tzf "$build"/resource-set-tools-*.tar.gz >"$scratch/source.list"
if grep -E '/(build[^/]*|\.git|_CPack_Packages)(/|$)' "$scratch/source.list"; then
    fail "the source package holds the files above"
fi
echo "check_packages: $(basename -a "${debs[@]}" | xargs) pass lintian and work; the zip and the source package hold what they should"
