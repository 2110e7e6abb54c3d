// `mosaro simulate`: realisations of a sequential Gaussian simulation,
// streamed to their outputs one at a time as the library hands them over,
// and what the realisations say together (E-type, exceedances).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "Commands.h"
#include "ModernRun.h"
#include "Progress.h"
#include "RasterStream.h"
#include "RasterWriter.h"
#include "StagedOutput.h"
#include "ToolError.h"

namespace mosaro::tool {
namespace {

struct Exceedance {
    double threshold = 0;
    std::string path;
};

// "zinc-{}.tif" with realisation 7 of 100: "zinc-007.tif", so that names
// sort in realisation order.
std::string RealisationName(const std::string& pattern, int realisation, int realisations) {
    const std::string number = std::to_string(realisation + 1);
    const std::string padded = std::string(std::to_string(realisations).size() - number.size(), '0') + number;
    std::string name = pattern;
    name.replace(name.find("{}"), 2, padded);
    return name;
}

bool IsPattern(const std::string& path) { return path.find("{}") != std::string::npos; }

std::vector<Exceedance> ReadExceedances(const std::vector<std::string>& words) {
    std::vector<Exceedance> list;
    for (std::size_t k = 0; k + 1 < words.size(); k += 2) {
        char* end = nullptr;
        const double t = std::strtod(words[k].c_str(), &end);
        if (end == words[k].c_str() || *end != '\0' || !std::isfinite(t))
            throw ToolError("--exceed '" + words[k] + "' " + words[k + 1] + ": the threshold must be a finite number");
        RasterDriverFor(words[k + 1]);
        list.push_back({t, words[k + 1]});
    }
    return list;
}

// The checks that need no samples, so that a mistake costs no reading.
void CheckOptions(const RunOptions& options, const SimulateOutputs& outputs) {
    if (outputs.realisations < 1)
        throw ToolError("--realisations must be at least 1 (got " + std::to_string(outputs.realisations) + ")");
    if (outputs.nmax_simulated && (*outputs.nmax_simulated < -1 || *outputs.nmax_simulated == 0))
        throw ToolError("--nmax-simulated must be at least 1, or -1 to share --nmax with the samples (got " +
                        std::to_string(*outputs.nmax_simulated) + ")");
    if (options.neighbours && *options.neighbours < 1) throw ToolError("--nmax must be at least 1");
    if (outputs.max_distance && !(std::isfinite(*outputs.max_distance) && *outputs.max_distance > 0))
        throw ToolError("--maxdist must be positive and finite");
    if (options.threads < 0) throw ToolError("--threads must be 0 (every core) or more");
    if (IsPattern(outputs.output)) RasterDriverFor(RealisationName(outputs.output, 0, 1));
    else if (!IsGeoTiff(outputs.output))
        throw ToolError("-o " + outputs.output +
                        ": one band per realisation needs a GeoTIFF (.tif); for other formats give a name with {}, "
                        "one file per realisation");
    if (!outputs.etype.empty() && !IsGeoTiff(outputs.etype))
        throw ToolError("--etype " + outputs.etype + ": the mean and the variance are two bands of a GeoTIFF (.tif)");
    if (!std::isfinite(outputs.mean)) throw ToolError("--mean must be finite");
    if (!outputs.unconditional && outputs.mean != 0)
        throw ToolError("--mean is read by --unconditional only (conditional realisations take the samples' mean)");
    if (outputs.unconditional) {
        if (!options.input.empty())
            throw ToolError("--unconditional takes no SAMPLES (" + options.input + "): the realisations honour none");
        if (options.model.empty()) throw ToolError("--unconditional needs --model: without samples nothing is fitted");
        if (options.grid.extent.empty())
            throw ToolError("--unconditional needs --extent: without samples there is no bounding box");
    } else if (options.input.empty()) {
        throw ToolError("give SAMPLES, or --unconditional with --model and --extent");
    }
}

// The model in the notation, refused here when the simulation cannot take
// it: the normal scores need a covariance, so a sill.
std::optional<mosaro_model> GivenModel(const RunOptions& options) {
    const ModelOption model = ReadModelOption(options.model);
    if (!model.legacy.empty())
        throw ToolError("--model: simulate takes a model in the notation (\"0.1 Nug + 0.9 Sph(900)\")");
    if (model.notation.empty()) return std::nullopt;
    mosaro_model parsed;
    mosaro_model_init(&parsed);
    mosaro_model_parse(model.notation.c_str(), &parsed);  // read once already
    for (int s = 0; s < parsed.structure_count; ++s)
        if (parsed.structures[s].family == MOSARO_FAMILY_POWER)
            throw ToolError("--model \"" + model.notation +
                            "\": a power model has no sill and so no covariance, which the simulation needs");
    return parsed;
}

// Where the realisations go as the library hands them over: a band of one
// GeoTIFF each, or a file each. A failure is kept and stops the run, as no
// exception may cross the library.
struct RealisationSink {
    const SimulateOutputs* outputs = nullptr;
    const GridGeometry* grid = nullptr;
    const Georeference* where = nullptr;
    GeoTiffStream* bands = nullptr;  // or
    std::vector<std::string> paths;  // staged, one per realisation
    std::exception_ptr failure;

