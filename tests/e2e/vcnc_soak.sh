#!/usr/bin/env bash
# Over 100 MB of real G-code (the benchmark's sliced bunny) into the virtual
# controller at 4 Mbaud, with thousands of holds: whole lines into a room
# larger than the longest line, and pieces of 8 into a room of 10; each once on
# an idle machine and once with a busy loop on every core. Every run must
# arrive byte for byte with no overflow; the controller's own lateness is
# shown beside it. Takes about half an hour.
#   vcnc_soak.sh PATH-TO-sermida-cli [DATA-DIR]
# SOAK_BYTES (100000000) sets the size; SOAK_CASES=REGEX picks runs by name.
set -u
cli=${1:?usage: vcnc_soak.sh PATH-TO-sermida-cli [DATA-DIR]}
data=${2:-${SERMIDA_BENCH_DATA:-$HOME/.cache/sermida-bench}}
bunny=$data/bunny.gcode
[[ -s $bunny ]] || { echo "no $bunny: run bench/fetch-data first" >&2; exit 2; }
work=$(mktemp -d /tmp/sermida-soak.XXXXXX)
busy=()
stop_busy() {
    ((${#busy[@]})) && kill "${busy[@]}" 2>/dev/null
    wait "${busy[@]}" 2>/dev/null
    busy=()
}
trap 'stop_busy; rm -rf "$work"' EXIT

baud=4000000
buffer=1024
want=${SOAK_BYTES:-100000000}

# The program: the bunny, then its start again, until the wire holds enough
# (no line break after the last line: the editor would add an empty line);
# and the bytes the transmitter must put on the wire for it.
awk -v want="$want" '
    { line = $0; sub(/\r$/, "", line); w = line; sub(/;.*/, "", w)
      printf "%s%s", (NR > 1 ? "\n" : ""), line > "/dev/stdout"
      printf "%s\r\n", w > "/dev/stderr"
      sent += length(w) + 2; if (sent >= want) exit }' \
    "$bunny" "$bunny" >"$work/soak.nc" 2>"$work/soak.wire"
wire_bytes=$(stat -c %s "$work/soak.wire")
longest=$(awk '{ if (length($0) + 1 > n) n = length($0) + 1 } END { print n }' "$work/soak.wire")
echo "program: $(wc -l <"$work/soak.nc") lines, $wire_bytes bytes on the wire," \
    "longest line $longest bytes; $baud baud, controller buffer $buffer"

passed=0
failed=0
printf '%-22s %10s %11s %7s %9s %6s %7s %s\n' run seconds bytes holds overflow late exact exit
# run NAME ROOM RATE LOAD [send options]
run() {
    local name=$1 room=$2 rate=$3 load=$4
    shift 4
    [[ $name =~ ${SOAK_CASES:-.} ]] || return 0
    if [[ $load == busy ]]; then
        for _ in $(seq "$(nproc)"); do (while :; do :; done) & busy+=($!); done
    fi
    rm -f "$work/line" "$work/saved"
    "$cli" vcnc --link "$work/line" --baud "$baud" --buffer "$buffer" --xoff-room "$room" \
        --rate "$rate" --save "$work/saved" --idle-exit 3 >"$work/sum" 2>/dev/null &
    local vcnc=$!
    for _ in $(seq 50); do [[ -e $work/line ]] && break; sleep 0.1; done
    local start=$SECONDS
    "$cli" send --device "$work/line" --baud "$baud" "$@" "$work/soak.nc" 2>"$work/err"
    local send_rc=$?
    wait "$vcnc"
    local vcnc_rc=$?
    local took=$((SECONDS - start))
    stop_busy
    local field exact=no
    field() { sed -n "s/.*$1: \([0-9]*\).*/\1/p" "$work/sum"; }
    cmp -s "$work/soak.wire" "$work/saved" && exact=yes
    printf '%-22s %10s %11s %7s %9s %6s %7s %s\n' "$name" "$took" "$(field received)" \
        "$(field xoff)" "$(field overflow)" "$(field late)" "$exact" "send $send_rc, vcnc $vcnc_rc"
    if [[ $exact == yes && $send_rc -eq 0 && $vcnc_rc -eq 0 && $(field overflow) == 0 &&
        $(field xoff) -ge 1000 ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $name ($(tail -1 "$work/err"))"
    fi
}

run whole-lines-idle $((longest + 1)) 200000 idle
run whole-lines-busy $((longest + 1)) 200000 busy
run pieces-of-8-idle 10 120000 idle --xoff-chunk 8
run pieces-of-8-busy 10 120000 busy --xoff-chunk 8

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
