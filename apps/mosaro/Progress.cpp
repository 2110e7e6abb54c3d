#include "Progress.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "ToolError.h"

namespace mosaro::tool {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) { g_interrupted = 1; }

constexpr double kDelaySeconds = 1.0;
constexpr int kBarWidth = 40;

const char* StageName(mosaro_stage stage) {
    switch (stage) {
        case MOSARO_STAGE_VARIOGRAMS: return "variograms";
        case MOSARO_STAGE_FIT: return "fit";
        case MOSARO_STAGE_SWEEP: return "kriging";
    }
    return "";
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
    struct sigaction current {};
    if (::sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
    struct sigaction catcher {};
    catcher.sa_handler = OnInterrupt;
    sigemptyset(&catcher.sa_mask);
    installed_ = ::sigaction(SIGINT, &catcher, &previous_) == 0;
}

InterruptCatcher::~InterruptCatcher() {
    if (installed_) ::sigaction(SIGINT, &previous_, nullptr);
}

void ThrowIfInterrupted() {
    if (g_interrupted) throw ToolError("cancelled; no file written", kExitCancelled);
}

ProgressReporter::ProgressReporter(bool quiet)
    : enabled_(!quiet && ::isatty(STDERR_FILENO)), start_(std::chrono::steady_clock::now()) {}

ProgressReporter::~ProgressReporter() {
    if (drawn_) std::fputs("\n", stderr);
}

bool ProgressReporter::Interrupted() { return g_interrupted != 0; }

int ProgressReporter::Callback(void* self, mosaro_stage stage, int, double fraction) {
    auto* reporter = static_cast<ProgressReporter*>(self);
    if (g_interrupted) return 0;
    if (reporter->enabled_) reporter->Draw(stage, fraction);
    return 1;
}

void ProgressReporter::Draw(mosaro_stage stage, double fraction) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (!drawn_ && elapsed < kDelaySeconds) return;
    drawn_ = true;
    const int filled = static_cast<int>(fraction * kBarWidth + 0.5);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%% %-10s %5.1f s", bar, static_cast<int>(fraction * 100 + 0.5), StageName(stage),
                 elapsed);
    std::fflush(stderr);
}

}  // namespace mosaro::tool