    static int Deliver(void* self, int realisation, const double* values, long long) {
        auto& sink = *static_cast<RealisationSink*>(self);
        try {
            const GridGeometry& g = *sink.grid;
            if (sink.bands != nullptr) {
                sink.bands->Write(realisation, 0, 0, g.nodes_x, g.nodes_y, values);
                sink.bands->Flush();  // a realisation leaves memory once written
            } else {
                const std::string target =
                    RealisationName(sink.outputs->output, realisation, sink.outputs->realisations);
                WriteRaster(RasterView{nullptr, g.nodes_x, g.nodes_y, values}, *sink.where, target,
                            sink.paths[static_cast<std::size_t>(realisation)]);
            }
            return ProgressReporter::Interrupted() ? 0 : 1;
        } catch (...) {
            sink.failure = std::current_exception();
            return 0;
        }
    }
};

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int RunSimulateCommand(const RunOptions& options, const SimulateOutputs& outputs) {
    const auto start = std::chrono::steady_clock::now();
    CheckOptions(options, outputs);
    const std::vector<Exceedance> exceedances = ReadExceedances(outputs.exceed);
    const std::optional<mosaro_model> model = GivenModel(options);
    const std::string crsWkt = outputs.crs.empty() ? "" : CrsToWkt(outputs.crs);

    StagedOutputs staged;
    const bool pattern = IsPattern(outputs.output);
    RealisationSink sink;
    std::string bandsPath;
    if (pattern)
        for (int r = 0; r < outputs.realisations; ++r)
            sink.paths.push_back(staged.Stage(RealisationName(outputs.output, r, outputs.realisations)));
    else bandsPath = staged.Stage(outputs.output);
    const std::string etypePath = outputs.etype.empty() ? "" : staged.Stage(outputs.etype);
    std::vector<std::string> exceedPaths;
    for (const Exceedance& e : exceedances) exceedPaths.push_back(staged.Stage(e.path));

    // The samples and their grid as `grid` takes them, or the extent alone.
    ModernRun run;
    GridGeometry grid;
    if (outputs.unconditional) {
        grid = ChooseGrid(options.grid, {}, {}, false);
    } else {
        PrepareModernRun(options, run);
        grid = ChooseSampleGrid(options.grid, run.samples);
    }
    // The library keeps a grid of doubles per worker; the E-type and each
    // exceedance are one more.
    RequireMemoryFor(grid, 2 * (1 + (outputs.etype.empty() ? 0 : 2) + static_cast<int>(exceedances.size())));
    const std::vector<double>* values = outputs.unconditional ? nullptr : &run.samples.exact[0];
    if (values != nullptr) {
        double low = INFINITY, high = -INFINITY;
        for (double v : *values)
            if (!std::isnan(v)) low = std::min(low, v), high = std::max(high, v);
        for (const Exceedance& e : exceedances)
            if (e.threshold < low || e.threshold > high)
                std::fprintf(
                    stderr,
                    "mosaro: warning: --exceed %s lies outside the data's range [%s, %s], which the realisations "
                    "stay within: its share is 0 or 1 at every node\n",
                    MessageNumber(e.threshold).c_str(), MessageNumber(low).c_str(), MessageNumber(high).c_str());
    }

    const Georeference where{grid.x_min,
                             grid.y_min,
                             grid.cell_x,
                             grid.cell_y,
                             !outputs.crs.empty()    ? crsWkt
                             : outputs.unconditional ? ""
                                                     : run.samples.crs_wkt,
                             true};
    std::unique_ptr<GeoTiffStream> bands;
    if (!pattern)
        bands = std::make_unique<GeoTiffStream>(outputs.output, bandsPath, grid.nodes_x, grid.nodes_y,
                                                outputs.realisations, where);
    sink.outputs = &outputs;
    sink.grid = &grid;
    sink.where = &where;
    sink.bands = bands.get();

    const std::size_t count = static_cast<std::size_t>(grid.NodeCount());
    std::vector<double> mean(etypePath.empty() ? 0 : count), variance(mean.size());
    std::vector<double> thresholds, exceedance(exceedances.size() * count);
    for (const Exceedance& e : exceedances) thresholds.push_back(e.threshold);

    mosaro_simulation s;
    mosaro_simulation_init(&s);
    if (values != nullptr) {
        s.x = run.samples.x.data();
        s.y = run.samples.y.data();
        s.value = values->data();
        s.sample_count = static_cast<int>(values->size());
    }
    s.mean = outputs.mean;
    mosaro_model used;
    mosaro_model_init(&used);
    s.model = model ? &*model : nullptr;
    s.variogram = outputs.unconditional ? nullptr : &run.variogram;
    s.fit_template = run.fit_template.empty() ? nullptr : run.fit_template.c_str();
    s.fit_weights = options.kriging.fit_weights.value_or(0);
    s.model_used = &used;
    s.grid_x = grid.x_min;
    s.grid_y = grid.y_min;
    s.cell_size_x = grid.cell_x;
    s.cell_size_y = grid.cell_y;
    s.node_count_x = grid.nodes_x;
    s.node_count_y = grid.nodes_y;
    s.nmax = options.neighbours.value_or(0);
    s.nmax_simulated = outputs.nmax_simulated.value_or(0);
    s.max_distance = outputs.max_distance.value_or(0);
    s.realisations = outputs.realisations;
    s.seed = outputs.seed;
    s.realisation = &RealisationSink::Deliver;
    s.realisation_user_data = &sink;
    s.etype_mean = mean.empty() ? nullptr : mean.data();
    s.etype_variance = variance.empty() ? nullptr : variance.data();
    s.thresholds = thresholds.empty() ? nullptr : thresholds.data();
    s.threshold_count = static_cast<int>(thresholds.size());
    s.exceedance = exceedance.empty() ? nullptr : exceedance.data();
    s.thread_count = options.threads;
    ProgressReporter progress(options.quiet);
    s.progress = &ProgressReporter::Callback;
    s.progress_user_data = &progress;
    mosaro_simulation_report report{};
    report.struct_size = sizeof report;
    const mosaro_status status = mosaro_simulate(&s, &report);
    if (sink.failure) std::rethrow_exception(sink.failure);
    if (status == MOSARO_ERROR_CANCELLED) ThrowIfInterrupted();
    if (status < 0) throw ToolError(mosaro_last_message());

    ThrowIfInterrupted();
    if (bands) bands->Close();
    if (!etypePath.empty()) {
        GeoTiffStream etype(outputs.etype, etypePath, grid.nodes_x, grid.nodes_y, 2, where);
        etype.Write(0, 0, 0, grid.nodes_x, grid.nodes_y, mean.data());
        etype.Write(1, 0, 0, grid.nodes_x, grid.nodes_y, variance.data());
        etype.SetBandName(0, "mean");
        etype.SetBandName(1, "variance");
        etype.Close();
    }
    for (std::size_t k = 0; k < exceedances.size(); ++k)
        WriteRaster(RasterView{nullptr, grid.nodes_x, grid.nodes_y, exceedance.data() + k * count}, where,
                    exceedances[k].path, exceedPaths[k]);
    ThrowIfInterrupted();
    staged.Commit();

    if (!options.quiet) {
        if (!outputs.unconditional) std::printf("%s\n", DescribeSamples(options, run.samples, false).c_str());
        std::printf("model of the normal scores (%s): %s\n",
                    report.model_fitted ? (run.fit_template.empty() ? "Nug + Sph fitted" : "fitted") : "given",
                    ModelText(used).c_str());
        std::printf("grid: %d x %d nodes, cell %g x %g, first node (%.10g, %.10g)\n", grid.nodes_x, grid.nodes_y,
                    grid.cell_x, grid.cell_y, grid.x_min, grid.y_min);
        std::printf("%d realisations, seed %llu, %s; in %.2f s\n", report.realisations, outputs.seed,
                    outputs.unconditional ? "unconditional" : "conditional on the samples", Seconds(start));
        std::printf("wrote %s",
                    pattern ? (outputs.output + " (one file per realisation)").c_str() : outputs.output.c_str());
        if (!outputs.etype.empty()) std::printf(", %s", outputs.etype.c_str());
        for (const Exceedance& e : exceedances) std::printf(", %s", e.path.c_str());
        std::printf("\n");
    }
    return kExitOk;
}

}  // namespace mosaro::tool
