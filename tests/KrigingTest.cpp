// The base estimator: shallow copies and the fixed pipeline.
#include <gtest/gtest.h>

#include "Kriging.h"
#include "TestSupport.h"

using namespace mosaro_test;

TEST(Kriging, BaseEstimatorFitsTheModelReleasesTheTablesAndWritesNothing) {
    const SampleTable table = RandomSamples(11, 40, 100.0f);
    mosaro::PointArrays points = Points(table);
    const GridArgs args = GridArgs::Square(100, 10, 8);
    CKriging estimator(table.Count(), 8, 0.0f, args.Layout(), args.Rect());
    std::vector<float> grid(static_cast<std::size_t>(args.Nodes()), 3.25f);
    estimator.KrigingResultValue(points.Table(), grid.data(), args.Layout());
    for (float v : grid) EXPECT_EQ(v, 3.25f);
    EXPECT_GT(estimator.m_VariogramModel[0].fRange, 0.0f);
    EXPECT_TRUE(estimator.m_ppVariogramX == nullptr && estimator.m_ppVariogramY == nullptr);
}

TEST(Kriging, ThirdPipelineArgumentIsNotReadAndARerunRepeatsTheRun) {
    const SampleTable table = RandomSamples(12, 40, 100.0f);
    mosaro::PointArrays points = Points(table);
    const GridArgs args = GridArgs::Square(100, 10, 8);
    std::vector<float> first(static_cast<std::size_t>(args.Nodes())), second = first;
    COrdinaryKriging estimator(table.Count(), 8, 0.0f, args.Layout(), args.Rect());
    estimator.KrigingResultValue(points.Table(), first.data(), args.Layout());
    estimator.KrigingResultValue(points.Table(), second.data(), TGRIDCELLXY{3.0f, 0.5f, 2, 1});
    EXPECT_TRUE(SameBits(first, second));
    EXPECT_TRUE(SameBits(first, Grid(table, args)));  // as the entry point computes it
}
