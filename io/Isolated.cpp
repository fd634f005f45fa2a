#include "Isolated.h"

#if defined(__unix__) || defined(__APPLE__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#endif

namespace vistrel {

#if defined(__unix__) || defined(__APPLE__)

bool RunIsolated(const std::function<std::vector<uint8_t>()>& work, unsigned cpuSeconds, std::vector<uint8_t>& result,
                 std::string& error) {
    int fds[2];
    if (pipe(fds) != 0) {
        error = std::string("cannot start its reader: ") + std::strerror(errno);
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        error = std::string("cannot start its reader: ") + std::strerror(errno);
        return false;
    }
    if (child == 0) {
        // a fault of the library ends this process only, without the handlers it inherited
        for (const int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGXCPU}) std::signal(sig, SIG_DFL);
        const rlimit limit{cpuSeconds, cpuSeconds + 1};
        setrlimit(RLIMIT_CPU, &limit);
        close(fds[0]);
        int status = 0;
        try {
            const std::vector<uint8_t> bytes = work();
            for (std::size_t at = 0; at < bytes.size();) {
                const ssize_t n = write(fds[1], bytes.data() + at, bytes.size() - at);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    status = 3;
                    break;
                }
                at += static_cast<std::size_t>(n);
            }
        } catch (...) {
            status = 4;
        }
        close(fds[1]);
        _exit(status);
    }
    close(fds[1]);
    result.clear();
    uint8_t buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.insert(result.end(), buffer, buffer + n);
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status) && (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL)) {
        error = "its reader took more than " + std::to_string(cpuSeconds) + " s on it and was stopped";
        return false;
    }
    if (WIFSIGNALED(status)) {
        error = std::string("its reader crashed on it (") + strsignal(WTERMSIG(status)) + ")";
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "its reader stopped on it (status " + std::to_string(WEXITSTATUS(status)) + ")";
        return false;
    }
    return true;
}

#else

bool RunIsolated(const std::function<std::vector<uint8_t>()>& work, unsigned cpuSeconds, std::vector<uint8_t>& result,
                 std::string& error) {
    try {
        result = work();
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

#endif

}  // namespace vistrel
