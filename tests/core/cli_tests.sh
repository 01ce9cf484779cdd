#!/usr/bin/env bash
# sermida-cli run as a user runs it: exit codes, output, and files on disk.
set -u
cli=${1:?usage: cli_tests.sh PATH-TO-sermida-cli}
work=$(mktemp -d /tmp/sermida-cli-test.XXXXXX)
chmod 755 "$work"
trap 'end_jobs; chmod -R u+w "$work"; rm -rf "$work"' EXIT
# shellcheck source=../check-lib.sh
source "$(dirname "$0")/../check-lib.sh"
# shellcheck source=../machine-wire.sh
source "$(dirname "$0")/../machine-wire.sh"
watch_run 600 # well before the test runner stops the run

exit_is() { # expected-code command...
    local want=$1
    shift
    "$@" >/dev/null 2>&1
    [[ $? -eq $want ]]
}

ends_with_line_break() { [[ $(tail -c 2 "$1" | od -An -c | tr -d ' ') == '\r\n' ]]; }
size_at_least() { [[ -e $1 && $(stat -c %s "$1") -ge $2 ]]; }
# Bytes a process has read so far: a tty read shows here before anything else.
bytes_read() { awk '/^rchar/ { print $2 }' "/proc/$1/io" 2>/dev/null || echo 0; }
read_at_least() { [[ $(bytes_read "$1") -ge $2 ]]; }
# The port is open and set up (its input flushed) once its reader runs beside
# the main thread.
receiving() { [[ $(ls /proc/"$1"/task 2>/dev/null | wc -l) -ge 2 ]]; }
start_cable() { # a socat cable: the program opens $work/pc, the test $work/ctl
    rm -f "$work/pc" "$work/ctl"
    socat pty,raw,echo=0,link="$work/ctl" pty,raw,echo=0,link="$work/pc" 2>/dev/null &
    cable=$!
    until_true 10 test -e "$work/pc" -a -e "$work/ctl"
}
pull_cable() { stop_job "$cable" 9; }

# --- usage -------------------------------------------------------------------
check "help exits 0 and names the commands" bash -c "'$cli' --help | grep -q resave"
check "no command is a usage error" exit_is 2 "$cli"
check "unknown command is a usage error" exit_is 2 "$cli" frobnicate
check "info without a file is a usage error" exit_is 2 "$cli" info
check "resave with three files is a usage error" exit_is 2 "$cli" resave a b c

# --- info ----------------------------------------------------------------------
printf 'O0001\r\nG0 X0\r\nM30\r\n' >"$work/crlf.nc"
check "info on a CR LF file" \
    diff <("$cli" info "$work/crlf.nc") <(printf 'lines: 4\nline-end: CRLF\nbytes: 19\nencoding: GBK\n')
printf 'G0\n\rG1' >"$work/lfcr.nc"
check "info on an LF CR file" \
    diff <("$cli" info "$work/lfcr.nc") <(printf 'lines: 2\nline-end: LFCR\nbytes: 6\nencoding: GBK\n')
printf 'G0\nG1\n' >"$work/lf.nc"
check "info on an LF file" \
    diff <("$cli" info "$work/lf.nc") <(printf 'lines: 3\nline-end: LF\nbytes: 6\nencoding: GBK\n')
printf 'G1 ; \xe4\xb8\xad\xe6\x96\x87\nM30\n' >"$work/utf8.nc"
check "info tells a UTF-8 program from a GBK one" \
    diff <("$cli" info "$work/utf8.nc") <(printf 'lines: 3\nline-end: LF\nbytes: 16\nencoding: UTF-8\n')
check "info on a missing file fails" exit_is 1 "$cli" info "$work/none.nc"

# --- compare: a punched program against the stored one --------------------------
printf 'O1000 ;part 7\r\nG0 X0\r\nG1 X1\r\nM30\r\n' >"$work/stored.nc"
printf '%%\nO1000  \nG0 X0\nG1 X1\nM30\n%%\n' >"$work/punched.nc"
check "compare: CR LF, '%' framing, comments and end blanks are alike (exit 0)" \
    exit_is 0 "$cli" compare "$work/stored.nc" "$work/punched.nc"
check "compare --keep-percent: the framing differs (exit 1)" \
    exit_is 1 "$cli" compare --keep-percent "$work/stored.nc" "$work/punched.nc"
check "compare --keep-comments: the comment differs" \
    exit_is 1 "$cli" compare --keep-comments "$work/stored.nc" "$work/punched.nc"
check "compare --keep-spaces: the end blanks differ" \
    exit_is 1 "$cli" compare --keep-spaces "$work/stored.nc" "$work/punched.nc"
seq 1 20 | sed 's/^/N/' >"$work/a.nc"
seq 1 20 | sed 's/^/N/; s/^N12$/N12 X5/; /^N3$/a M0' | sed '/^N17$/d' >"$work/b.nc"
"$cli" compare "$work/a.nc" "$work/b.nc" >"$work/diff" 2>&1
check "compare: programs that differ exit 1" test $? -eq 1
check "and list them as a unified diff" diff "$work/diff" - <<EOF
--- $work/a.nc
+++ $work/b.nc
@@ -1,6 +1,7 @@
 N1
 N2
 N3
+M0
 N4
 N5
 N6
@@ -9,12 +10,11 @@
 N9
 N10
 N11
-N12
+N12 X5
 N13
 N14
 N15
 N16
-N17
 N18
 N19
 N20
EOF
: >"$work/empty1.nc"
: >"$work/empty2.nc"
check "compare: two empty files are alike" exit_is 0 "$cli" compare "$work/empty1.nc" "$work/empty2.nc"
check "compare: an empty file against a program differs" \
    exit_is 1 "$cli" compare "$work/empty1.nc" "$work/a.nc"
