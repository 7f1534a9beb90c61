#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Python module's package, as CI checks it (as root, on Debian, with
# lintian), once cpack -G DEB has made it in the build folder:
#  - python3-resource-set passes lintian with no error or warning and
#    depends on python3;
#  - it installs with dpkg; the system's python3, isolated from the
#    environment and the working folder, imports the module from the
#    system's Python folder, with the package's version, packs the sample
#    resources with it, reads them back and checks the set;
#  - it removes cleanly.
# Usage: check_python_package.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(realpath "$1")
build=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "check_python_package: $*" >&2
    exit 1
}

package=python3-resource-set
debs=("$build"/"$package"_*.deb)
[ -f "${debs[0]}" ] || fail "no package $build/${package}_*.deb (is the Python module built?)"
[ "${#debs[@]}" -eq 1 ] || fail "more than one package: ${debs[*]}"
deb=${debs[0]}
lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian finds fault with $deb"
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" =~ (^|, )python3\ \(\>=\ 3\.[0-9]+\) ]] || fail "$deb does not depend on python3: $depends"
[ "$(dpkg-deb -f "$deb" Section)" = python ] || fail "$deb is not in the section python"
version=$(dpkg-deb -f "$deb" Version)

dpkg -i "$deb" >/dev/null
folder=/usr/lib/python3/dist-packages
for file in "$folder/resource_set.abi3.so" "$folder/resource_set.pyi" /usr/share/man/man3/resource_set_python.3.gz \
    "/usr/share/doc/$package/copyright" "/usr/share/doc/$package/changelog.gz"; do
    [ -e "$file" ] || fail "the package did not install $file"
done
page=/usr/share/man/man3/resource_set_python.3.gz
gzip -dc "$page" | grep -q "^\.TH RESOURCE_SET_PYTHON 3 .* \"resource-set-tools $version\"" ||
    fail "the manual page does not carry version $version"

cp "$source_dir"/examples/*.res "$scratch"/
# The module packs the sample resources and reads them back.
check_module=$(
    cat <<'EOF'
import glob
import sys

import resource_set

version, where = sys.argv[1:]
assert resource_set.__file__ == where, resource_set.__file__
assert resource_set.version() == version, resource_set.version()
names = sorted(glob.glob("*.res"))
with resource_set.Writer("game.set") as writer:
    for name in names:
        writer.add_file(name, name)
with resource_set.open("game.set") as s:
    assert [entry.text_name for entry in s] == names
    for entry in s:
        with open(entry.text_name, "rb") as resource:
            assert s.read(entry) == resource.read()[20:], entry
assert resource_set.check("game.set") == []
EOF
)
# -I: neither PYTHONPATH nor the working folder is looked in.
(cd "$scratch" && /usr/bin/python3 -I -c "$check_module" "$version" "$folder/resource_set.abi3.so") ||
    fail "the installed module does not work"

dpkg -r "$package" >/dev/null
for file in "$folder/resource_set.abi3.so" "$folder/resource_set.pyi" /usr/share/man/man3/resource_set_python.3.gz; do
    [ ! -e "$file" ] || fail "removing the package left $file"
done
echo "check_python_package: $(basename "$deb") passes lintian and works"
