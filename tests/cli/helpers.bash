# SPDX-License-Identifier: MIT
# Shared by the black-box suites.  Each case runs the real programs in a fresh
# folder; VASHPAK and TARNVEX name the programs and EXEC_PREFIX, when set, the
# runner in front of them (wine, qemu-...).

setup() {
    : "${VASHPAK:?set VASHPAK to the path of the vashpak program}"
    WORK="$BATS_TEST_TMPDIR/work"
    OUT="$BATS_TEST_TMPDIR/captured"
    mkdir -p "$WORK" "$OUT"
    cd "$WORK"
}

# Runs vashpak with the given arguments; keeps its status in $status and its
# output streams in files.
vashpak() {
    status=0
    # shellcheck disable=SC2086 # the prefix may be several words
    ${EXEC_PREFIX:-} "$VASHPAK" "$@" >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
}

# Runs tarnvex the same way.
tarnvex() {
    : "${TARNVEX:?set TARNVEX to the path of the tarnvex program}"
    status=0
    # shellcheck disable=SC2086 # the prefix may be several words
    ${EXEC_PREFIX:-} "$TARNVEX" "$@" >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
}

# Shows expected and actual text byte by byte when they differ.
compare_text() {
    local what=$1 expected=$2 actual_file=$3
    printf '%s' "$expected" >"$OUT/expected_text"
    if ! cmp -s "$OUT/expected_text" "$actual_file"; then
        {
            echo "$what differs"
            echo "--- expected"
            od -c "$OUT/expected_text"
            echo "--- actual"
            od -c "$actual_file"
        } >&2
        return 1
    fi
}

expect_status() {
    if [ "$status" -ne "$1" ]; then
        echo "exit status $status, expected $1" >&2
        echo "stdout:" >&2
        head -c 4000 "$OUT/stdout" >&2
        echo "stderr:" >&2
        head -c 4000 "$OUT/stderr" >&2
        return 1
    fi
}

# feed FIFO COMMAND...: runs COMMAND in the background with its output going
# into FIFO; a writer nobody reads from gives up after a while.
feed() {
    local fifo=$1
    shift
    # shellcheck disable=SC2016 # expanded by the inner shell
    timeout 20 bash -c '"${@:2}" >"$1"' feed "$fifo" "$@" &
    FEEDER=$!
}

# Holds the programs run from here on to file permission bits, which do not
# bind root: as root they run without the capabilities that override them.
permissions_bind() {
    [ "$(id -u)" = 0 ] || return 0
    ! on_windows || skip "wine's server opens files for root"
    command -v setpriv >/dev/null || skip "no setpriv to run without root's override"
    EXEC_PREFIX="setpriv --bounding-set=-dac_override,-dac_read_search ${EXEC_PREFIX:-}"
}

# True when the programs were built for Windows (and run under wine here).
on_windows() {
    [ "${TARGET_OS:-}" = Windows ]
}

# Lines the programs write to a text stream (standard output and error,
# reslist.txt) end in CR LF on Windows, where those streams translate "\n",
# and in LF everywhere else.
if on_windows; then
    EOL=$'\r\n'
else
    EOL=$'\n'
fi

# lines_of LINE...: sets TEXT to the lines, each ending as the programs end
# their text lines.
lines_of() {
    local line
    TEXT=""
    for line in "$@"; do
        TEXT+="$line$EOL"
    done
}

# expect_lines WHAT FILE LINE...: FILE holds exactly these lines; no line
# means an empty file.
expect_lines() {
    local what=$1 file=$2
    shift 2
    lines_of "$@"
    compare_text "$what" "$TEXT" "$file"
}

expect_stderr() {
    expect_lines stderr "$OUT/stderr" "$@"
}

expect_stdout() {
    expect_lines stdout "$OUT/stdout" "$@"
}

# The listfile tarnvex leaves: the given names, one per line.
expect_reslist() {
    expect_lines reslist.txt reslist.txt "$@"
}

# expect_full_report FILES BYTES LINE...: standard output is LINE... and
# then the report of a run that went through.
expect_full_report() {
    local files=$1 bytes=$2
    shift 2
    expect_stdout "$@" \
        "--- TarnVex stats ---" \
        "Total output:$files files (${bytes}b)" \
        "Listfile generated as: reslist.txt"
}