"$cli" compare "$work/a.nc" "$work/no-such.nc" >"$work/out" 2>"$work/err"
check "compare: a file that is not there exits 2, never 'differ'" test $? -eq 2
check "and names it" grep -q "cannot load $work/no-such.nc" "$work/err"
check "and lists nothing" test ! -s "$work/out"
check "compare with one file is a usage error" exit_is 2 "$cli" compare "$work/a.nc"
check "compare with an unknown option is a usage error" \
    exit_is 2 "$cli" compare --keep-all "$work/a.nc" "$work/b.nc"

# --- resave keeps every byte -------------------------------------------------------
corpus="$work/corpus"
mkdir "$corpus"
printf 'N1 G0\r\nN2 G1\r\n' >"$corpus/crlf.nc"
printf 'N1\n\rN2\n\r' >"$corpus/lfcr.nc"
printf 'N1\nN2\n' >"$corpus/lf.nc"
printf 'N1\rN2\rN3\r' >"$corpus/lone-cr.nc"
printf 'N1\r\r\nN2\r\nN3' >"$corpus/cr-cr-lf.nc"
printf 'N1\0X\r\n\0\r\nN3' >"$corpus/nul.nc"
printf '(\xb9\xa4\xbc\xfe\xb3\xcc\xd0\xf2)\r\nG0 X1 ;\xd7\xa2\xca\xcd\r\n' >"$corpus/gbk.nc"
printf 'N1\r\nM30' >"$corpus/no-final-break.nc"
head -c 32768 /dev/zero | tr '\0' 'X' >"$corpus/exact-32768.nc"
{ printf 'O1\r\n'; head -c 300000 /dev/zero | tr '\0' '7'; printf '\r\nM30\r\n'; } >"$corpus/long-line.nc"
: >"$corpus/empty.nc"
head -c 200000 /dev/urandom >"$corpus/random.bin"
for f in "$corpus"/*; do
    name=$(basename "$f")
    check "resave to OUT keeps $name" bash -c "'$cli' resave '$f' '$work/out' && cmp -s '$f' '$work/out'"
    cp "$f" "$work/inplace"
    check "resave in place keeps $name" bash -c "'$cli' resave '$work/inplace' && cmp -s '$f' '$work/inplace'"
done
check "resave leaves no temporary file" bash -c "! ls '$work' | grep -q '^CRE'"

# --- resave failures leave OUT as it was ---------------------------------------------
printf 'OLD' >"$work/ro.nc"
chmod 444 "$work/ro.nc"
check "resave onto a read-only file fails" exit_is 1 "$cli" resave "$work/crlf.nc" "$work/ro.nc"
check "the read-only file is untouched" bash -c "[[ \$(cat '$work/ro.nc') == OLD ]]"
check "a failure says why in one line" \
    bash -c "[[ \$('$cli' resave '$work/crlf.nc' '$work/ro.nc' 2>&1 | wc -l) -eq 1 ]]"

mkdir "$work/locked"
printf 'OLD' >"$work/locked/p.nc"
chmod 666 "$work/locked/p.nc"
chmod 555 "$work/locked"
as_user=()
[[ $(id -u) -eq 0 ]] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
check "resave into a folder the user cannot write fails" \
    exit_is 1 "${as_user[@]}" "$cli" resave "$work/crlf.nc" "$work/locked/p.nc"
check "the file in that folder is untouched" bash -c "[[ \$(cat '$work/locked/p.nc') == OLD ]]"
check "and the failure names the reason" bash -c \
    "LC_ALL=C ${as_user[*]} '$cli' resave '$work/crlf.nc' '$work/locked/p.nc' 2>&1 | grep -q 'p.nc.*Permission denied'"
check "resave of a missing file fails" exit_is 1 "$cli" resave "$work/none.nc" "$work/x.nc"
check "nothing is created for a missing input" test ! -e "$work/x.nc"

# --- the saved line settings are the default port ----------------------------------
mkdir "$work/home"
printf 'COM3 8800 7 2 \xc5\xbc\xd0\xa3\xd1\xe9' >"$work/home/Sermida.ini"
check "send without PORT uses the port saved in Sermida.ini" \
    bash -c "SERMIDA_HOME='$work/home' SERMIDA_COM3='$work/no-tty' '$cli' send '$work/crlf.nc' 2>&1 |
             grep -q 'COM3'"

# --- only a terminal is a port ----------------------------------------------------------
# A file named as the device (an easy slip: send --device prog.nc other.nc)
# would have been overwritten with the other program.
printf 'O1000\r\nG0 X1\r\nM30\r\n' >"$work/prog.nc"
cp "$work/prog.nc" "$work/prog.before"
check "send to a regular file as the device fails" \
    exit_is 1 timeout 20 "$cli" send --device "$work/prog.nc" --no-pace "$work/crlf.nc"
check "and leaves that file byte for byte" cmp -s "$work/prog.before" "$work/prog.nc"
check "and says it is no serial device" bash -c \
    "'$cli' send --device '$work/prog.nc' '$work/crlf.nc' 2>&1 | grep -q '不是串口设备'"
check "send to /dev/null fails" exit_is 1 timeout 20 "$cli" send --device /dev/null "$work/crlf.nc"
mkfifo "$work/fifo"
check "send to a FIFO fails" exit_is 1 timeout 5 "$cli" send --device "$work/fifo" "$work/crlf.nc"
check "receive from /dev/null fails at once" \
    exit_is 1 timeout 5 "$cli" receive --device /dev/null --idle-timeout 1 "$work/n.nc"
check "and writes no FILE" test ! -e "$work/n.nc"

# --- the baud rates send, receive and vcnc take ---------------------------------------
for baud in 49 4000001 0; do
    check "send --baud $baud is a usage error" exit_is 2 "$cli" send --baud "$baud" "$work/crlf.nc"
    check "vcnc --baud $baud is a usage error" exit_is 2 "$cli" vcnc --link "$work/l" --baud "$baud"
done
check "send and vcnc refuse a rate in the same words" bash -c "
    [[ \$('$cli' send --baud 49 x 2>&1 | head -1) == \$('$cli' vcnc --link '$work/l' --baud 49 2>&1 | head -1) ]]"

# --- send to receive through a cable made by socat -------------------------------------
if command -v socat >/dev/null; then
    start_cable
    printf 'O0001\r\nN1 G0 X1 ; rapid\r\n;note\r\nM30' >"$work/s.nc"
    "$cli" receive --device "$work/ctl" --baud 115200 --idle-timeout 1 "$work/r.nc" 2>/dev/null &
    receiver=$!
    # Until its port is open and set up: its reader runs.
    until_true 10 receiving "$receiver"
    check "send exits 0 after the last line" \
        exit_is 0 timeout 60 "$cli" send --device "$work/pc" --baud 115200 "$work/s.nc"
    finished "$receiver" 20
    check "receive exits 0 after the idle time" test $? -eq 0
    printf 'O0001\r\nN1 G0 X1 \r\n\r\nM30\r\n' >"$work/expected.nc"
    check "the program arrives cut at ';' with CR LF" cmp -s "$work/expected.nc" "$work/r.nc"
    check "send on a missing device fails" exit_is 1 timeout 20 "$cli" send --device "$work/none" "$work/s.nc"
    check "send with a bad option value is a usage error" exit_is 2 "$cli" send --baud x "$work/s.nc"
    pull_cable
fi

# --- vcnc: the virtual controller at the far end -----------------------------------
check "vcnc without a device or link is a usage error" exit_is 2 "$cli" vcnc
check "vcnc with both a device and a link is a usage error" \
    exit_is 2 "$cli" vcnc --device /dev/null --link "$work/l"
check "vcnc xoff room of half the buffer is a usage error" \
    exit_is 2 "$cli" vcnc --link "$work/l" --buffer 20 --xoff-room 10
check "vcnc --utf8 without --punch is a usage error" exit_is 2 "$cli" vcnc --link "$work/l" --utf8
check "vcnc with a bad rate is a usage error" exit_is 2 "$cli" vcnc --link "$work/l" --rate -5
printf 'KEEP' >"$work/notalink"
check "vcnc does not replace a file with its link" \
    exit_is 1 "$cli" vcnc --link "$work/notalink" --idle-exit 1
check "the file is left as it was" bash -c "[[ \$(cat '$work/notalink') == KEEP ]]"

# vcnc_run VCNC-OPTIONS... -- PC-COMMAND...: vcnc on a link, then the PC
# command against the link; leaves vcnc's summary in $work/summary, its stderr
# in $work/events and both exit codes in vcnc_rc and pc_rc. With vcnc_tty set
# its stderr is a terminal. Every run ends by --idle-exit or by timeout.
vcnc_run() {
    local vopts=()
    while [[ $1 != -- ]]; do vopts+=("$1"); shift; done
    shift
    rm -f "$work/cnc"
    local vcnc=("$cli" vcnc --link "$work/cnc" "${vopts[@]}")
    if [[ -n ${vcnc_tty:-} ]]; then
        timeout -k 5 120 script -qfec "$(printf '%q ' "${vcnc[@]}")>&3" /dev/null \
            3>"$work/summary" >"$work/events" &
    else
        timeout -k 5 120 "${vcnc[@]}" >"$work/summary" 2>"$work/events" &
    fi
    local vpid=$!
    until_true 5 test -L "$work/cnc"
    timeout -k 5 120 "$@" >/dev/null 2>&1
    pc_rc=$?
    wait "$vpid"
    vcnc_rc=$?
}
summary_field() { sed -n "s/.*$1: \([0-9]*\).*/\1/p" "$work/summary"; }
# The last vcnc run held the sender, and no byte beyond its room came after a
# DC3; if not, its summary says which it was (overflow, or vcnc's own lateness).
held_within_room() {
    [[ $vcnc_rc -eq 0 && $(summary_field xoff) -gt 0 ]] && grep -q 'overflow: 0, late: 0,' "$work/summary" ||
        { echo "  vcnc exit $vcnc_rc: $(cat "$work/summary")"; return 1; }
}

