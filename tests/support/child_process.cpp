#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fstream>

namespace {

#if defined(__x86_64__)
constexpr unsigned hostArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned hostArch = AUDIT_ARCH_AARCH64;
#endif

#ifdef __NR_open
constexpr unsigned syscallOpen = __NR_open;
#else
constexpr unsigned syscallOpen = 0xFFFFFFFFu;  // no such call here: never matches
#endif
#ifdef __NR_creat
constexpr unsigned syscallCreat = __NR_creat;
#else
constexpr unsigned syscallCreat = 0xFFFFFFFFu;
#endif
#ifndef __NR_openat2
#define __NR_openat2 437
#endif

// open and openat with any write, create or truncate flag fail with EACCES; so do
// openat2 (whose flags sit behind a pointer the filter cannot read) and creat.
bool denyWriteOpens(std::string& error) {
#if defined(__x86_64__) || defined(__aarch64__)
    constexpr unsigned writeFlags = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC;
    constexpr unsigned deny = SECCOMP_RET_ERRNO | (EACCES & SECCOMP_RET_DATA);
    // Jump offsets count the instructions skipped; the numbers on the right are the
    // instructions' positions.
    const sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),            // 0
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, hostArch, 1, 0),                         // 1 -> 3
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),                         // 2
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),              // 3
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 3, 0),                      // 4 -> 8
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, syscallOpen, 4, 0),                      // 5 -> 10
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat2, 6, 0),                     // 6 -> 13
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, syscallCreat, 5, 4),                     // 7 -> 13, 12
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),         // 8 openat flags
        BPF_JUMP(BPF_JMP | BPF_JA, 1, 0, 0),                                         // 9 -> 11
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[1])),         // 10 open flags
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, writeFlags, 1, 0),                      // 11 -> 13, 12
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),                                // 12
        BPF_STMT(BPF_RET | BPF_K, deny),                                             // 13
    };
    sock_fprog program{};
    program.len = static_cast<unsigned short>(sizeof filter / sizeof filter[0]);
    program.filter = const_cast<sock_filter*>(filter);
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0) {
        error = std::string("cannot install the seccomp filter: ") + std::strerror(errno);
        return false;
    }
    return true;
#else
    error = "no seccomp filter for this architecture";
    return false;
#endif
}

bool dropRoot(std::string& error) {
    if (geteuid() != 0) return true;
    constexpr uid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) {
        error = std::string("cannot drop root: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0 && errno != EINTR) return;
        if (n > 0) done += size_t(n);
    }
}

// The child's side: a first byte says whether set-up worked, then the text.
[[noreturn]] void runChild(int out, const std::function<std::string()>& body, const ChildOptions& options) {
    alarm(options.timeoutSeconds);
    std::string error;
    const bool ready = (!options.unprivileged || dropRoot(error)) &&
                       (!options.denyWriteOpens || denyWriteOpens(error));
    if (!ready) {
        writeAll(out, "E" + error);
        _exit(0);
    }
    const std::string result = body();
    writeAll(out, "R" + result);
    _exit(0);
}

}  // namespace

std::string ChildResult::describe() const {
    if (!setupError.empty()) return "child set-up failed: " + setupError;
    if (timedOut) return "the child was still running at its time limit (blocked?)";
    if (!exited) return "the child died of signal " + std::to_string(signal);
    return "the child returned: " + output;
}

ChildResult runInChild(const std::function<std::string()>& body, const ChildOptions& options) {
    ChildResult result;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        result.setupError = std::string("pipe: ") + std::strerror(errno);
        return result;
    }
    std::fflush(nullptr);  // buffered output must not be written twice
    const pid_t pid = fork();
    if (pid < 0) {
        result.setupError = std::string("fork: ") + std::strerror(errno);
        close(pipeFds[0]);
        close(pipeFds[1]);
        return result;
    }
    if (pid == 0) {
        close(pipeFds[0]);
        runChild(pipeFds[1], body, options);
    }
    close(pipeFds[1]);
    std::string received;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, size_t(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.peakKilobytes = usage.ru_maxrss;
    if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
        result.timedOut = result.signal == SIGALRM;
    } else if (!received.empty() && received[0] == 'E') {
        result.setupError = received.substr(1);
    } else if (!received.empty() && received[0] == 'R') {
        result.exited = true;
        result.output = received.substr(1);
    } else {
        result.setupError = "the child ended without a result (status " + std::to_string(status) + ")";
    }
    return result;
}

long procStatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    }
    return -1;
}

bool resetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

int runCommand(const std::string& command, std::string& output) {
    output.clear();
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