expect_no_stdout() {
    compare_text stdout "" "$OUT/stdout"
}

# The outcome of a run that failed on its inputs: status 1, the given lines,
# nothing on standard output, and an output file of zero bytes.
expect_input_failure() {
    local output=$1
    shift
    expect_status 1
    expect_stderr "$@"
    expect_no_stdout
    expect_size "$output" 0
}

# A silent, successful run.
expect_success() {
    expect_status 0
    expect_stderr
    expect_no_stdout
}

expect_size() {
    local size
    size=$(wc -c <"$1")
    if [ "$size" -ne "$2" ]; then
        echo "$1 is $size bytes long, expected $2" >&2
        return 1
    fi
}

expect_same_bytes() {
    if ! cmp "$1" "$2" >&2; then
        echo "--- $1" >&2
        od -A d -t x1 "$1" | head -40 >&2
        echo "--- $2" >&2
        od -A d -t x1 "$2" | head -40 >&2
        return 1
    fi
}

# A small file system of our own to run out of space on; needs root, and the
# case is skipped without it.  teardown unmounts it.
mount_small_tmpfs() {
    [ "$(id -u)" = 0 ] || skip "mounting a tmpfs needs root"
    FULL="$BATS_TEST_TMPDIR/small"
    mkdir -p "$FULL"
    mount -t tmpfs -o size=64k tmpfs "$FULL" 2>/dev/null || skip "cannot mount a tmpfs here"
}

teardown() {
    if [ -n "${FULL:-}" ] && mountpoint -q "$FULL"; then
        cd "$BATS_TEST_TMPDIR"
        umount "$FULL"
    fi
}

# Writes a 32-bit word as four little-endian bytes.
le32() {
    local v=$1
    # shellcheck disable=SC2059 # the format is built from the bytes
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $((v & 255)) $((v >> 8 & 255)) \
        $((v >> 16 & 255)) $((v >> 24 & 255)))"
}

# mkres NAME PAYLOAD_LENGTH [WORD1 [WORD2]]: a resource file with the usual
# body_header and a payload of bytes that vary with the name.
mkres() {
    local name=$1 length=$2 word1=${3:-1} word2=${4:-2}
    {
        printf 0SER
        le32 "$word1"
        le32 "$word2"
        printf '\0\0\0\0!IGM'
        payload "$name" "$length"
    } >"$name"
}

# A 64 KiB file holding every byte value, made once per suite.
pattern_file() {
    PATTERN="$BATS_FILE_TMPDIR/pattern"
    if [ ! -s "$PATTERN" ]; then
        local i escape format=""
        for ((i = 0; i < 256; i++)); do
            printf -v escape '\\%03o' "$i"
            format+=$escape
        done
        # shellcheck disable=SC2059 # the format is the bytes
        printf "$format" >"$PATTERN"
        for ((i = 0; i < 8; i++)); do
            cat "$PATTERN" "$PATTERN" >"$PATTERN.twice"
            mv "$PATTERN.twice" "$PATTERN"
        done
    fi
}

