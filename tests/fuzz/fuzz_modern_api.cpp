// Fuzz target: the modern API's request, every field decoded from the
// input, through mosaro_grid, mosaro_samples_create + mosaro_grid_samples
// and mosaro_fit_variograms, then the report's accessors with indexes from
// the input. Arrays are exactly as long as the request says.
//
// The API's promises are checked, not only its memory use: every call
// returns a known status; an error leaves a message and writes nothing (the
// grid, the variance and the report pointer stay as passed); a run whose
// progress callback never stops it does not come back cancelled.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "sweeps/GridNodes.h"
#include "mosaro.h"

namespace {

constexpr float kSentinel = -7.25f;

// Stores any int in an enum field, as a C host may.
template <class Enum>
void Store(Enum& field, int code) {
    std::memcpy(&field, &code, sizeof code);
}

void Fail(const char* what, int status) {
    std::fprintf(stderr, "fuzz_modern_api: %s (status %d: %s)\n", what, status, mosaro_last_message());
    std::abort();
}

bool Untouched(const std::vector<float>& v) {
    return std::all_of(v.begin(), v.end(), [](float x) { return std::memcmp(&x, &kSentinel, sizeof x) == 0; });
}

struct Progress {
    int callsLeft;  // stops the run when it reaches 0; negative: never
    int calls = 0;
};

int OnProgress(void* userData, mosaro_stage, int, double fraction) {
    auto* p = static_cast<Progress*>(userData);
    if (!(fraction >= 0.0 && fraction <= 1.0)) Fail("progress fraction outside [0, 1]", 0);
    ++p->calls;
    return p->callsLeft < 0 || p->calls < p->callsLeft ? 1 : 0;
}

void ReadReport(mosaro_fuzz::FuzzInput& in, const mosaro_report* report) {
    const int passes = mosaro_report_pass_count(report);
    for (int k = 0; k < 3; ++k) {
        const int pass = in.Small(-1, 2) + (k == 0 ? 0 : passes - 1);
        const int direction = in.Small(-1, 3);
        mosaro_pass_report summary;
        mosaro_report_pass(report, pass, &summary);
        const float *lag = nullptr, *pairs = nullptr, *semivariance = nullptr;
        int count = -1;
        if (mosaro_report_table(report, pass, direction, in.Small(-1, 2), &lag, &pairs, &semivariance, &count) ==
            MOSARO_OK) {
            float sum = 0.0f;  // every promised entry must be readable
            for (int c = 0; c < count; ++c) sum += lag[c] + pairs[c] + semivariance[c];
            (void)sum;
        }
        mosaro_direction_fit fit;
        fit.struct_size = in.Flag() ? sizeof fit : static_cast<std::size_t>(in.Small(0, 64));
        if (mosaro_report_fit(report, pass, direction, &fit) == MOSARO_OK && fit.struct_size == sizeof fit &&
            fit.reason != nullptr)
            (void)std::strlen(fit.reason);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    mosaro_fuzz::FuzzInput in(bytes, size);
    mosaro_request r;
    mosaro_request_init_size(&r, sizeof r);
    const std::uint8_t layout = in.Byte();
    if (layout % 8 == 1) r.struct_size = offsetof(mosaro_request, fit);
    if (layout % 8 == 2) r.struct_size = static_cast<std::size_t>(in.Small(0, 255));
    if (layout % 8 == 3) r.struct_size = sizeof r + static_cast<std::size_t>(in.Small(1, 64));

    // Samples: x, y, value and the extra value columns, each sample_count long.
    const int count = in.Count(1, 40);
    if (count > 200) return 0;  // a longer array than a harness gives; a negative one is refused
    const int extras = in.Count(0, 3);
    if (extras > 4) return 0;
    const std::size_t n = static_cast<std::size_t>(std::max(count, 0));
    const float spread = in.Float(1000.0f);
    std::vector<float> x(n), y(n), value(n);
    std::vector<std::vector<float>> extra(static_cast<std::size_t>(std::max(extras, 0)), std::vector<float>(n));
    std::vector<const float*> extraPointers;
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = in.Float(spread);
        y[i] = in.Float(spread);
        value[i] = in.Float(100.0f);
        for (auto& column : extra) column[i] = in.Float(100.0f);
    }
    for (auto& column : extra) extraPointers.push_back(column.data());
    const std::uint8_t nulls = in.Byte();
    r.x = nulls == 1 ? nullptr : x.data();
    r.y = nulls == 2 ? nullptr : y.data();
    r.value = nulls == 3 ? nullptr : value.data();
    if (nulls == 4 && !extraPointers.empty()) extraPointers.back() = nullptr;
    r.sample_count = count;
    r.extra_values = nulls == 5 ? nullptr : extraPointers.data();
    r.extra_value_count = extras;

    r.x_min = in.Float(spread);
    r.y_min = in.Float(spread);
    r.x_max = in.Float(spread);
    r.y_max = in.Float(spread);
    r.cell_size_x = in.Float(spread / 8.0f);
    r.cell_size_y = in.Float(spread / 8.0f);
    r.node_count_x = in.Count(-1, 24);
    r.node_count_y = in.Count(-1, 24);
    r.neighbour_count = in.Count(-1, 16);
    Store(r.method, in.Small(-1, 13) == 13 ? in.Count(-100, 100) : in.Small(-1, 12));
    r.method_parameter = in.Float(10.0f);
    const int thresholds = in.Count(0, 4);
    if (thresholds > 16 && thresholds <= (1 << 24)) return 0;  // too many to sweep quickly
    std::vector<float> thresholdValues(static_cast<std::size_t>(std::clamp(thresholds, 0, 16)));
    for (float& t : thresholdValues) t = in.Float(100.0f);
    r.thresholds = in.Flag() || thresholdValues.empty() ? thresholdValues.data() : nullptr;
    r.threshold_count = thresholds;
    if (thresholds > 16) r.thresholds = thresholdValues.data();  // refused before it is read
    r.thread_count = in.Small(-1, 3);
    Store(r.implementation, in.Small(0, 2) == 2 ? in.Count(-3, 7) : in.Small(0, 1));
    Store(r.fit, in.Small(0, 4) == 4 ? in.Count(-3, 7) : in.Small(0, 1));
    mosaro_variogram_model models[2];
    for (mosaro_variogram_model& m : models) {
        m.nugget = in.Float(10.0f);
        m.partial_sill = in.Float(100.0f);
        m.range = in.Float(spread);
        m.sill = m.nugget + m.partial_sill;
    }
    const int modelChoice = in.Small(0, 5);
    r.given_models = modelChoice >= 1 && modelChoice <= 3 ? models : nullptr;
    r.given_model_count = modelChoice == 0 ? 0 : in.Small(-1, 3);
    Progress progress{in.Small(-1, 40)};
    if (in.Flag()) {
        r.progress = OnProgress;
        r.progress_user_data = &progress;
    }

    // The grid and the variance: exactly node_count_x * node_count_y, or
    // one node where the count is refused.
    std::size_t nodes = 1;
    if (r.node_count_x >= 1 && r.node_count_y >= 1) {
        const std::uint64_t wanted =
            static_cast<std::uint64_t>(r.node_count_x) * static_cast<std::uint64_t>(r.node_count_y);
        if (wanted > 1024 && wanted <= mosaro::kMaxNodes) return 0;
        if (wanted <= 1024) nodes = static_cast<std::size_t>(wanted);
    }
    std::vector<float> grid(nodes, kSentinel), variance(nodes, kSentinel);
    const std::uint8_t outputs = in.Byte();
    r.grid = (outputs & 3) == 0 ? nullptr : grid.data();
    r.variance = (outputs & 4) != 0 ? variance.data() : nullptr;
    mosaro_report* report = reinterpret_cast<mosaro_report*>(&progress);  // a value a failure must keep
    mosaro_report* const reportBefore = report;
    r.report = (outputs & 8) != 0 ? &report : nullptr;
    r.report_tables = (outputs & 16) != 0;
    // Decoded last, so that inputs from before these fields still decode
    // as they did: the arithmetic (out-of-range codes too), its condition
    // grid, and cross-validation in place of the grid call.
    Store(r.arithmetic, in.Small(0, 4) == 4 ? in.Count(-3, 7) : in.Small(0, 1));
    std::vector<float> condition(nodes, kSentinel);
    r.reciprocal_condition = in.Flag() ? condition.data() : nullptr;
    const int validation = in.Small(0, 3);  // 1, 2, 3: leave-one-out, k folds, folds out of range
    // The work of a sweep: nodes times the system of every neighbour.
    const long long m = std::min(std::max(r.neighbour_count, 1), std::max(count, 1)) * (1LL + std::max(extras, 0));
    if (static_cast<double>(nodes) * static_cast<double>(m * m * m) * (1 + thresholdValues.size()) > 4e6) return 0;

    const int entry = (outputs >> 5) % 3;
    mosaro_status status;
    mosaro_samples* samples = nullptr;
    if (validation != 0) {
        if (static_cast<double>(count) * static_cast<double>(m * m * m) > 4e6) return 0;
        status =
            mosaro_samples_create(r.x, r.y, r.value, r.sample_count, r.extra_values, r.extra_value_count, &samples);
        const std::size_t sampleCount = static_cast<std::size_t>(std::max(count, 0));
        std::vector<float> estimate(sampleCount, kSentinel), standardised(sampleCount, kSentinel);
        std::vector<int> folds(sampleCount, -1);
        mosaro_validation v{};
        v.struct_size = in.Flag() ? sizeof v : static_cast<std::size_t>(in.Small(0, 64));
        v.folds = validation == 1 ? 0 : validation == 2 ? in.Small(2, 5) : in.Count(-3, 7);
        v.seed = in.U32();
        v.estimate = estimate.data();
        v.standardised_residual = standardised.data();
        v.fold = folds.data();
        mosaro_validation_summary summary{};
        summary.struct_size = sizeof summary;
        if (status == MOSARO_OK) status = mosaro_cross_validate(samples, &r, &v, in.Flag() ? &summary : nullptr);
        mosaro_samples_free(samples);
        if (status >= 0 && r.report != nullptr) {
            ReadReport(in, report);
            mosaro_report_free(report);
        } else if (report != reportBefore) {
            Fail("a refused cross-validation wrote the report pointer", status);
        }
        if (status < 0 && mosaro_last_message()[0] == '\0') Fail("an error without a message", status);
        if (status < 0 && status != MOSARO_ERROR_CANCELLED && !Untouched(estimate))
            Fail("a refused cross-validation wrote its estimates", status);
        if (status >= 0 && summary.struct_size == sizeof summary && summary.estimated + summary.not_estimated != 0 &&
            summary.estimated + summary.not_estimated != count)
            Fail("the summary does not count every sample", status);
        return 0;
    }
    if (entry == 0) {
        status = mosaro_grid(&r);
    } else {
        status =
            mosaro_samples_create(r.x, r.y, r.value, r.sample_count, r.extra_values, r.extra_value_count, &samples);
        if (status < 0 && samples != nullptr) Fail("samples_create failed but returned a handle", status);
        if (entry == 1) {
            if (status == MOSARO_OK) status = mosaro_grid_samples(samples, &r);
        } else {
            mosaro_report* fitted = reinterpret_cast<mosaro_report*>(&progress);
            if (status == MOSARO_OK) status = mosaro_fit_variograms(samples, &r, &fitted);
            if (status >= 0) {
                ReadReport(in, fitted);
                mosaro_report_free(fitted);
            } else if (status != MOSARO_ERROR_CANCELLED && fitted != nullptr &&
                       fitted != reinterpret_cast<mosaro_report*>(&progress)) {
                Fail("a failed fit left a report", status);
            }
        }
        mosaro_samples_free(samples);
    }

    if (status > MOSARO_WARNING_NO_FINITE_MODEL || status < MOSARO_ERROR_FILE_FORMAT) Fail("unknown status", status);
    if (std::strcmp(mosaro_status_string(status), "unknown status") == 0) Fail("status without a string", status);
    if (status < 0 && mosaro_last_message()[0] == '\0') Fail("an error without a message", status);
    if (status == MOSARO_ERROR_CANCELLED && r.progress == nullptr) Fail("cancelled without a callback", status);
    if (status == MOSARO_ERROR_CANCELLED && progress.callsLeft < 0)
        Fail("cancelled by a callback that never stops", status);
    if (status == MOSARO_ERROR_INTERNAL || status == MOSARO_ERROR_FILE || status == MOSARO_ERROR_FILE_FORMAT)
        Fail("a status no request can give", status);
    if (entry != 2) {
        if (status < 0 && status != MOSARO_ERROR_CANCELLED) {
            if (!Untouched(grid) || !Untouched(variance)) Fail("a refused request wrote the grid", status);
            if (report != reportBefore) Fail("a refused request wrote the report pointer", status);
        }
        if (status >= 0 && r.report != nullptr) {
            ReadReport(in, report);
            mosaro_report_free(report);
        }
        if (status >= 0 && Untouched(grid) && nodes > 0) Fail("a run that succeeded left the grid as passed", status);
    }
    return 0;
}
