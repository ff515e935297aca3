#pragma once

// The command-line tool and the logger simulator run as processes of their own, as a user's script runs
// them.

#include <chrono>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace selva::test {

// A program started with its standard output and error on pipes; killed (by its own id) when dropped.
class Child {
public:
    explicit Child(std::vector<std::string> args)
    {
        int outPipe[2], errPipe[2];
        if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
        posix_spawn_file_actions_addclose(&actions, outPipe[0]);
        posix_spawn_file_actions_addclose(&actions, errPipe[0]);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        out_ = outPipe[0];
        err_ = errPipe[0];
    }
    ~Child()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    // Reads standard output (or error) until `text` has appeared, for at most `seconds`.
    bool waitFor(bool fromErr, const std::string& text, double seconds)
    {
        std::string& seen = fromErr ? err : out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (seen.find(text) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(fromErr ? err_ : out_, seen, static_cast<int>(left.count())))
                return seen.find(text) != std::string::npos;
        }
        return true;
    }
    void kill() { ::kill(pid_, SIGKILL); }
    // Waits for the exit and collects the rest of the output; the exit code, or -1. Both pipes are read
    // together until both end, so a program that fills one while the other stays silent never stalls.
    int exitCode()
    {
        pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        std::string* into[2] = {&out, &err};
        while ((p[0].fd >= 0 || p[1].fd >= 0) && ::poll(p, 2, -1) > 0) {
            for (int i = 0; i < 2; ++i)
                if (p[i].revents != 0 && !readOnce(p[i].fd, *into[i]))
                    p[i].fd = -1; // ended: poll passes over it
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string out, err;

private:
    static bool readOnce(int fd, std::string& into)
    {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            into.append(buffer, static_cast<std::size_t>(n));
        return n > 0;
    }
    static bool readSome(int fd, std::string& into, int ms)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0 && readOnce(fd, into);
    }

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
};

} // namespace selva::test
