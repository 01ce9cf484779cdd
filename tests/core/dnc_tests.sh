#!/usr/bin/env bash
# The DNC service end to end, with real parts on 127.0.0.1 only: a mosquitto
# broker on a free port, three machines (a socat cable the test punches into
# as a controller would, a vcnc behind ser2net over RFC 2217, and a vcnc on a
# local pseudo-terminal), `sermida-cli serve` with all three, and a
# mosquitto_sub that records everything the service publishes.
#   dnc_tests.sh PATH-TO-sermida-cli
set -u
cli=${1:?usage: dnc_tests.sh PATH-TO-sermida-cli}
# Debian puts the broker and ser2net in /usr/sbin, which a user's PATH may lack.
PATH=$PATH:/usr/sbin:/usr/local/sbin
for tool in mosquitto mosquitto_sub mosquitto_pub ser2net socat; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
work=$(mktemp -d /tmp/sermida-dnc.XXXXXX)
export XDG_CONFIG_HOME="$work/config"
cleanup() {
    end_jobs
    [[ -n ${DNC_KEEP:-} ]] || rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=../check-lib.sh
source "$(dirname "$0")/../check-lib.sh"
watch_run 200 # well before the test runner stops the run
has() { grep -qa -- "$2" "$1" 2>/dev/null; }
in_order() { # FILE PATTERN...: each pattern on a line after the last one's
    local file=$1 from=0 n
    shift
    for p in "$@"; do
        n=$(awk -v from="$from" -v p="$p" 'NR > from && index($0, p) { print NR; exit }' "$file")
        [[ -n $n ]] || return 1
        from=$n
    done
}
records() { cat "$work"/log/*.jsonl 2>/dev/null | wc -l; }
# The SHA-256 the log holds for the first record matching PATTERN, and the
# one of FILE's bytes.
logged_sha() { grep -h -- "$1" "$work"/log/*.jsonl | head -1 | sed 's/.*"sha256":"\([0-9a-f]*\)".*/\1/'; }
sha_of() { sha256sum "$1" | cut -d' ' -f1; }
more_records_than() { (($(records) > $1)); }
records_are() { (($(records) == $1)); }
same() { # FILE BYTES (printf format): FILE holds exactly those bytes
    printf "$2" >"$work/want"
    cmp -s "$1" "$work/want"
}

# --- A config the service refuses, naming the line ---------------------------------
refused() { # WHAT PATTERN: the config in $work/bad.ini is refused with PATTERN
    "$cli" serve --config "$work/bad.ini" --check 2>"$work/bad.err"
    [[ $? -eq 2 ]] && grep -q -- "$2" "$work/bad.err"
}
printf '[service]\nname = x\ncolour = red\n' >"$work/bad.ini"
check "an unknown key is refused with its line" refused key "line 3: unknown key 'colour'"
printf '[machine a]\nprofile = no-such-machine\n' >"$work/bad.ini"
check "a missing profile is refused with its line" refused profile "line 2: .*no-such-machine"
printf '[machine a]\nprofile = classic\ndevice = /dev/null\n[machine b]\nprofile = classic\ndevice = /dev/../dev/null\n' \
    >"$work/bad.ini"
check "two machines on one port are refused, both named" refused port \
    "line 4: machine b is on /dev/null, as the machine on line 1 is"
printf '[machine a]\ndevice = /dev/null\n' >"$work/bad.ini"
check "a profile must come first" refused first "line 2: profile must come first"

# --- The parts ----------------------------------------------------------------------
port=$(free_port)
printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" >"$work/mosquitto.conf"
mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
until_true 10 listening "$port" || { echo "FAIL: mosquitto does not start"; exit 1; }
mosquitto_sub -h 127.0.0.1 -p "$port" -v -t 'sermida/shopA/#' >"$work/sub.log" &

# mill: a cable whose far end ($work/millctl) the test plays.
socat "pty,link=$work/mill,raw,echo=0" "pty,link=$work/millctl,raw,echo=0" 2>/dev/null &
# lathe: vcnc behind ser2net, over RFC 2217.
"$cli" vcnc --link "$work/lathedev" --baud 38400 --rate 0 --save "$work/lathe.got" \
    >"$work/lathe.sum" 2>&1 &
rfc=$(free_port)
{
    echo '%YAML 1.1'
    echo '---'
    printf 'connection: &lathe\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n' "$rfc"
    printf '  connector: serialdev,%s,9600n81,local\n' "$work/lathedev"
    printf '  options:\n    kickolduser: true\n    chardelay: false\n'
} >"$work/ser2net.yaml"
# drill: vcnc on a local pseudo-terminal, reading slowly.
"$cli" vcnc --link "$work/drill" --baud 9600 --rate 300 --buffer 256 --xoff-room 10 \
    --save "$work/drill.got" >"$work/drill.sum" 2>&1 &
drill_vcnc=$!
until_true 10 test -e "$work/mill" -a -e "$work/lathedev" -a -e "$work/drill"
ser2net -n -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >/dev/null 2>&1 &
until_true 10 listening "$rfc"

mkdir -p "$work/lib/lathe" "$work/lib/drill"
printf 'O5000\r\nG0 X1 Y1\r\nG1 X2 F100\r\nM30' >"$work/lib/lathe/O5000.nc"
for i in $(seq 400); do printf 'N%d G1 X%d Y%d\r\n' "$i" "$i" "$i"; done >"$work/lib/drill/O7000.nc"
for i in $(seq 3000); do printf 'N%d G1 X%d Y%d\r\n' "$i" "$i" "$i"; done >"$work/lib/lathe/O6000.nc"
cat >"$work/dnc.ini" <<EOF
# The shop's first cell.
[service]
name = shopA
library = $work/lib
log = $work/log
[broker]
host = 127.0.0.1
port = $port
[machine mill]
profile = classic
device = $work/mill
baud = 38400
receive_idle_seconds = 1
request_delay_seconds = 0
[machine lathe]
profile = classic
device = rfc2217://127.0.0.1:$rfc
baud = 38400
[machine drill]
profile = classic
device = $work/drill
baud = 9600
EOF
check "the config is fine" "$cli" serve --config "$work/dnc.ini" --check
# Without --config: dnc.ini in the settings folder, where the desktop program reads it.
mkdir -p "$work/home"
default_config() { # the exit code wanted, a pattern of its output
    SERMIDA_HOME="$work/home" "$cli" serve --check >"$work/default.out" 2>&1
    [[ $? -eq $1 ]] && grep -q -- "$2" "$work/default.out"
}
check "without --config or dnc.ini, the file looked for is named" \
    default_config 2 "$work/home/dnc.ini: no config there"
cp "$work/dnc.ini" "$work/home/dnc.ini"
check "without --config, dnc.ini in the settings folder is read" \
    default_config 0 "$work/home/dnc.ini: 3 machines, fine"
start_service() {
    "$cli" serve --config "$work/dnc.ini" 2>>"$work/service.log" &
    service=$!
}
start_service
for m in mill lathe drill; do
    check "$m is listening, as the broker says" \
        until_true 15 has "$work/sub.log" "sermida/shopA/$m/state idle"
done

# --- Punched programs go into the library under their number -------------------------
punch() { printf "$1" >"$work/millctl"; }
stored="$work/lib/mill/O1234.nc"
punch '%%\r\nO1234 (BRACKET)\r\nG0 X10\r\nM30\r\n%%\r\n'
check "a punched program is saved under its number" until_true 10 test -s "$stored"
check "as it came" same "$stored" '%%\r\nO1234 (BRACKET)\r\nG0 X10\r\nM30\r\n%%\r\n'
check "and logged: received, saved" until_true 5 has "$work/sub.log" \
    '"machine":"mill","direction":"receive","program":"O1234"'
printf '%%\r\nO1234 (BRACKET)\r\nG0 X10\r\nM30\r\n%%\r\n' >"$work/punched"
check "with the SHA-256 of the bytes that came" \
    test "$(logged_sha '"reason":"saved"')" == "$(sha_of "$work/punched")"
punch '%%\r\nO1234 (BRACKET)\r\nG0 X20\r\nM30\r\n%%\r\n'
check "a changed program keeps the old one as a version" \
    until_true 10 test -s "$work/lib/mill/versions/O1234.nc.1"
check "the version is the old program, the library the new" bash -c "
    grep -q X10 '$work/lib/mill/versions/O1234.nc.1' && grep -q X20 '$stored'"
before=$(records)
punch '%%\nO1234 (BRACKET)\nG0 X20\nM30\n%%\n' # LF only: the same program
check "an identical program is logged" until_true 10 more_records_than "$before"
check "and not kept twice" test ! -e "$work/lib/mill/versions/O1234.nc.2"
check "the log says it is identical" has "$work/log/$(ls "$work/log" | tail -1)" "identical"

# --- A request is answered with the program, exact on the wire -----------------------
timeout 6 cat "$work/millctl" >"$work/answer" &
reader=$!
punch 'O9999\r\n(PRG=1234)\r\nM30\r\n'
finished "$reader" 10
# The stored program as the classic rules send it: each line, CR LF, and
# the empty line after its last break.
check "the broker saw the request taken, then the answer going out" \
    in_order "$work/sub.log" "mill/state answering 1234" "mill/state sending"
check "a request is answered with the stored program, exact" \
    cmp -s "$work/answer" <(cat "$stored"; printf '\r\n')
timeout 6 cat "$work/millctl" >"$work/answer" &
reader=$!
punch 'O9999\r\n(REQ=O4321)\r\nM30\r\n'
finished "$reader" 10
check "a request for a missing program is answered so" \
    same "$work/answer" '%%\r\nO9999\r\n(O4321 NOT IN LIBRARY)\r\nM30\r\n%%\r\n'
check "and the service says so" has "$work/service.log" "O4321: not in the library"

# --- Commands over MQTT ------------------------------------------------------------------
command() { mosquitto_pub -h 127.0.0.1 -p "$port" -t "sermida/shopA/$1/command" -m "$2"; }
command lathe "send O5000"
check "a send command is accepted" until_true 10 has "$work/sub.log" \
    'sermida/shopA/lathe/reply {"command":"send O5000","result":"accepted"}'
check "and the program reaches the controller behind ser2net, exact" until_true 10 \
    same "$work/lathe.got" 'O5000\r\nG0 X1 Y1\r\nG1 X2 F100\r\nM30\r\n'
check "the send is logged with the SHA-256 of the bytes the controller got" \
    test "$(logged_sha '"program":"O5000"')" == "$(sha_of "$work/lathe.got")"
check "the states went sending, then idle" \
    in_order "$work/sub.log" "lathe/state sending" "lathe/state idle"
command lathe "send O404"
check "a program not in the library is refused with the reason" until_true 10 has "$work/sub.log" \
    '"command":"send O404","result":"refused","reason":"O404 is not in the library"'

# --- A controller that goes away in the middle ------------------------------------------
command drill "send O7000"
check "a slow send runs, held by the controller" until_true 15 has "$work/sub.log" "drill/state held"
command drill "send O7000"
check "a second send to a busy machine is refused" until_true 10 has "$work/sub.log" \
    '"command":"send O7000","result":"refused","reason":"the machine is busy"'
kill -9 "$drill_vcnc"
check "the machine whose controller went away is failed, then offline" \
    until_true 15 in_order "$work/sub.log" "drill/state failed: " "drill/state offline"
check "and the log says why" until_true 5 has "$work/log/$(ls "$work/log" | tail -1)" \
    '"machine":"drill","direction":"send","program":"O7000".*"result":"failed","reason":"line'

# --- A restart loses no log line -----------------------------------------------------------
# Stopped while it sends: the transmission is stopped and logged before it ends.
command lathe "send O6000"
until_true 10 has "$work/sub.log" '"command":"send O6000","result":"accepted"'
check "a service stopped while it sends ends at once" stop_job "$service"
check "and logs the transmission as stopped" \
    has "$work/log/$(ls "$work/log" | tail -1)" '"program":"O6000".*"result":"stopped"'
check "a stopped service says so on the broker" until_true 5 has "$work/sub.log" \
    "sermida/shopA/status offline"
logged=$(records)
start_service
check "a restarted service listens again" \
    until_true 15 in_order "$work/sub.log" "sermida/shopA/status offline" "mill/state idle"
punch '%%\r\nO2000\r\nG0 X1\r\nM30\r\n%%\r\n'
check "and saves" until_true 10 test -s "$work/lib/mill/O2000.nc"
check "every record of before is still there, and the new one" \
    until_true 5 records_are $((logged + 1))
check "sermida-cli log lists the mill's O1234: three punches and one answer" bash -c "
    '$cli' log --dir '$work/log' --machine mill --program 1234 | tail -n +2 | wc -l | grep -qx 4"
check "the service stops on SIGTERM with exit 0" stop_job "$service"

check_summary "DNC service"
