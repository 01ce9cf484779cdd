# Shared by the shell tests (sourced): `check NAME COMMAND...` counts a pass or
# says what failed; `check_summary [LABEL]` prints the counts and is false when
# anything failed, so that it can end the script. Every check is printed with
# the seconds since the start, so that the output of a run stopped for taking
# too long ends at the step that hung.
passed=0
failed=0

check() { # name, then a command that must succeed
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok: $name (${SECONDS} s)"
    else
        failed=$((failed + 1))
        echo "FAIL: $name (${SECONDS} s)"
    fi
}

# until_true SECONDS COMMAND...: polls until COMMAND holds; false when time is up.
until_true() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.02
    done
}

# An exited child stays a zombie until it is waited for.
ended() { [[ ! -e /proc/$1/stat || $(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) == Z ]]; }
running() { ! ended "$1"; }

# finished PID SECONDS: the exit code of a background job, or 124 (and the job
# killed) when it has not ended in time: a hang fails a check, never the run.
finished() {
    if ! until_true "$2" ended "$1"; then
        kill -9 "$1" 2>/dev/null
        wait "$1" 2>/dev/null
        return 124
    fi
    wait "$1"
}

# stop_job PID [SIGNAL]: signals a background job (TERM unless told) and reaps
# it; one still there after 10 s is killed. The job's exit code, or 124.
stop_job() {
    kill -"${2:-TERM}" "$1" 2>/dev/null
    finished "$1" 10
}

# watch_run SECONDS: a run still going after SECONDS prints every process with
# what it waits in, so that a hang the test runner then stops leaves a trace.
# (Its sleep keeps no output open: ended with the script, it holds nothing.)
watch_run() {
    {
        sleep "$1" >/dev/null 2>&1
        echo "STILL RUNNING after $1 s; the processes and what they wait in:"
        ps -e --forest -o pid,stat,wchan:32,etimes,args | cut -c1-220
    } &
}

# The background jobs still running end with the script: none may outlive it
# holding the test runner's output open, which would keep the run waiting.
end_jobs() {
    local pid
    for pid in $(jobs -p); do stop_job "$pid" 2>/dev/null; done
}

# listening PORT: something accepts connections on 127.0.0.1:PORT.
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# A TCP port of 127.0.0.1 that nothing listens on now.
free_port() {
    local p
    while :; do
        p=$((20000 + RANDOM % 40000))
        listening "$p" || { echo "$p"; return; }
    done
}

check_summary() {
    echo "${1:+$1: }$passed passed, $failed failed"
    [[ $failed -eq 0 ]]
}
