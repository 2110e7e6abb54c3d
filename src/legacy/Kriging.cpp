#include "legacy/Kriging.h"

#include "pipeline/PassReportCapture.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

using mosaro::f64;

CKriging::CKriging(int nPointCount, int nNeighbourCount, float fMethodParameter,
                   TGRIDCELLXY GridCell, TRECTXYMINMAX Rect)
    : m_nPointCount(nPointCount),
      m_nNeighbourCount(nNeighbourCount),
      m_ppVariogramX(nullptr),
      m_ppVariogramY(nullptr),
      m_fMethodParameter(fMethodParameter),
      m_GridCell(GridCell),
      m_Rect(Rect),
      m_VariogramModel{} {}

CKriging::CKriging(const CKriging& other) = default;
CKriging& CKriging::operator=(const CKriging& other) = default;
CKriging::~CKriging() = default;

namespace {

// Releases both variogram tables when the pipeline ends, also when a step
// throws (an allocation failure), so no table outlives the run.
class VariogramTablesRelease {
public:
    explicit VariogramTablesRelease(CKriging& estimator) : estimator_(estimator) {}
    ~VariogramTablesRelease() {
        mosaro::ReleaseVariogramTable(estimator_.m_ppVariogramX);
        mosaro::ReleaseVariogramTable(estimator_.m_ppVariogramY);
    }
    VariogramTablesRelease(const VariogramTablesRelease&) = delete;
    VariogramTablesRelease& operator=(const VariogramTablesRelease&) = delete;

private:
    CKriging& estimator_;
};

// Adds the time a stage takes to the context's stage clock, if it keeps one.
class StageClock {
public:
    explicit StageClock(mosaro::Stage stage)
        : seconds_(mosaro::CurrentRunContext().stageSeconds),
          stage_(stage),
          start_(std::chrono::steady_clock::now()) {}
    ~StageClock() {
        if (seconds_ == nullptr) return;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
        seconds_[static_cast<int>(stage_)] += took.count();
    }
    StageClock(const StageClock&) = delete;
    StageClock& operator=(const StageClock&) = delete;

private:
    double* seconds_;
    mosaro::Stage stage_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace

// The grid layout is the object's own; the third argument is not read.
//
// With a model given in the run context the variograms and the fit are
// skipped and the sweep runs on that model. With the robust fit asked for,
// its models replace the legacy fit's before the sweep (the legacy fit
// still runs, for the report); a run that asks for the fit only stops
// before the sweep. Progress is reported at the
// stage boundaries (finer reports come from inside the stages); a stop
// request surfaces here as mosaro::Cancelled, the tables released on the
// way out.
void CKriging::KrigingResultValue(float** ppPoints, float* pGrid, TGRIDCELLXY /*GridCell*/) {
    const mosaro::RunContext& context = mosaro::CurrentRunContext();
    mosaro::PassReport* report = nullptr;
    if (context.report != nullptr) report = &context.report->emplace_back();
    VariogramTablesRelease release(*this);
    if (context.givenModels != nullptr) {
        m_VariogramModel[0] = context.givenModels[0];
        m_VariogramModel[1] = context.givenModels[1];
        if (report != nullptr) {
            report->modelGiven = true;
            report->branches[0] = report->branches[1] = mosaro::FitBranch::Given;
        }
    } else {
        const bool robust = context.fit == mosaro::FitChoice::kRobust;
        mosaro::OmnidirectionalInput omnidirectionalInput;
        mosaro::VariogramRows omnidirectional;
        {
            StageClock clock(mosaro::Stage::kVariograms);
            mosaro::ReportProgress(mosaro::Stage::kVariograms, 0.0);
            const mosaro::OmnidirectionalScope alsoOmnidirectional(robust ? &omnidirectionalInput : nullptr);
            CalculateVariogramValue(ppPoints);
        }
        if (report != nullptr) mosaro::CaptureExperimentalTables(*this, *report);
        std::optional<mosaro::RobustFitResult> robustFit;
        {
            StageClock clock(mosaro::Stage::kFit);
            mosaro::ReportProgress(mosaro::Stage::kFit, 0.0);
            // The robust fit reads the tables as built, before the legacy
            // fit prunes them. The legacy fit runs in a robust run too: it
            // is cheap, and the report shows what it would have given.
            if (robust) {
                mosaro::DirectionalTables tables;
                mosaro::ReadDirectionalRows(*this, tables);
                robustFit = mosaro::FitRobustModels(
                    tables, [&omnidirectionalInput] { return omnidirectionalInput.Build(); },
                    report != nullptr && context.keepTables, omnidirectional);
            }
            CalculateVariogramConstant();
        }
        if (report != nullptr) mosaro::CaptureFittedModels(*this, *report);
        if (robustFit) {
            m_VariogramModel[0] = robustFit->models[0];
            m_VariogramModel[1] = robustFit->models[1];
            if (report != nullptr) mosaro::CaptureRobustFit(*robustFit, std::move(omnidirectional), *report);
        }
    }
    if (report != nullptr) mosaro::CaptureSweepConstants(*this, *report);
    if (context.fitOnly) return;
    StageClock clock(mosaro::Stage::kSweep);
    mosaro::ReportProgress(mosaro::Stage::kSweep, 0.0);
    CalculateKrigingValue(ppPoints, pGrid);
    mosaro::ReportProgress(mosaro::Stage::kSweep, 1.0);
}

// The base estimator has no estimate of its own: the grid stays as it is.
void CKriging::CalculateKrigingValue(float** /*ppPoints*/, float* /*pGrid*/) {}

void CKriging::CalculateVariogramValue(float** ppPoints) {
    const std::size_t n = m_nPointCount > 0 ? static_cast<std::size_t>(m_nPointCount) : 0;
    std::vector<double> values(n);
    for (std::size_t i = 0; i < n; ++i) values[i] = f64(ppPoints[2][i]);
    mosaro::BuildExperimentalVariograms(*this, ppPoints, values.data());
}

void CKriging::CalculateVariogramConstant() {
    const mosaro::LagClassCounts counts = mosaro::ComputeLagClassCounts(m_GridCell, m_Rect);
    m_VariogramModel[0] = mosaro::FitSphericalModel(m_ppVariogramX, counts.x);
    m_VariogramModel[1] = mosaro::FitSphericalModel(m_ppVariogramY, counts.y);
}

void CKriging::CalculateCoefficient(float** ppMatrix, float* pRightSide, int nOrder,
                                    float* pCoefficient) {
    if (nOrder < 1) return;
    const std::size_t order = static_cast<std::size_t>(nOrder);
    // The caller's matrix and right-hand side stay untouched: the solve works
    // on an augmented copy.
    std::vector<float> augmented(order * (order + 1));
    for (std::size_t i = 0; i < order; ++i) {
        for (std::size_t j = 0; j < order; ++j) augmented[i * (order + 1) + j] = ppMatrix[i][j];
        augmented[i * (order + 1) + order] = pRightSide[i];
    }
    if (mosaro::CurrentRunContext().reference)
        mosaro::SolveGuardedInPlaceReference(augmented.data(), nOrder, pCoefficient);
    else
        mosaro::SolveGuardedInPlace(augmented.data(), nOrder, pCoefficient);
}
