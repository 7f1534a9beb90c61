#!/usr/bin/env bash
# Installs a build into a fresh temporary prefix and checks that it holds the
# programs, both manual pages and the format guide, and nothing of the tests.
# Usage: check_install.sh BUILD_DIR [EXE_SUFFIX]
set -euo pipefail
build=$1
suffix=${2:-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
expected=(
    "bin/vashpak$suffix"
    "bin/tarnvex$suffix"
    share/doc/resource-set-tools/format.md
    share/man/man1/tarnvex.1
    share/man/man1/vashpak.1
)
(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$prefix.list"
printf '%s\n' "${expected[@]}" | LC_ALL=C sort >"$prefix.expected"
if ! diff -u "$prefix.expected" "$prefix.list"; then
    echo "the installed files differ from the expected ones" >&2
    rm -f "$prefix.list" "$prefix.expected"
    exit 1
fi
rm -f "$prefix.list" "$prefix.expected"
for program in vashpak tarnvex; do
    [ -x "$prefix/bin/$program$suffix" ] || { echo "bin/$program$suffix is not executable" >&2; exit 1; }
done
echo "installed: ${expected[*]}"
