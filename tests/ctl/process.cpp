#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace ctltest {

Process::Process(const std::vector<std::string>& argv, const std::string& stdoutFile) {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (pipe(err) != 0) return;
    if (stdoutFile.empty() && pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutFile.empty()) {
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    posix_spawn_file_actions_addclose(&actions, err[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(err[1]);
    err_ = err[0];
    if (stdoutFile.empty()) {
        close(out[1]);
        out_ = out[0];
    }
}

Process::~Process() {
    if (pid_ > 0) Wait(std::chrono::milliseconds(0));
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

void Process::Pump(int timeoutMs) {
    pollfd fds[2];
    nfds_t n = 0;
    if (out_ >= 0) fds[n++] = {out_, POLLIN, 0};
    if (err_ >= 0) fds[n++] = {err_, POLLIN, 0};
    if (n == 0) {
        usleep(static_cast<useconds_t>(timeoutMs) * 1000);
        return;
    }
    if (poll(fds, n, timeoutMs) <= 0) return;
    for (nfds_t i = 0; i < n; ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        char buffer[4096];
        const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        std::string& sink = fds[i].fd == out_ ? result_.out : result_.err;
        if (got > 0) {
            sink.append(buffer, static_cast<size_t>(got));
        } else {
            (fds[i].fd == out_ ? out_ : err_) = -1;
            close(fds[i].fd);
        }
    }
}

bool Process::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (result_.out.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline || (out_ < 0 && err_ < 0)) return false;
        Pump(20);
    }
    return true;
}

void Process::Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

Result Process::Wait(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return result_;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        Pump(20);
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
    }
    while (out_ >= 0 || err_ >= 0) Pump(100);
    pid_ = -1;
    result_.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result_;
}

Result Run(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    Process process(argv);
    return process.Wait(limit);
}

}  // namespace ctltest
