// Running a piece of a test in a forked child, for what a test cannot do in its own
// process: bound a call that might block for ever, take away write access to files even
// from root, drop root so that file permissions apply, or measure peak memory.
#pragma once

#include <functional>
#include <string>

struct ChildOptions {
    unsigned timeoutSeconds = 10;  // the child is killed by SIGALRM after this
    // Every open that asks for write access (or to create or truncate) fails with EACCES,
    // whoever runs the test: a seccomp filter, which root cannot bypass.
    bool denyWriteOpens = false;
    // As root, run as the unprivileged user 65534, so that mode 000 means unreadable.
    bool unprivileged = false;
};

struct ChildResult {
    bool exited = false;      // ended by returning from the body
    bool timedOut = false;    // killed by the alarm: the body blocked or looped
    int signal = 0;           // the signal that ended it otherwise
    std::string output;       // what the body returned
    std::string setupError;   // the child could not be set up as asked (then output is empty)
    long peakKilobytes = 0;   // the child's peak resident size
    std::string describe() const;  // for failure messages
};

// Forks; the child sets itself up as asked, runs body and hands its result back through
// a pipe. The body must not use gtest assertions: it reports through its result.
ChildResult runInChild(const std::function<std::string()>& body, const ChildOptions& options = {});

// This process's line "<field>: N kB" of /proc/self/status (VmRSS, VmHWM, VmSize), or -1.
long procStatusKilobytes(const char* field);
// Starts VmHWM (the peak resident size) afresh from the current resident size.
bool resetPeakResident();

// Runs a shell command and collects its standard output (add 2>&1 to the command for
// its errors too); returns its exit status, or -1 when it did not exit normally.
int runCommand(const std::string& command, std::string& output);
