// Runs a piece of a test in a child process: as an unprivileged user, so that
// file permissions apply even when the tests run as root, or with a limit on
// the size of the files it writes, so that writing fails as on a full disk.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <functional>
#include <stdexcept>
#include <string>

namespace quenlet::test {

struct ChildResult {
    int status;          // the child's exit status, -1 if it did not exit
    std::string report;  // what the child returned as text
};

struct ChildLimits {
    bool unprivileged = false;
    long maxFileBytes = -1;  // no limit
};

// `body` returns the exit status and fills the report.
inline ChildResult runInChild(const std::function<int(std::string& report)>& body, ChildLimits limits) {
    int pipes[2];
    if (::pipe(pipes) != 0) throw std::runtime_error("pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipes[0]);
        if (limits.maxFileBytes >= 0) {
            std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
            const rlimit limit{static_cast<rlim_t>(limits.maxFileBytes), static_cast<rlim_t>(limits.maxFileBytes)};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(97);
        }
        if (limits.unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
        std::string report;
        const int status = body(report);
        if (::write(pipes[1], report.data(), report.size()) < 0) ::_exit(98);
        ::_exit(status);
    }
    ::close(pipes[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipes[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
    ::close(pipes[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, report};
}

inline ChildResult runUnprivileged(const std::function<int(std::string& report)>& body) {
    return runInChild(body, {.unprivileged = true});
}

}  // namespace quenlet::test