# A program with comments, blank and comment-only lines; on the wire each line
# is cut at ';' and ends with CR LF.
prog="$work/vprog.nc"
wire="$work/vprog.wire"
: >"$prog"; : >"$wire"
for i in $(seq 150); do
    printf 'N%d G01 X%d.125 Y-%d.5 F300 ;step %d\r\n' "$i" "$i" "$i" "$i" >>"$prog"
    printf 'N%d G01 X%d.125 Y-%d.5 F300 \r\n' "$i" "$i" "$i" >>"$wire"
    if ((i % 25 == 0)); then printf ';only a comment\r\n\r\n' >>"$prog"; printf '\r\n\r\n' >>"$wire"; fi
done
printf 'M30' >>"$prog"; printf 'M30\r\n' >>"$wire"
wire_bytes=$(stat -c %s "$wire")
wire_lines=$(tr -cd '\n' <"$wire" | wc -c)
longest=$(awk '{ if (length($0) > n) n = length($0) } END { print n + 1 }' "$wire") # + LF

vcnc_run --baud 9600 --buffer 256 --rate 500 --xoff-room "$longest" --save "$work/saved" \
    --idle-exit 1 -- "$cli" send --device "$work/cnc" --baud 9600 "$prog"
check "send into vcnc exits 0" test "$pc_rc" -eq 0
check "vcnc exits 0 without overflow" test "$vcnc_rc" -eq 0
check "vcnc saved exactly the bytes on the wire" cmp -s "$wire" "$work/saved"
check "vcnc summary counts bytes and lines, no overflow, nothing punched" \
    grep -qx "received: $wire_bytes bytes, lines: $wire_lines, xoff: [1-9][0-9]*, overflow: 0, late: 0, punched: 0 bytes" "$work/summary"
check "vcnc removes its link at exit" test ! -e "$work/cnc"
check "vcnc writes no events when stderr is not a terminal" test ! -s "$work/events"

