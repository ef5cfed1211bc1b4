// Runs a piece of a test, or a program, in a child process: as an unprivileged
// user, so that file permissions apply even when the tests run as root, or
// with limits: on the size of the files it writes, so that writing fails as
// on a full disk, on the number of processes and threads, on descriptors.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quenlet::test {

struct ChildResult {
    int status;          // the child's exit status, -1 if it did not exit
    std::string report;  // what the child returned as text
};

struct ChildLimits {
    bool unprivileged = false;
    long maxFileBytes = -1;  // no limit
    long maxProcesses = -1;  // threads count too; only binds an unprivileged child
    long maxOpenFiles = -1;  // descriptors
};

// Sets a soft and hard limit in the child; _exit(97) when it cannot be set.
inline void limitChild(int resource, long value) {
    if (value < 0) return;
    const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
    if (::setrlimit(resource, &limit) != 0) ::_exit(97);
}

// `body` returns the exit status and fills the report.
inline ChildResult runInChild(const std::function<int(std::string& report)>& body, ChildLimits limits) {
    int pipes[2];
    if (::pipe(pipes) != 0) throw std::runtime_error("pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipes[0]);
        if (limits.maxFileBytes >= 0) std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        limitChild(RLIMIT_FSIZE, limits.maxFileBytes);
        if (limits.unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
        limitChild(RLIMIT_NPROC, limits.maxProcesses);
        limitChild(RLIMIT_NOFILE, limits.maxOpenFiles);
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

namespace quenlet::test {

// A program started in a child process with the given limits and extra
// environment; its standard error is captured, standard output discarded, and
// it inherits no descriptor of the tests but these -- less the standard
// streams named `closed` (0, 1, 2), as with `<&-` in a shell.
class Program {
public:
    Program(const std::vector<std::string>& args, ChildLimits limits = {}, const std::vector<std::string>& env = {},
            const std::vector<int>& closed = {}) {
        int pipes[2];
        if (::pipe2(pipes, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            const int devNull = ::open("/dev/null", O_RDWR);
            ::dup2(devNull, 0);
            ::dup2(devNull, 1);
            ::dup2(pipes[1], 2);
            ::close_range(3, ~0U, 0);
            for (int fd : closed) ::close(fd);
            // As from a shell: a write beyond the file-size limit raises
            // SIGXFSZ, which the program itself must keep from ending it.
            std::signal(SIGXFSZ, SIG_DFL);
            limitChild(RLIMIT_FSIZE, limits.maxFileBytes);
            if (limits.unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
            limitChild(RLIMIT_NPROC, limits.maxProcesses);
            limitChild(RLIMIT_NOFILE, limits.maxOpenFiles);
            for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);  // as from a terminal
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            for (const std::string& setting : env) ::putenv(const_cast<char*>(setting.c_str()));
            std::vector<char*> argv;
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(pipes[1]);
        err_ = pipes[0];
    }
    ~Program() {
        if (pid_ > 0) wait();
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t pid() const { return pid_; }

    struct Result {
        int status = -1;  // the exit status, -1 when ended by a signal
        int signal = 0;   // the signal that ended it
        std::string err;
    };
    Result wait() {
        Result result;
        char buffer[4096];
        for (ssize_t n; (n = ::read(err_, buffer, sizeof buffer)) > 0;) result.err.append(buffer, n);
        ::close(err_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
        return result;
    }

private:
    pid_t pid_ = -1;
    int err_ = -1;
};

}  // namespace quenlet::test
