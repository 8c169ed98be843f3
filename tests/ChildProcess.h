#pragma once

// Runs body in a child process and returns its exit code (128 + the signal when one ended it): for what must
// not touch the test process's limits, mounts or identity (a file size limit, an unprivileged user).

#include <sys/wait.h>
#include <unistd.h>

template <class Body>
int inChild(Body body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
