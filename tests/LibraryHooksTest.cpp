// The load and unload trace, seen from a child process that loads and
// unloads the shared library (a test cannot unload what it links).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

// The probe's stderr, run with `setting` as its whole environment; its
// stdout is discarded.
std::string ProbeStderr(const std::string& setting) {
    const std::string command =
        "env -i " + setting + " '" MOSARO_PROBE_PATH "' '" MOSARO_LIBRARY_PATH "' 2>&1 >/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "popen failed";
    std::string output;
    char buffer[256];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "probe failed: " << output;
    return output;
}

TEST(LibraryHooksTest, OneLineInsideLoadAndOneInsideUnloadOnlyWhenTraced) {
    EXPECT_EQ(ProbeStderr("MOSARO_TRACE=1"),
              "[dlopen]\nMOSARO.DLL Initializing!\n[dlclose]\nMOSARO.DLL Terminating!\n[end]\n");
    for (const char* setting : {"", "MOSARO_TRACE=0"})
        EXPECT_EQ(ProbeStderr(setting), "[dlopen]\n[dlclose]\n[end]\n") << "environment: " << setting;
}

}  // namespace
