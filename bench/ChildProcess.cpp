#include "ChildProcess.h"

#include <sys/select.h>
#include <sys/wait.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

extern char **environ;

std::string runProcess(std::vector<std::string> args, int seconds, std::string &failure)
{
    int out[2];
    if (pipe(out) != 0) {
        failure = "no pipe";
        return "";
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        failure = "could not start";
        return "";
    }
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(child, SIGKILL);
            failure = "> " + std::to_string(seconds) + " s";
            break;
        }
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(out[0], &ready);
        timeval wait{static_cast<time_t>(left.count() / 1000), static_cast<suseconds_t>(left.count() % 1000 * 1000)};
        if (select(out[0] + 1, &ready, nullptr, nullptr, &wait) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = read(out[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        output.append(buffer, static_cast<std::size_t>(got));
    }
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (failure.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        failure = WIFSIGNALED(status) ? std::string("killed: ") + strsignal(WTERMSIG(status)) : "failed";
    return failure.empty() ? output : "";
}

