#include "variogram/ExperimentalVariogram.h"

#include "variogram/LagClasses.h"

namespace mosaro {

DirectionalTables BuildExperimentalVariograms(const PairSamples& samples, const TGRIDCELLXY& grid,
                                              const TRECTXYMINMAX& rect, const PairKernelPath* kernels,
                                              const Execution& execution, PairBlocking blocking) {
    const LagClassCounts counts = ComputeLagClassCounts(grid, rect);
    const LagClassifier classifierX(counts.x, grid.fCellSizeX);
    const LagClassifier classifierY(counts.y, grid.fCellSizeY);
    ClassSums sumsX(counts.x, grid.fCellSizeX);
    ClassSums sumsY(counts.y, grid.fCellSizeY);
    if (kernels == nullptr) CollectPairsInOrder(samples, {classifierX, sumsX}, {classifierY, sumsY}, execution);
    else CollectPairsBlocked(samples, {classifierX, sumsX}, {classifierY, sumsY}, *kernels, execution, blocking);
    DirectionalTables tables;
    tables.x = OwnedVariogramTable(sumsX.Finish());
    tables.y = OwnedVariogramTable(sumsY.Finish());
    return tables;
}

}  // namespace mosaro