# --- machines -------------------------------------------------------------------------
check "machines lists the presets, classic first" bash -c "
    SERMIDA_HOME='$work/home' '$cli' machines | sed -n 2p | grep -q '^classic '"
check "machines lists the Fanuc preset's line" bash -c "
    SERMIDA_HOME='$work/home' '$cli' machines | grep -qE '^fanuc-iso +preset +4800 7E2 +xonxoff +LF '"
check "machines NAME prints the profile as a file holds it" bash -c "
    SERMIDA_HOME='$work/home' '$cli' machines heidenhain | grep -qx 'leader = \\\\0{50}'"
check "an unknown machine is a usage error" \
    exit_is 2 env SERMIDA_HOME="$work/home" "$cli" send --machine no-such "$prog"
# The Fanuc preset: '%' framing, LF blocks, blank lines left out, pieces of 10
# after a hold; its model of a buffer takes no more than that.
awk 'BEGIN { print "%" } { sub(/\r$/, ""); sub(/;.*/, ""); if ($0 != "") print } END { print "%" }' \
    "$prog" >"$work/fanuc.wire"
vcnc_run --baud 4800 --buffer 256 --rate 300 --xoff-room 10 --save "$work/saved" --idle-exit 1 -- \
    env SERMIDA_HOME="$work/home" "$cli" send --machine fanuc-iso --device "$work/cnc" "$prog"
check "send --machine fanuc-iso exits 0" test "$pc_rc" -eq 0
check "and the wire is framed by % with LF blocks, blank lines left out" \
    cmp -s "$work/fanuc.wire" "$work/saved"
check "and a 10-character hold room never overflows" test "$vcnc_rc" -eq 0
# A machine on RTS/CTS: the driver's handshake is asked for (a pseudo-terminal
# has no CTS to drop) and the program goes out in its framing.
awk 'BEGIN { print "%" } { sub(/\r$/, ""); sub(/;.*/, ""); print } END { print "" }' \
    "$prog" >"$work/sinumerik.wire"
vcnc_run --baud 9600 --buffer 256 --rate 500 --xoff-room 40 --save "$work/saved" --idle-exit 1 -- \
    env SERMIDA_HOME="$work/home" "$cli" send --machine sinumerik-840d --device "$work/cnc" "$prog"
check "send --machine sinumerik-840d exits 0" test "$pc_rc" -eq 0
check "and its wire has the leader, LF blocks and the trailer" cmp -s "$work/sinumerik.wire" "$work/saved"

# Every preset into the model of its controller, a slow one (its buffer made
# small enough that it fills even when the sender is slowed down) that holds the
# line often: the wire is exactly the preset's form (as machine-wire.sh writes
# it out), nothing overflows and the model finds nothing wrong.
head -n 60 "$prog" >"$work/preset.nc"
while read -r preset model leader eob trailer skip; do
    machine_wire "$leader" "$eob" "$trailer" "$skip" "$work/preset.nc" >"$work/$preset.wire"
    # A controller on RTS/CTS holds with CTS, which a pseudo-terminal lacks:
    # it reads at the line's rate.
    slow=(--buffer 512 --rate 1000)
    [[ $model == sinumerik ]] && slow=()
    vcnc_run --model "$model" --baud 38400 "${slow[@]}" --save "$work/saved" --idle-exit 1 -- \
        env SERMIDA_HOME="$work/home" "$cli" send --machine "$preset" --baud 38400 \
        --device "$work/cnc" "$work/preset.nc" </dev/null
    check "$preset into vcnc --model $model: the wire is the preset's form" \
        cmp -s "$work/$preset.wire" "$work/saved"
    check "$preset into vcnc --model $model: no overflow, no violation" \
        bash -c "[[ $pc_rc -eq 0 && $vcnc_rc -eq 0 ]] && grep -q 'overflow: 0, late: 0, .*violations: 0$' '$work/summary'"
    [[ $model == sinumerik ]] || check "$preset into vcnc --model $model: held by DC3" \
        test "$(summary_field xoff)" -gt 0
done < <(machine_table)
# The wrong profile for a controller is what its model reports.
while read -r model preset says options; do
    vcnc_run --model "$model" --baud 38400 --rate 600 --idle-exit 1 -- \
        env SERMIDA_HOME="$work/home" "$cli" send --machine "$preset" --baud 38400 $options \
        --device "$work/cnc" "$work/preset.nc" </dev/null
    check "$preset $options into the $model model: exit 3, \"$says\"" \
        bash -c "[[ $vcnc_rc -eq 3 ]] && grep -q '$says' '$work/events' &&
                 grep -q 'violations: [1-9]' '$work/summary'"
done <<'EOF2'
fanuc fanuc-iso characters.after.DC3 --xoff-characters 0
fanuc classic end.of.block.CR.LF
haas fanuc-iso program.starts.with
sinumerik sinumerik-840d does.not.follow.CTS --flow xonxoff
heidenhain heidenhain program.ends.with --trailer %
mazak mazak 1.stop.bits --stop 1
EOF2

# A restart from the tool change before line 11: the program's start, then the
# T that chose the tool, its M6 and the rest; shown before it begins.
printf '%%\r\nO1000\r\nG21 G90 G17\r\nT1 M6\r\nS1000 M3\r\nG0 X0 Y0\r\nG1 X10 F100\r\nN120 G1 Y10\r\nT2\r\nM6\r\nN140 G1 X20\r\nM30\r\n%%\r\n' \
    >"$work/restart.nc"
printf '%%\r\nO1000\r\nG21 G90 G17\r\nT1 M6\r\nS1000 M3\r\nT2\r\nM6\r\nN140 G1 X20\r\nM30\r\n%%\r\n\r\n' \
    >"$work/restart.wire"
vcnc_run --baud 38400 --save "$work/saved" --idle-exit 1 -- \
    "$cli" send --device "$work/cnc" --baud 38400 --from-tool-change 11 "$work/restart.nc"
