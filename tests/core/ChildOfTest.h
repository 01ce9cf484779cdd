#pragma once
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

// Called first in a child just forked from a test, with the test's pid from
// before the fork: the child dies with the test. A test stopped for taking too
// long (SIGKILL) then leaves no server behind to keep the runner's output open.
inline void DieWithTest(pid_t test) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != test)
        ::_exit(1); // the test was gone before the line above
}