# payload SEED LENGTH: LENGTH reproducible bytes, starting at a point of the
# pattern that depends on SEED, so that different files differ.
payload() {
    local seed=$1 length=$2
    [ "$length" -gt 0 ] || return 0
    pattern_file
    local i code start=0
    for ((i = 0; i < ${#seed}; i++)); do
        printf -v code '%d' "'${seed:i:1}"
        start=$(((start * 31 + code) % 256))
    done
    {
        tail -c +$((start + 1)) "$PATTERN"
        while cat "$PATTERN"; do :; done
    } 2>/dev/null | head -c "$length"
}

# expected_set OUT INPUT...: the set the packer must make of the given inputs,
# resource file names and !discard, computed here independently of it.
expected_set() {
    local out=$1
    shift
    local names=() count=0 total=0 keep_count=-1 keep_total=0 arg
    for arg in "$@"; do
        if [ "$arg" = "!discard" ]; then
            keep_count=$count
            keep_total=$total
        else
            names+=("$arg")
            count=$((count + 1))
            total=$((total + $(wc -c <"$arg") - 12))
        fi
    done
    if [ "$keep_count" -lt 0 ]; then
        keep_count=$count
        keep_total=$total
    fi
    {
        printf 0TSR
        le32 0
        le32 "$count"
        le32 "$keep_count"
        le32 $((20 + 56 * count + keep_total))
        local name
        for name in "${names[@]}"; do
            printf '%s' "$name"
            head -c $((36 - ${#name})) /dev/zero
            head -c 12 "$name" | tail -c 8
            le32 $(($(wc -c <"$name") - 20))
            le32 0
            le32 0
        done
        for name in "${names[@]}"; do
            tail -c +13 "$name"
        done
    } >"$out"
}

# Pieces of hand-made sets, for the extractor's tests.
# set_head COUNT [MAGIC [KEEP_END]]: a set_header; the discard fields, which
# the extractor ignores, say there is no discard point (keep_end 0 unless
# given).
set_head() {
    printf '%s' "${2:-0TSR}"
    le32 0
    le32 "$1"
    le32 "$1"
    le32 "${3:-0}"
}

# toc_entry NAME SIZE [WORD1 [WORD2]]: one table entry; NAME is ASCII, at
# most 36 bytes (36 leaves no terminator).
toc_entry() {
    printf '%s' "$1"
    head -c $((36 - ${#1})) /dev/zero
    le32 "${3:-1}"
    le32 "${4:-2}"
    le32 "$2"
    le32 0
    le32 0
}

# body SEED SIZE: a body with the usual body_header; its payload is what
# `payload SEED SIZE` gives, and so what `mkres SEED SIZE` holds.
body() {
    printf '\0\0\0\0!IGM'
    payload "$1" "$2"
}

# expect_only_files NAME...: the files under the current folder, in
# subfolders and dot files included, are exactly these.
expect_only_files() {
    local expected=""
    if [ $# -gt 0 ]; then
        expected=$(printf '%s\n' "$@" | LC_ALL=C sort -u)$'\n'
    fi
    find . ! -type d | sed 's|^\./||' | LC_ALL=C sort >"$OUT/files"
    compare_text "the files present" "$expected" "$OUT/files"
}

# expect_extracted DIR NAME...: each NAME in the current folder is the same
# file as DIR/NAME.
expect_extracted() {
    local dir=$1 name
    shift
    for name in "$@"; do
        [ -f "$name" ] || { echo "$name was not extracted" >&2; return 1; }
        expect_same_bytes "$name" "$dir/$name"
    done
}

# traced STRACE_ARGUMENT...: strace, with the address space laid out alike on
# every run where the system lets it be.  A sanitizer build's start-up reads
# /proc/self/maps as often as the layout asks, so that otherwise the count of
# calls before the program's own differs now and then from run to run, and
# an injection at the Nth call lands on another.
traced() {
    if setarch "$(uname -m)" -R true 2>/dev/null; then
        setarch "$(uname -m)" -R strace "$@"
    else
        strace "$@"
    fi
}

# openat_number PATTERN COMMAND...: runs COMMAND under strace and prints the
# number, counted from 1, of its first openat call whose line matches
# PATTERN (an awk pattern), for strace's inject=openat:...:when=N; nothing
# when none does.  The calls come in the same order on every run of the same
# command in the same state.
openat_number() {
    local pattern=$1
    shift
    traced -o "$OUT/openat.log" -e trace=openat "$@" >/dev/null 2>&1 || true
    awk -v pattern="$pattern" '/^openat\(/ { n++ } $0 ~ pattern { print n; exit }' "$OUT/openat.log"
}

# Skips a case that traces the programs' system calls where that cannot be
# done: without strace, or with a runner in front of the program.
need_strace() {
    [ -z "${EXEC_PREFIX:-}" ] || skip "strace would trace the runner"
    command -v strace >/dev/null || skip "no strace"
    strace -o /dev/null true 2>/dev/null || skip "strace cannot trace here"
    # LeakSanitizer, in a sanitizer build, cannot run under ptrace.
    export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
}
