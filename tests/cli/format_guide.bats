#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# docs/format.md against the programs.  The guide's example is packed and
# extracted again with the very commands the guide shows, and its dumps,
# the listing and the record diagrams must agree with the bytes the real
# programs make, so that the guide cannot drift from the tools.  Its printf
# recipes for resource files must make what vashpak --wrap makes.
#
# The guide marks what is checked with HTML comments, which do not show
# when it is rendered:
#   <!-- example WHAT -->   ... <!-- /example -->  commands, run here as written
#   <!-- dump FILE -->      ... <!-- /dump -->     od -A d -t x1 output of FILE
#   <!-- fields FILE -->    ... <!-- /fields -->   FILE one field to a line
#   <!-- output tarnvex --> ... <!-- /output -->   what tarnvex prints
#   <!-- record NAME -->    ... <!-- /record -->   a record's diagram

load helpers

GUIDE="$BATS_TEST_DIRNAME/../../docs/format.md"

# guide_block KIND [WHAT]: the lines between "<!-- KIND WHAT -->" and
# "<!-- /KIND -->", code fences left out.  Fails when the guide has no such
# block or the block is empty.
guide_block() {
    local open="<!-- $1${2:+ $2} -->" close="<!-- /$1 -->"
    awk -v start="$open" -v stop="$close" '
        $0 == start { inside = 1; found = 1; next }
        $0 == stop { inside = 0; next }
        inside && !/^```/ { print; lines++ }
        END { exit (found && lines > 0) ? 0 : 1 }' "$GUIDE" || {
        echo "docs/format.md has no block \"$open\"" >&2
        return 1
    }
}

# run_example WHAT: runs the commands of the guide's "example WHAT" block
# here, vashpak and tarnvex being the helpers that run the real programs.
run_example() {
    local commands
    commands=$(guide_block example "$1") || return 1
    eval "$commands"
}

# dump_to_file KIND WHAT FILE: writes to FILE the bytes of the guide's dump
# block "KIND WHAT".  A dump line is a decimal offset, hex bytes, then any
# note; lines that do not start with a number (headings, rules) are skipped.
# Fails when an offset is not the number of bytes before it, or when a
# 4-byte field's note says "= N" and N is not the little-endian word its
# bytes hold.
dump_to_file() {
    local text hex
    text=$(guide_block "$1" "$2") || return 1
    hex=$(awk '
        function digit(c) { return index("0123456789abcdef", tolower(c)) - 1 }
        function byte(h) { return digit(substr(h, 1, 1)) * 16 + digit(substr(h, 2, 1)) }
        $1 !~ /^[0-9]+$/ { next }
        {
            if ($1 + 0 != total) {
                printf "dump line \"%s\": offset %d, but %d bytes come before it\n", $0, $1, total > "/dev/stderr"
                bad = 1
            }
            n = 0
            value = 0
            for (i = 2; i <= NF && $i ~ /^[0-9a-fA-F][0-9a-fA-F]$/; i++) {
                value += byte($i) * 256 ^ n
                n++
                printf "%s", $i
            }
            total += n
            note = ""
            for (; i <= NF; i++) note = note " " $i
            if (n == 4 && match(note, /= [0-9]+/)) {
                stated = substr(note, RSTART + 2, RLENGTH - 2) + 0
                if (stated != value) {
                    printf "dump line \"%s\": the bytes hold %d\n", $0, value > "/dev/stderr"
                    bad = 1
                }
            }
        }
        END { exit bad }' <<<"$text") || return 1
    local i escaped=""
    for ((i = 0; i < ${#hex}; i += 2)); do
        escaped+="\\x${hex:i:2}"
    done
    # shellcheck disable=SC2059 # the format is the bytes
    printf "$escaped" >"$3"
}

# hex_at FILE OFFSET LENGTH: those bytes of FILE as lowercase hex digits.
hex_at() {
    od -An -v -t x1 -j "$2" -N "$3" "$1" | tr -d ' \n'
}

# expect_word FILE OFFSET VALUE WHAT: the little-endian word at OFFSET.
expect_word() {
    local h
    h=$(hex_at "$1" "$2" 4)
    if [ "${#h}" -ne 8 ] || [ $((16#${h:6:2}${h:4:2}${h:2:2}${h:0:2})) -ne "$3" ]; then
        echo "$4: the word at $2 of $1 is '$h', expected $3" >&2
        return 1
    fi
}

expect_hex() {
    if [ "$2" != "$3" ]; then
        echo "$1: '$2', expected '$3'" >&2
        return 1
    fi
}

# load_layouts: reads every record diagram of the guide into AT, the offset
# of each RECORD.FIELD, and SIZE, the length of each RECORD.  A diagram's
# " offset" line gives where each field starts and then where the record
# ends; its "|" line names the fields in order.  Every field but a name is
# one 32-bit word, so it must span 4 bytes.
load_layouts() {
    declare -gA AT=() SIZE=()
    local record text line cell cells i offsets fields
    for record in resource_header body_header set_header toc_entry; do
        text=$(guide_block record "$record") || return 1
        offsets=() fields=()
        while IFS= read -r line; do
            case $line in
            " offset "*)
                read -r -a offsets <<<"${line# offset }"
                ;;
            *"|"*)
                IFS='|' read -r -a cells <<<"$line"
                for cell in "${cells[@]:1}"; do
                    read -r cell _ <<<"$cell"
                    [ -z "$cell" ] || fields+=("$cell")
                done
                ;;
            esac
        done <<<"$text"
        if [ "${#offsets[@]}" -ne $((${#fields[@]} + 1)) ] || [ "${offsets[0]:-}" != 0 ]; then
            echo "the $record diagram: offsets '${offsets[*]}' for fields '${fields[*]}'" >&2
            return 1
        fi
        for ((i = 0; i < ${#fields[@]}; i++)); do
            if [ "${fields[i]}" != name ] && [ $((offsets[i + 1] - offsets[i])) -ne 4 ]; then
                echo "the $record diagram: ${fields[i]} spans ${offsets[i]} to ${offsets[i + 1]}, not 4 bytes" >&2
                return 1
            fi
            AT[$record.${fields[i]}]=${offsets[i]}
        done
        SIZE[$record]=${offsets[i]}
    done
}

@test "the guide's example packs to the bytes its dumps show" {
    run_example pack
    expect_success
    dump_to_file dump demo.set "$OUT/dumped.set"
    expect_same_bytes demo.set "$OUT/dumped.set"
    dump_to_file fields demo.set "$OUT/fields.set"
    expect_same_bytes demo.set "$OUT/fields.set"
}

@test "the guide's empty set is the one the packer makes" {
    run_example empty
    expect_success
    dump_to_file dump empty.set "$OUT/dumped.set"
    expect_same_bytes empty.set "$OUT/dumped.set"
}

@test "the guide's example extracts to the listing and the file it shows" {
    run_example pack
    expect_success
    run_example extract
    expect_status 0
    expect_stderr
    local text lines
    text=$(guide_block output tarnvex)
    mapfile -t lines <<<"$text"
    expect_stdout "${lines[@]}"
    expect_reslist a.res b.res
    expect_same_bytes "$WORK/out/a.res" "$WORK/a.res"
    dump_to_file dump out/b.res "$OUT/b.res"
    expect_same_bytes "$WORK/out/b.res" "$OUT/b.res"
}

@test "the guide's printf recipes make the resource files vashpak --wrap makes" {
    local length
    # Every byte value in the payload, NUL, % and \ included; then none.
    for length in 600 0; do
        rm -f ./*.res ./*.bin
        payload recipe "$length" >payload.bin
        cp payload.bin original.bin
        run_example recipe
        expect_size payload.res $((length + 20))
        vashpak --wrap payload.bin wrapped.res 1 2
        expect_success
        expect_same_bytes payload.res wrapped.res
        run_example recipe-words
        vashpak --wrap payload.bin words-wrapped.res 772 0xFFFFFFFF
        expect_success
        expect_same_bytes words.res words-wrapped.res
        # The recipes are portable: dash's printf gives the same bytes.
        if command -v dash >/dev/null; then
            mv payload.res bash.res
            (cd "$WORK" && dash -c "$(guide_block example recipe)")
            expect_same_bytes payload.res bash.res
        fi
        # The payload back, over the file it came from.
        tarnvex --unwrap payload.res payload.bin
        expect_success
        expect_same_bytes payload.bin original.bin
    done
}

@test "the record diagrams give the offsets and lengths of the example's bytes" {
    load_layouts
    run_example pack
    expect_success
    local header=${SIZE[set_header]} entry=${SIZE[toc_entry]}
    local resource=${SIZE[resource_header]} body_head=${SIZE[body_header]}
    local names=(a.res b.res) lengths=() name at i body name_field

    # The set's length, and where the bodies it keeps end.
    lengths=("$(wc -c <a.res)" "$(wc -c <b.res)")
    expect_size demo.set $((header + 2 * entry + lengths[0] - resource + lengths[1] - resource))
    expect_hex "set magic" "$(hex_at demo.set "${AT[set_header.magic]}" 4)" 30545352
    expect_word demo.set "${AT[set_header.reserved]}" 0 "set reserved"
    expect_word demo.set "${AT[set_header.count]}" 2 count
    expect_word demo.set "${AT[set_header.keep_count]}" 1 keep_count
    expect_word demo.set "${AT[set_header.keep_end]}" $((header + 2 * entry + lengths[0] - resource)) keep_end

    body=$((header + 2 * entry))
    name_field=$((${AT[toc_entry.word1]} - ${AT[toc_entry.name]}))
    for i in 0 1; do
        name=${names[i]}
        at=$((header + entry * i))
        expect_hex "$name magic" "$(hex_at "$name" "${AT[resource_header.magic]}" 4)" 30534552
        expect_hex "$name entry name" "$(hex_at demo.set "$((at + ${AT[toc_entry.name]}))" "$name_field")" \
            "$({ printf '%s' "$name"; head -c $((name_field - ${#name})) /dev/zero; } | od -An -v -t x1 | tr -d ' \n')"
        expect_hex "$name word1" "$(hex_at demo.set "$((at + ${AT[toc_entry.word1]}))" 4)" \
            "$(hex_at "$name" "${AT[resource_header.word1]}" 4)"
        expect_hex "$name word2" "$(hex_at demo.set "$((at + ${AT[toc_entry.word2]}))" 4)" \
            "$(hex_at "$name" "${AT[resource_header.word2]}" 4)"
        expect_word demo.set "$((at + ${AT[toc_entry.size]}))" $((lengths[i] - resource - body_head)) "$name size"
        expect_word demo.set "$((at + ${AT[toc_entry.reserved1]}))" 0 "$name reserved1"
        expect_word demo.set "$((at + ${AT[toc_entry.reserved2]}))" 0 "$name reserved2"
        expect_hex "$name body" "$(hex_at demo.set "$body" $((lengths[i] - resource)))" \
            "$(hex_at "$name" "$resource" $((lengths[i] - resource)))"
        body=$((body + lengths[i] - resource))
    done
}
