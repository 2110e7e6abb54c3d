// The one failure type of the command-line tool: a message for the user,
// already naming the file, row or field at fault, and the exit status.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

namespace mosaro::tool {

enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1,     // bad input, unwritable output, a refused run
    kExitUsage = 2,       // the command line itself (CLI11's own code)
    kExitCancelled = 130  // Ctrl-C, as shells report SIGINT
};

class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message, int status = kExitFailure)
        : std::runtime_error(message), status_(status) {}
    int Status() const { return status_; }

private:
    int status_;
};

// A number as messages show it (%g): short, as the user would type it.
inline std::string MessageNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace mosaro::tool
