#!/usr/bin/env bash
# A drip-feed of 2.5 million lines (the benchmark's sliced bunny, with a tool
# change every 100 000 lines) into the virtual controller, which reads slower
# than the line and stops reading now and then for a random time, as a machine
# in its long moves does. The operator stops it past line 1 200 000 and
# restarts it from the last tool change: the controller must get the
# program's start, then exactly the lines from that tool change to the end,
# with no overflow. Takes about ten minutes.
#   dripfeed_restart.sh PATH-TO-sermida-cli [DATA-DIR]
set -u
cli=${1:?usage: dripfeed_restart.sh PATH-TO-sermida-cli [DATA-DIR]}
data=${2:-${SERMIDA_BENCH_DATA:-$HOME/.cache/sermida-bench}}
bunny=$data/bunny.gcode
[[ -s $bunny ]] || { echo "no $bunny: run bench/fetch-data first" >&2; exit 2; }
work=$(mktemp -d /tmp/sermida-drip.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

baud=4000000
rate=250000 # below the line's 400 000 characters a second
dwell=400
stop_after=1200000

# The program, with no line break after its last line (the editor would add
# an empty line).
awk 'NR % 100000 == 0 { printf "T%d M6\n", NR / 100000 % 9 + 1 }
     { sub(/\r$/, ""); print }' "$bunny" | head -c -1 >"$work/drip.nc"
lines=$(($(wc -l <"$work/drip.nc") + 1))
# wire FIRST LAST: lines FIRST..LAST as the classic rules send them (cut at
# the first ';', ended by CR LF).
wire() {
    awk -v first="$1" -v last="$2" 'NR > last { exit }
        NR >= first { sub(/;.*/, ""); printf "%s\r\n", $0 }' "$work/drip.nc"
}
room=$(awk '{ sub(/;.*/, ""); if (length($0) + 3 > n) n = length($0) + 3 } END { print n }' \
    "$work/drip.nc")
echo "program: $lines lines, $(stat -c %s "$work/drip.nc") bytes; $baud baud," \
    "controller reads $rate chars/s, dwells up to $dwell ms"

# shellcheck source=../check-lib.sh
source "$(dirname "$0")/../check-lib.sh"

# start_vcnc SAVE SEED: the controller on a new link.
start_vcnc() {
    rm -f "$work/line"
    "$cli" vcnc --link "$work/line" --baud "$baud" --buffer 1024 --xoff-room "$room" \
        --rate "$rate" --dwell "$dwell" --seed "$2" --save "$1" --idle-exit 3 \
        >"$1.sum" 2>/dev/null &
    vcnc=$!
    for _ in $(seq 50); do [[ -e $work/line ]] && break; sleep 0.1; done
}
field() { sed -n "s/.*$1: \([0-9]*\).*/\1/p" "$2"; }

# The first run, stopped by the operator (Ctrl+C) once the controller has
# read past the line.
stop_at=$(wire 1 "$stop_after" | wc -c)
start_vcnc "$work/first" 1
started=$SECONDS
"$cli" send --device "$work/line" --baud "$baud" "$work/drip.nc" 2>"$work/first.err" &
sender=$!
while kill -0 "$sender" 2>/dev/null; do
    if (($(stat -c %s "$work/first" 2>/dev/null || echo 0) >= stop_at)); then
        kill -INT "$sender"
        break
    fi
    sleep 0.2
done
wait "$sender"
first_rc=$?
wait "$vcnc"
echo "first run: $((SECONDS - started)) s, $(tail -1 "$work/first.err")"
whole=$(sed -n 's/^stopped: lines 1 to \([0-9]*\) of .*/\1/p' "$work/first.err")
check "the first run stops on Ctrl+C past line $stop_after" \
    test "$first_rc" -eq 130 -a "${whole:-0}" -ge "$stop_after"
check "and the controller got exactly the lines that went out whole" \
    cmp -s <(wire 1 "${whole:-0}") "$work/first"
check "without overflow" test "$(field overflow "$work/first.sum")" == 0

# The restart from the tool change before the first line not sent.
next=$((${whole:-0} + 1))
tool=$(awk -v next_line="$next" 'NR > next_line { exit } /^T[0-9]+ M6$/ { t = NR } END { print t }' \
    "$work/drip.nc")
header=$(awk '{ sub(/;.*/, ""); gsub(/\([^)]*\)/, "") }
    toupper($0) ~ /[XYZABCUVWIJKR] *[-+]?[0-9.]/ { print NR - 1; exit }' "$work/drip.nc")
start_vcnc "$work/second" 2
started=$SECONDS
"$cli" send --device "$work/line" --baud "$baud" --from-tool-change "$next" "$work/drip.nc" \
    2>"$work/second.err"
second_rc=$?
wait "$vcnc"
echo "restart: $((SECONDS - started)) s, $(head -1 "$work/second.err"), $(tail -1 "$work/second.err")"
echo "controller: $(cat "$work/second.sum")"
check "the restart shows its parts: the start (1-$header) and from the T$tool on" \
    grep -qx "restart: lines 1-$header $tool-$lines of $lines" "$work/second.err"
check "the restart completes" test "$second_rc" -eq 0
check "the controller got the start, then exactly line $tool to the end" \
    cmp -s <(wire 1 "$header"; wire "$tool" "$lines") "$work/second"
check "without overflow, after holds" \
    test "$(field overflow "$work/second.sum")" == 0 -a "$(field xoff "$work/second.sum")" -ge 100

check_summary "drip-feed restart"
