// The load and unload trace, seen from a child process that loads and
// unloads the shared library (a test cannot unload what it links).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

// The probe's stderr, run with `setting` as its whole environment (nullptr:
// none); its stdout is discarded.
std::string ProbeStderr(const char* setting) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const char* argv[] = {MOSARO_PROBE_PATH, MOSARO_LIBRARY_PATH, nullptr};
    const char* envp[] = {setting, nullptr};
    pid_t child;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, const_cast<char**>(argv),
                                    const_cast<char**>(envp));
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string output;
    char buffer[256];
    for (ssize_t got; spawned == 0 && (got = read(fds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<size_t>(got));
    close(fds[0]);
    int status = -1;
    if (spawned == 0) waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "probe failed: " << output;
    return output;
}

TEST(LibraryHooksTest, OneLineInsideLoadAndOneInsideUnloadWhenTraced) {
    EXPECT_EQ(ProbeStderr("MOSARO_TRACE=1"),
              "[dlopen]\nMOSARO.DLL Initializing!\n[dlclose]\nMOSARO.DLL Terminating!\n[end]\n");
}

TEST(LibraryHooksTest, SilentUnlessTraced) {
    EXPECT_EQ(ProbeStderr(nullptr), "[dlopen]\n[dlclose]\n[end]\n");
    EXPECT_EQ(ProbeStderr("MOSARO_TRACE=0"), "[dlopen]\n[dlclose]\n[end]\n");
}

}  // namespace
