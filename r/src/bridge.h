// What every binding of the package shares: the progress callback that lets
// R interrupt a run, the one place a library status becomes an R error, and
// models moved as the library's notation.
#pragma once

#include <Rcpp.h>

#include <string>

#include "mosaro.h"

namespace mosaro_r {

// Passed to the library as its progress callback. The library calls it on
// R's thread only, so it may look at R's interrupt flag; it does so through
// R_ToplevelExec, since a pending interrupt would otherwise jump straight
// out of the library's frames.
struct Progress {
    bool show = false;
    bool interrupted = false;
    int drawn = -1;  // percent last drawn, -1: nothing drawn yet

    static int Callback(void* self, mosaro_stage stage, int pass, double fraction);
    void Close();
};

// Signals the failed call's status as an R error with the library's
// message (it names the argument), or as R's own interrupt when the run
// stopped for one. `what` says which call, for the message.
[[noreturn]] void Fail(mosaro_status status, const Progress* progress = nullptr);

// A model in the notation ("0.05 Nug + 0.59 Sph(897)"): parsed by the
// library, so its messages name what is wrong; written back in the shortest
// form that reads back to the same bits.
mosaro_model ParseModel(const std::string& text, const char* argument);
std::string FormatModel(const mosaro_model& model);

// x, y and value of one length, as an int count for the library.
int SampleCount(const Rcpp::NumericVector& x, const Rcpp::NumericVector& y, const Rcpp::NumericVector& value);

}  // namespace mosaro_r
