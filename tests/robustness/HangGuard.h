// HangGuard: a hard time limit for a test step that must never block, such as opening a FIFO.
#pragma once

#include <csignal>
#include <cstring>
#include <unistd.h>

// While a guard lives, the process is ended with a message and status 3 if
// `seconds` pass: a step that blocks in a system call fails the test instead
// of hanging the suite. One guard at a time.
class HangGuard {
public:
    explicit HangGuard(const char *what, unsigned seconds = 10)
    {
        what_ = what;
        struct sigaction action {};
        action.sa_handler = &HangGuard::expired;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGALRM, &action, &previous_);
        ::alarm(seconds);
    }
    ~HangGuard()
    {
        ::alarm(0);
        ::sigaction(SIGALRM, &previous_, nullptr);
    }

    HangGuard(const HangGuard &) = delete;
    HangGuard &operator=(const HangGuard &) = delete;

private:
    static void expired(int)
    {
        // Only async-signal-safe calls from here on.
        static const char prefix[] = "\nHUNG: ";
        (void)!::write(2, prefix, sizeof prefix - 1);
        (void)!::write(2, what_, std::strlen(what_));
        (void)!::write(2, "\n", 1);
        ::_exit(3);
    }

    static inline const char *what_ = "";
    struct sigaction previous_ {};
};
