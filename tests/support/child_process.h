// Runs a piece of a test in a forked child, a process of its own: for
// what a process does once (the log header) or holds until it dies.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace testsupport {

// Runs `body` in a child and returns its exit status (-1 on a signal).
inline int run_in_child(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testsupport