check "send --from-tool-change sends the start, then from the tool's T on" \
    cmp -s "$work/restart.wire" "$work/saved"
check "send --from-block N999 (no such block) is a usage error" \
    exit_is 2 "$cli" send --from-block N999 "$work/restart.nc"
check "send takes one restart point at most" \
    exit_is 2 "$cli" send --from-line 3 --from-block N120 "$work/restart.nc"
check "send --from-line beyond the program is a usage error" \
    exit_is 2 "$cli" send --from-line 99 "$work/restart.nc"

# A controller that holds the line and never lets go (it reads one character a
# second): with a stall limit the sender warns, and stops as the machine asks.
rm -f "$work/cnc"
"$cli" vcnc --link "$work/cnc" --baud 38400 --buffer 256 --rate 1 --xoff-room 10 >/dev/null 2>&1 &
stuck=$!
until_true 5 test -L "$work/cnc"
started=$SECONDS
timeout 30 "$cli" send --device "$work/cnc" --baud 38400 --stall-limit-seconds 1 \
    --stop-on-stall yes "$prog" 2>"$work/stall.err"
stall_rc=$?
stop_job "$stuck"
check "a stalled controller is told within the limit" \
    grep -q "warning: nothing has moved for 00:0[12] (held by the controller, no DC1); stopping" \
    "$work/stall.err"
check "and the stopped transmission is a failure, in seconds" \
    test "$stall_rc" -eq 1 -a $((SECONDS - started)) -lt 10

# Watched on a terminal, send keeps one live line of figures; a slow controller
# holds it now and then, and the line says so.
head -n 40 "$prog" >"$work/short.nc"
vcnc_run --baud 9600 --buffer 256 --rate 300 --xoff-room 40 --idle-exit 1 -- \
    script -qfec "$(printf '%q ' "$cli" send --device "$work/cnc" --baud 9600 "$work/short.nc")" "$work/live"
check "send on a terminal shows lines sent, percent, time left and elapsed" \
    grep -qaE '[0-9]+/4[0-9] lines [0-9]+%, left ([0-9]{2}:[0-9]{2}|--:--), elapsed 00:00:0[0-9]' "$work/live"
check "and whose hold it is" grep -qa "held by the controller" "$work/live"

vcnc_run --baud 9600 --buffer 256 --rate 500 --xoff-room 10 --save "$work/saved" \
    --idle-exit 1 -- "$cli" send --device "$work/cnc" --baud 9600 --xoff-chunk 8 "$prog"
check "send --xoff-chunk 8 into a 10-byte xoff room arrives exact" cmp -s "$wire" "$work/saved"
check "and without overflow, after holds" \
    bash -c "[[ $vcnc_rc -eq 0 && \$(sed -n 's/.*xoff: \([0-9]*\),.*/\1/p' '$work/summary') -gt 0 ]]"

# A slow controller holds the sender in the middle of a line, and the rest of
# that line is longer than the 10 characters it still has room for.
vcnc_run --baud 9600 --buffer 256 --rate 100 --xoff-room 10 --idle-exit 1 -- \
    "$cli" send --device "$work/cnc" --baud 9600 "$prog"
check "whole lines longer than a 10-byte xoff room overflow (exit 3)" test "$vcnc_rc" -eq 3

# At 115200 baud into a controller that takes everything at once.
big="$work/big.nc"
for i in $(seq 3000); do printf 'N%d G1 X%d Y%d\r\n' "$i" "$i" "$i"; done >"$big"
vcnc_run --baud 115200 --rate 0 --save "$work/saved" --idle-exit 1 -- \
    "$cli" send --device "$work/cnc" --baud 115200 "$big"
check "a 3000-line program at 115200 baud arrives exact" \
    bash -c "printf '\r\n' | cat '$big' - | cmp -s - '$work/saved'"
check "with no holds and no overflow" grep -q "xoff: 0, overflow: 0, late: 0," "$work/summary"

# A sender that pays no heed to DC3: 60 bytes fill the buffer and bring the
# DC3; 60 more come after it, while the controller still holds.
vcnc_run --buffer 64 --xoff-room 10 --rate 100 --save "$work/saved" --idle-exit 1 -- \
    bash -c 'exec <>"$1" >&0 && stty raw -echo && printf "%060d" 0 && sleep 0.1 &&
             printf "%060d" 0' _ "$work/cnc"
check "vcnc exits 3 after an overflow" test "$vcnc_rc" -eq 3
lost=$(summary_field overflow)
check "and counts the bytes that came after its DC3 as overflow" test "${lost:-0}" -ge 40
check "while still saving every byte that came" \
    bash -c "printf '%0120d' 0 | cmp -s - '$work/saved'"

# Idle means an empty buffer and nothing to send: a slow controller holding the
# sender (DC3) for longer than --idle-exit stays to send DC1 and take the rest.
# Its stderr is a terminal here: the holds show there as they happen.
if command -v script >/dev/null; then
    { for _ in $(seq 9); do printf 'G1 X1\r\n'; done; printf 'M30'; } >"$work/slow.nc"
    vcnc_tty=1 vcnc_run --buffer 64 --xoff-room 8 --rate 16 --save "$work/saved" --idle-exit 1 -- \
        "$cli" send --device "$work/cnc" --baud 9600 "$work/slow.nc"
    check "a sender held past --idle-exit gets its DC1 and exits 0" test "$pc_rc" -eq 0
    check "vcnc waits for its buffer to drain and saves every byte" \
        bash -c "printf '\r\n' | cat '$work/slow.nc' - | cmp -s - '$work/saved'"
    check "and exits 0 after one hold without overflow" \
        bash -c "[[ $vcnc_rc -eq 0 ]] && grep -q 'received: 68 bytes, lines: 10, xoff: 1, overflow: 0,' '$work/summary'"
    check "vcnc shows DC3 and DC1 when stderr is a terminal" \
        bash -c "grep -q 'DC3 sent' '$work/events' && grep -q 'DC1 sent' '$work/events'"
