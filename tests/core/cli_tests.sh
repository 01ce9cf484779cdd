#!/usr/bin/env bash
# sermida-cli run as a user runs it: exit codes, output, and files on disk.
set -u
cli=${1:?usage: cli_tests.sh PATH-TO-sermida-cli}
work=$(mktemp -d /tmp/sermida-cli-test.XXXXXX)
chmod 755 "$work"
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
passed=0
failed=0

check() { # name, then a command that must succeed
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $name"
    fi
}

exit_is() { # expected-code command...
    local want=$1
    shift
    "$@" >/dev/null 2>&1
    [[ $? -eq $want ]]
}

# --- usage -------------------------------------------------------------------
check "help exits 0 and names the commands" bash -c "'$cli' --help | grep -q resave"
check "no command is a usage error" exit_is 2 "$cli"
check "unknown command is a usage error" exit_is 2 "$cli" frobnicate
check "info without a file is a usage error" exit_is 2 "$cli" info
check "resave with three files is a usage error" exit_is 2 "$cli" resave a b c

# --- info ----------------------------------------------------------------------
printf 'O0001\r\nG0 X0\r\nM30\r\n' >"$work/crlf.nc"
check "info on a CR LF file" \
    diff <("$cli" info "$work/crlf.nc") <(printf 'lines: 4\nline-end: CRLF\nbytes: 19\n')
printf 'G0\n\rG1' >"$work/lfcr.nc"
check "info on an LF CR file" \
    diff <("$cli" info "$work/lfcr.nc") <(printf 'lines: 2\nline-end: LFCR\nbytes: 6\n')
printf 'G0\nG1\n' >"$work/lf.nc"
check "info on an LF file" \
    diff <("$cli" info "$work/lf.nc") <(printf 'lines: 3\nline-end: LF\nbytes: 6\n')
check "info on a missing file fails" exit_is 1 "$cli" info "$work/none.nc"

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
check "resave of a missing file fails" exit_is 1 "$cli" resave "$work/none.nc" "$work/x.nc"
check "nothing is created for a missing input" test ! -e "$work/x.nc"

# --- send to receive through a cable made by socat -------------------------------------
if command -v socat >/dev/null; then
    socat pty,raw,echo=0,link="$work/ctl" pty,raw,echo=0,link="$work/pc" 2>/dev/null &
    socat_pid=$!
    for _ in $(seq 50); do [[ -e "$work/pc" && -e "$work/ctl" ]] && break; sleep 0.1; done
    printf 'O0001\r\nN1 G0 X1 ; rapid\r\n;note\r\nM30' >"$work/s.nc"
    "$cli" receive --device "$work/ctl" --baud 115200 --idle-timeout 1 "$work/r.nc" 2>/dev/null &
    receiver=$!
    sleep 0.3
    check "send exits 0 after the last line" exit_is 0 "$cli" send --device "$work/pc" --baud 115200 "$work/s.nc"
    wait "$receiver"
    check "receive exits 0 after the idle time" test $? -eq 0
    printf 'O0001\r\nN1 G0 X1 \r\n\r\nM30\r\n' >"$work/expected.nc"
    check "the program arrives cut at ';' with CR LF" cmp -s "$work/expected.nc" "$work/r.nc"
    check "send on a missing device fails" exit_is 1 "$cli" send --device "$work/none" "$work/s.nc"
    check "send with a bad option value is a usage error" exit_is 2 "$cli" send --baud x "$work/s.nc"
    kill "$socat_pid" 2>/dev/null
    wait "$socat_pid" 2>/dev/null
fi

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
