#!/usr/bin/env bash
# Installs a build into a fresh temporary prefix and checks that it holds the
# programs, both manual pages with the version filled in, the format guide
# and, but for Windows builds, the bash completion; nothing of the tests.
# Usage: check_install.sh BUILD_DIR VERSION [EXE_SUFFIX]
set -euo pipefail
build=$1
version=$2
suffix=${3:-}
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
[ "$suffix" = .exe ] || expected+=(share/bash-completion/completions/tarnvex share/bash-completion/completions/vashpak)
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
    grep -q "^\.TH .* \"resource-set-tools $version\"" "$prefix/share/man/man1/$program.1" ||
        { echo "share/man/man1/$program.1 does not carry version $version" >&2; exit 1; }
done
echo "installed: ${expected[*]}"