fi

# Punching into receive: the document is the GBK program with CR LF.
printf '%%\r\nO0001 (\xb9\xa4\xbc\xfe\xb3\xcc\xd0\xf2)\r\nG0 X1 ;\xd7\xa2\xca\xcd\r\nM30\r\n%%\r\n' >"$work/gbk.nc"
punched=$(stat -c %s "$work/gbk.nc")
for opts in "--frame" "--frame --utf8" "--frame --utf8 --lf" "--lf"; do
    rm -f "$work/got.nc"
    # shellcheck disable=SC2086
    # The controller stays on the line longer than the PC waits for more: a
    # line that goes away ends a reception as cut.
    vcnc_run --baud 38400 --punch "$work/gbk.nc" $opts --idle-exit 4 -- \
        "$cli" receive --device "$work/cnc" --baud 38400 --idle-timeout 2 "$work/got.nc"
    check "punch $opts arrives as the GBK program with CR LF" cmp -s "$work/gbk.nc" "$work/got.nc"
    check "punch $opts: both ends exit 0" test "$vcnc_rc$pc_rc" = 00
done
check "the last punch (--lf) counts the bytes without their five CRs" \
    grep -q "punched: $((punched - 5)) bytes" "$work/summary"

# A machine's framing: the Fanuc punches a leader of NULs, the program between
# '%' marks and some noise after it; only the program lands in the file.
{ head -c 50 /dev/zero; printf '%%\nO0002\nG0 X1\nM30\n%%\n'; printf '\0\0\x11'; } >"$work/fanuc.punch"
printf 'O0002\r\nG0 X1\r\nM30\r\n' >"$work/fanuc.want"
rm -f "$work/got.nc"
vcnc_run --baud 4800 --punch "$work/fanuc.punch" --idle-exit 4 -- \
    env SERMIDA_HOME="$work/home" "$cli" receive --machine fanuc-iso --device "$work/cnc" \
    --idle-timeout 2 "$work/got.nc"
check "receive --machine fanuc-iso keeps only the program between the % marks" \
    cmp -s "$work/fanuc.want" "$work/got.nc"

# --- controllers behind a serial device server ---------------------------------------
# A real ser2net on 127.0.0.1 whose serial side is vcnc's link: one RFC 2217
# and one raw TCP accepter. The server opens the device for each connection.
rfc_port=$(free_port)
raw_port=$(free_port)
{
    echo '%YAML 1.1'; echo '---'
    for a in "rfc:telnet(rfc2217),tcp,127.0.0.1,$rfc_port" "raw:tcp,127.0.0.1,$raw_port"; do
        printf 'connection: &%s\n  accepter: %s\n  connector: serialdev,%s,9600n81,local\n' \
            "${a%%:*}" "${a#*:}" "$work/cnc"
        printf '  options:\n    kickolduser: true\n    chardelay: false\n'
    done
} >"$work/ser2net.yaml"
ser2net -n -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >/dev/null 2>&1 &
s2n=$!
until_true 5 listening "$rfc_port"
for addr in "rfc2217://127.0.0.1:$rfc_port" "tcp://127.0.0.1:$raw_port"; do
    # Pieces of 8 into 10 characters of room: the hold holds across the network.
    vcnc_run --baud 38400 --buffer 256 --rate 1500 --xoff-room 10 --save "$work/saved" \
        --idle-exit 1 -- "$cli" send --device "$addr" --baud 38400 --xoff-chunk 8 "$prog"
    check "send to $addr exits 0" test "$pc_rc" -eq 0
    check "send to $addr: the controller has exactly the wire bytes" cmp -s "$wire" "$work/saved"
    check "send to $addr: held, and no byte beyond the room after DC3" held_within_room
done
rm -f "$work/got.nc"
vcnc_run --baud 9600 --punch "$work/gbk.nc" --frame --idle-exit 4 -- \
    "$cli" receive --device "rfc2217://127.0.0.1:$rfc_port" --baud 9600 --idle-timeout 2 "$work/got.nc"
check "a punch received through RFC 2217 is the GBK program with CR LF" \
    cmp -s "$work/gbk.nc" "$work/got.nc"
check "a server that is not there is a clear failure, not a hang" bash -c "
    timeout 20 '$cli' send --device 'rfc2217://127.0.0.1:$(free_port)' '$prog' 2>&1 |
        grep -q '无法连接串口服务器'"
stop_job "$s2n"

# On a device, as on a real port: one end of a socat cable, the PC program on
# the other.
vcnc_waiting() { # PID DEVICE: it has DEVICE open and sleeps in its loop, past
    # the flush of what was waiting (it sleeps nowhere else once it is open)
    ls -l "/proc/$1/fd" 2>/dev/null | grep -q -- "-> $(readlink -f "$2")\$" &&
        [[ $(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) == S ]]
}
if command -v socat >/dev/null; then
    start_cable
    "$cli" vcnc --device "$work/ctl" --baud 115200 --rate 0 --save "$work/saved" --idle-exit 1 \
        >"$work/summary" 2>/dev/null &
    vpid=$!
    until_true 10 vcnc_waiting "$vpid" "$work/ctl"
    check "send into vcnc on a device exits 0" \
        exit_is 0 timeout 60 "$cli" send --device "$work/pc" --baud 115200 "$prog"
    finished "$vpid" 20
    check "vcnc on a device exits 0 after the idle time" test $? -eq 0
    check "and saved exactly the bytes on the wire" cmp -s "$wire" "$work/saved"
    check "and its summary counts them" grep -qx \
        "received: $wire_bytes bytes, lines: $wire_lines, xoff: 0, overflow: 0, late: 0, punched: 0 bytes" \
        "$work/summary"
    pull_cable
fi

