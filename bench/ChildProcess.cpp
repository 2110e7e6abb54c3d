#include "ChildProcess.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>

namespace mosaro_bench {
namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written <= 0) return false;
        data += written, size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

ChildResult RunInChild(const std::function<std::string()>& work, int limitSeconds) {
    ChildResult result;
    int channel[2];
    if (pipe(channel) != 0) {
        result.failure = std::strerror(errno);
        return result;
    }
    std::fflush(nullptr);  // or the child would print the parent's buffered lines again
    const pid_t child = fork();
    if (child < 0) {
        result.failure = std::strerror(errno);
        close(channel[0]), close(channel[1]);
        return result;
    }
    if (child == 0) {
        close(channel[0]);
        alarm(static_cast<unsigned>(limitSeconds));  // SIGALRM ends the child
        int status = 0;
        try {
            const std::string output = work();
            if (!WriteAll(channel[1], output.data(), output.size())) status = 3;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "measurement failed: %s\n", e.what());
            status = 4;
        }
        close(channel[1]);
        _exit(status);
    }
    close(channel[1]);
    char buffer[1 << 16];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kibibytes on Linux
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        result.finished = true;
    } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
        result.failure = "over " + std::to_string(limitSeconds) + " s";
    } else if (WIFSIGNALED(status)) {
        result.failure = std::string("signal ") + strsignal(WTERMSIG(status));
    } else {
        result.failure = "exit " + std::to_string(WEXITSTATUS(status));
    }
    return result;
}

}  // namespace mosaro_bench
