# Shared by the shell tests (sourced): `check NAME COMMAND...` counts a pass or
# says what failed; `check_summary [LABEL]` prints the counts and is false when
# anything failed, so that it can end the script.
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

# A TCP port of 127.0.0.1 that nothing listens on now.
free_port() {
    local p
    while :; do
        p=$((20000 + RANDOM % 40000))
        (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
    done
}

check_summary() {
    echo "${1:+$1: }$passed passed, $failed failed"
    [[ $failed -eq 0 ]]
}