# Ctrl+C stops at the end of the line in flight and names the last line that
# went out whole: exactly the lines the controller has.
# sending_into_vcnc BAUD IDLE-EXIT FILE BYTES: vcnc on a link, send FILE into
# it in the background (vpid, spid) until vcnc has saved BYTES.
sending_into_vcnc() {
    rm -f "$work/cnc"
    "$cli" vcnc --link "$work/cnc" --baud "$1" --rate 0 --save "$work/saved" --idle-exit "$2" \
        >"$work/summary" 2>/dev/null &
    vpid=$!
    until_true 5 test -L "$work/cnc"
    "$cli" send --device "$work/cnc" --baud "$1" "$3" 2>"$work/err" &
    spid=$!
    until_true 10 size_at_least "$work/saved" "$4"
}
sending_into_vcnc 1200 2 "$prog" 300
kill -INT "$spid"
finished "$spid" 5
check "Ctrl+C stops send with exit 130" test $? -eq 130
finished "$vpid" 10
whole=$(sed -n 's/^stopped: lines 1 to \([0-9]*\) of [0-9]* went out whole; line \([0-9]*\) was not sent.*/\1 \2/p' "$work/err")
held=$(summary_field lines)
check "and names the last line that went out whole and the next" \
    test "$whole" = "$held $((held + 1))"
check "the line in flight was finished" ends_with_line_break "$work/saved"

# A second Ctrl+C cuts a long line at once, and says so.
{ printf 'G1 X'; head -c 100 /dev/zero | tr '\0' '5'; printf '\r\nM30\r\n'; } >"$work/slow-line.nc"
sending_into_vcnc 50 1 "$work/slow-line.nc" 2
kill -INT "$spid"
sleep 0.3
check "one Ctrl+C waits for the line in flight (22 s at 50 baud)" running "$spid"
kill -INT "$spid"
finished "$spid" 2
check "a second Ctrl+C ends at once with exit 130" test $? -eq 130
check "and says the line was cut" grep -q "line 1 was cut" "$work/err"
finished "$vpid" 10

# Ended by a signal (Ctrl+C, or a service manager's stop): summary, exit 0, link gone.
for sig in INT TERM; do
    "$cli" vcnc --link "$work/cnc" >"$work/summary" 2>/dev/null &
    vpid=$!
    until_true 5 test -L "$work/cnc"
    kill -"$sig" "$vpid"
    finished "$vpid" 5
    check "SIG$sig ends vcnc with exit 0" test $? -eq 0
    check "SIG$sig: and its summary" \
        grep -qx "received: 0 bytes, lines: 0, xoff: 0, overflow: 0, late: 0, punched: 0 bytes" "$work/summary"
    check "SIG$sig: and removes the link" test ! -e "$work/cnc"
done

# --- log: the DNC service's transfers -------------------------------------------------
logdir="$work/home/dnc/log"
mkdir -p "$logdir"
cat >"$logdir/transfers-2026-12-01.jsonl" <<'JSON'
{"machine":"MILL-1","direction":"receive","program":"O1234","path":"/lib/O1234.nc","bytes":2345,"lines":120,"sha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad","start":"2026-12-01T08:00:00.000Z","end":"2026-12-01T08:01:30.250Z","result":"ok","reason":"","holds":0,"overruns":0,"errors":0}
{"machine":"LATHE-2","direction":"send","program":"O0012","path":"/lib/O0012.nc","bytes":99,"lines":7,"sha256":"","start":"2026-12-01T23:59:00.000Z","end":"2026-12-01T23:59:59.999Z","result":"stopped","reason":"by the operator\nat line 5","holds":2,"overruns":0,"errors":0}
JSON
cat >"$logdir/transfers-2026-12-02.jsonl" <<'JSON'
{"machine":"MILL-1","direction":"send","program":"O1234","path":"/lib/O1234.nc","bytes":2345,"lines":120,"sha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad","start":"2026-12-02T00:00:00.000Z","end":"2026-12-02T00:02:00.000Z","result":"failed","reason":"line cut","holds":0,"overruns":1,"errors":3}
JSON
printf '{"machine":"MILL-1","direction":"se' >>"$logdir/transfers-2026-12-02.jsonl"
log() { TZ=UTC "$cli" log --dir "$logdir" "$@"; }
log_lines() { # expected-count args...: lines printed to stdout
    local want=$1
    shift
    [[ $(log "$@" 2>/dev/null | wc -l) -eq $want ]]
}
check "log lists every transfer under a header" log_lines 4
check "log: each transfer on one aligned line" bash -c \
    "TZ=UTC '$cli' log --dir '$logdir' 2>/dev/null | grep -qE '^2026-12-01 23:59:59  LATHE-2  send +O0012 +7 +99  stopped  -  +by the operator at line 5$'"
check "log: a short SHA-256" bash -c "TZ=UTC '$cli' log --dir '$logdir' 2>/dev/null | grep -q ' ba7816bf '"
check "log: the half line a power cut left is skipped and said" \
    bash -c "TZ=UTC '$cli' log --dir '$logdir' 2>&1 >/dev/null | grep -q '1 line .* skipped'"
check "log --json prints the stored lines themselves" \
    diff <(log --json --machine LATHE-2 2>/dev/null) <(sed -n 2p "$logdir/transfers-2026-12-01.jsonl")
check "log --program 12 finds O0012" \
    bash -c "TZ=UTC '$cli' log --dir '$logdir' --json --program 12 2>/dev/null | grep -q '\"O0012\"'"
check "log --direction and --result together" log_lines 2 --direction send --result failed
check "log --since a day" log_lines 2 --since 2026-12-02
check "log --until a day takes in its last millisecond" log_lines 3 --until 2026-12-01
check "log --since a minute" log_lines 3 --since "2026-12-01 23:59"
check "log: dates are local days" bash -c \
    "[[ \$(TZ=Asia/Shanghai '$cli' log --dir '$logdir' --since 2026-12-02 --until 2026-12-02 2>/dev/null | wc -l) -eq 3 ]]"
check "log reads dnc/log in the settings folder by default" \
    bash -c "SERMIDA_HOME='$work/home' '$cli' log --machine MILL-1 --json 2>/dev/null | grep -q '\"failed\"'"
