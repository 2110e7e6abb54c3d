#include "bridge.h"

#include <Rinternals.h>

#include <limits>
#include <vector>

namespace mosaro_r {
namespace {

void CheckInterrupt(void*) { R_CheckUserInterrupt(); }

}  // namespace

int Progress::Callback(void* self, mosaro_stage, int, double fraction) {
    auto& progress = *static_cast<Progress*>(self);
    // FALSE: R_CheckUserInterrupt jumped, i.e. the user interrupted.
    if (R_ToplevelExec(CheckInterrupt, nullptr) == FALSE) {
        progress.interrupted = true;
        return 0;
    }
    if (progress.show) {
        const int percent = static_cast<int>(fraction * 100.0 + 0.5);
        if (percent != progress.drawn) {
            progress.drawn = percent;
            const int filled = percent * 40 / 100;
            REprintf("\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(40 - filled), '.').c_str(), percent);
        }
    }
    return 1;
}

void Progress::Close() {
    // The next output starts on a line of its own.
    if (drawn >= 0) REprintf("\n");
    drawn = -1;
}

void Fail(mosaro_status status, const Progress* progress) {
    if (status == MOSARO_ERROR_CANCELLED && progress != nullptr && progress->interrupted)
        throw Rcpp::internal::InterruptedException();
    std::string message = mosaro_last_message();
    if (message.empty()) message = mosaro_status_string(status);
    throw Rcpp::exception(message.c_str(), false);
}

mosaro_model ParseModel(const std::string& text, const char* argument) {
    mosaro_model model;
    mosaro_model_init(&model);
    if (mosaro_model_parse(text.c_str(), &model) != MOSARO_OK)
        Rcpp::stop("%s: %s (in \"%s\")", argument, mosaro_last_message(), text);
    return model;
}

std::string FormatModel(const mosaro_model& model) {
    std::vector<char> text(256);
    for (;;) {
        const mosaro_status status = mosaro_model_format(&model, text.data(), text.size());
        if (status == MOSARO_OK) return std::string(text.data());
        if (status != MOSARO_ERROR_TOO_LARGE) Fail(status);
        text.resize(text.size() * 4);
    }
}

int SampleCount(const Rcpp::NumericVector& x, const Rcpp::NumericVector& y, const Rcpp::NumericVector& value) {
    if (x.size() != y.size() || x.size() != value.size())
        Rcpp::stop("x, y and the values must have one length (got %d, %d and %d)", x.size(), y.size(), value.size());
    if (x.size() > std::numeric_limits<int>::max()) Rcpp::stop("more samples than the library takes (2^31 - 1)");
    return static_cast<int>(x.size());
}

}  // namespace mosaro_r
