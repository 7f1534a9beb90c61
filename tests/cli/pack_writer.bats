#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# The set writer: bodies of every size come out whole and in order.

load helpers

@test "bodies around multiples of 4096 bytes and of the 1 MiB copy buffer are copied whole" {
    mib=$((1024 * 1024))
    mkres b4096.res $((4096 - 8))
    mkres b4097.res $((4097 - 8))
    mkres big1.res $((3 * mib - 8))
    mkres big2.res $((mib + 1))
    mkres small.res 17
    vashpak out.set b4096.res b4097.res small.res big1.res '!discard' big2.res
    expect_success
    expected_set "$OUT/expected" b4096.res b4097.res small.res big1.res '!discard' big2.res
    expect_same_bytes out.set "$OUT/expected"
}

@test "an existing output is truncated, not appended to" {
    mkres a.res 3
    head -c 100000 /dev/zero >out.set
    vashpak out.set a.res
    expect_success
    expected_set "$OUT/expected" a.res
    expect_same_bytes out.set "$OUT/expected"
}

@test "absolute names are stored and read as given" {
    mkdir d
    mkres d/r.res 12
    abs="$(pwd)/d/r.res"
    if [ ${#abs} -gt 32 ]; then
        # Reach the file through a short absolute path of our own.
        link=$(mktemp -u /tmp/vpXXXXXX)
        ln -s "$(pwd)/d" "$link"
        abs=$link/r.res
    fi
    vashpak out.set "$abs"
    expected_set "$OUT/expected" "$abs"
    [ -z "${link:-}" ] || rm -f "$link"
    expect_success
    expect_same_bytes out.set "$OUT/expected"
}