check "log: no match exits 1" exit_is 1 log --machine MILL-9
check "log: an empty folder exits 1" exit_is 1 "$cli" log --dir "$work/no-log"
check "log: a bad date is a usage error" exit_is 2 log --since 2026-02-30
check "log: a bad direction is a usage error" exit_is 2 log --direction sideways
check "log: an unknown option is a usage error" exit_is 2 log --colour
check "log: an option without its value is a usage error" exit_is 2 log --machine

# --- when the device or the disk fails -------------------------------------------
if command -v socat >/dev/null; then
    : >"$work/p300.nc"
    for i in $(seq 300); do printf 'N%d G01 X%d.5 Y-2. F300 ;step\r\n' "$i" "$i" >>"$work/p300.nc"; done

    # The cable is pulled while the program goes out at 9600 baud (about 8 s).
    start_cable
    cat <"$work/ctl" >"$work/got" 2>/dev/null &
    reader=$!
    "$cli" send --device "$work/pc" --baud 9600 "$work/p300.nc" 2>"$work/err" &
    sender=$!
    until_true 20 size_at_least "$work/got" 300
    pull_cable
    finished "$sender" 10
    check "send exits 1 soon after the cable is pulled" test $? -eq 1
    check "and says which line did not go out, and why" \
        grep -q "line [0-9]* could not be written: the serial device is gone" "$work/err"
    finished "$reader" 10 >/dev/null

    # The controller held the line (DC3) and then went away: no DC1 will come.
    start_cable
    exec 7<>"$work/ctl"
    cat <&7 >"$work/got" 2>/dev/null &
    reader=$!
    "$cli" send --device "$work/pc" --baud 9600 "$work/p300.nc" 2>"$work/err" &
    sender=$!
    until_true 20 size_at_least "$work/got" 100
    base=$(bytes_read "$sender")
    printf '\023' >&7
    until_true 10 read_at_least "$sender" $((base + 1)) # the DC3 has been read
    until_true 10 ends_with_line_break "$work/got"         # and the line in flight is out
    pull_cable
    exec 7>&-
    finished "$sender" 10
    check "send held by a controller that goes away exits 1" test $? -eq 1
    check "and says the device is gone" grep -q "gone" "$work/err"
    finished "$reader" 10 >/dev/null

    # Receiving without an idle time-out: the pulled cable ends it, and every
    # byte the program had read is in FILE.
    start_cable
    exec 7<>"$work/ctl"
    rm -f "$work/got.nc"*
    "$cli" receive --device "$work/pc" --baud 115200 "$work/got.nc" 2>"$work/err" &
    receiver=$!
    until_true 10 receiving "$receiver"
    base=$(bytes_read "$receiver")
    text=$'%\nO1000 (CUT)\nN10 G00 X5.\nN20 G01 Z-1. F100\nM30\n'
    printf '%s' "$text" >&7
    until_true 10 read_at_least "$receiver" $((base + ${#text}))
    pull_cable
    exec 7>&-
    finished "$receiver" 10
    check "receive ends by itself, exit 4, when the cable is pulled" test $? -eq 4
    check "and says the device is gone and where the text is" \
        grep -q "gone.*got.nc.partial" "$work/err"
    check "and the cut program is kept beside FILE, everything that came, CR LF" \
        cmp -s "$work/got.nc.partial" <(printf '%s' "$text" | sed 's/$/\r/')
    check "and FILE is not written: a script cannot mistake it for a whole program" \
        test ! -e "$work/got.nc"

    # Into a FILE that holds a good program: it stays as it was.
    start_cable
    exec 7<>"$work/ctl"
    printf 'O2000 (GOOD)\r\nM30\r\n' >"$work/good.nc"
    cp "$work/good.nc" "$work/good.before"
    rm -f "$work/good.nc.partial"
    printf 'OLD' >"$work/good.nc.partial"
    "$cli" receive --device "$work/pc" --baud 115200 "$work/good.nc" 2>"$work/err" &
    receiver=$!
    until_true 10 receiving "$receiver"
    base=$(bytes_read "$receiver")
    printf 'O2000 (CUT' >&7
    until_true 10 read_at_least "$receiver" $((base + 10))
    pull_cable
    exec 7>&-
    finished "$receiver" 10
    check "a cut program never replaces a good FILE (exit 4)" test $? -eq 4
    check "which is left byte for byte" cmp -s "$work/good.before" "$work/good.nc"
    check "nor an earlier partial file" bash -c "[[ \$(cat '$work/good.nc.partial') == OLD ]]"
    check "the cut text goes to the next free name" \
        bash -c "[[ \$(cat '$work/good.nc.partial.1') == 'O2000 (CUT' ]]"
fi

printf 'OLD\r\n' >"$work/old.nc"
head -c 300000 /dev/zero | tr '\0' '7' >"$work/big-new.nc"
cp "$work/old.nc" "$work/kept.nc"
(ulimit -f 64 && exec "$cli" resave "$work/big-new.nc" "$work/kept.nc") 2>"$work/err"
check "resave beyond the file-size limit exits 1, not killed" test $? -eq 1
check "and gives the reason" grep -q "File too large" "$work/err"
check "and leaves the old file byte for byte" cmp -s "$work/old.nc" "$work/kept.nc"
check "and no temporary file" bash -c "! ls '$work' | grep -q '^CRE'"

if truncate -s 2147483648 "$work/huge.nc" 2>/dev/null; then # sparse: no disk
    check "info refuses a file beyond 2 GiB" exit_is 1 "$cli" info "$work/huge.nc"
    timeout 20 "$cli" send --device "$work/none" "$work/huge.nc" 2>"$work/err"
    check "send refuses a file beyond 2 GiB, exit 1" test $? -eq 1
    check "and says it is too large" grep -q "too large" "$work/err"
    rm -f "$work/huge.nc"
fi

check_summary
