// The base estimator: construction, shallow copies, and the fixed pipeline.
#include <gtest/gtest.h>

#include <vector>

#include "Kriging.h"
#include "TestSupport.h"

using namespace mosaro_test;

namespace {

GridSpec Layout() {
    GridSpec spec;
    spec.xMax = spec.yMax = 100.0f;
    spec.cellsX = spec.cellsY = 10;
    return spec;
}

}  // namespace

TEST(Kriging, BaseEstimatorFitsTheModelButWritesNoEstimate) {
    const SampleTable table = RandomSamples(11, 40, 100.0f, 100.0f);
    Points points(table);
    const GridSpec spec = Layout();
    CKriging estimator(table.Count(), 8, 0.0f, spec.Layout(), spec.Rect());
    EXPECT_EQ(estimator.m_ppVariogramX, nullptr);

    std::vector<float> grid(static_cast<std::size_t>(spec.Nodes()), 3.25f);
    estimator.KrigingResultValue(points.Table(), grid.data(), spec.Layout());
    for (float v : grid) EXPECT_EQ(v, 3.25f);
    // The model was fitted, and the tables were released at the end.
    EXPECT_GT(estimator.m_VariogramModel[0].fRange, 0.0f);
    EXPECT_EQ(estimator.m_ppVariogramX, nullptr);
    EXPECT_EQ(estimator.m_ppVariogramY, nullptr);

    estimator.CalculateKrigingValue(points.Table(), grid.data());
    for (float v : grid) EXPECT_EQ(v, 3.25f);
}

TEST(Kriging, CopiesAreShallowAndMemberWise) {
    const GridSpec spec = Layout();
    CKriging source(17, 5, 2.5f, spec.Layout(), spec.Rect());
    float row[1] = {0.0f};
    float* rows[3] = {row, row, row};
    source.m_ppVariogramX = rows;
    source.m_ppVariogramY = rows + 1;
    source.m_VariogramModel[1] = TVARIOGRAMMODEL{1.0f, 3.0f, 10.0f, 2.0f};

    CKriging target(1, 1, 0.0f, TGRIDCELLXY{1, 1, 0, 0}, TRECTXYMINMAX{0, 0, 1, 1});
    CKriging& result = (target = source);
    EXPECT_EQ(&result, &target);
    const CKriging copy(source);
    for (const CKriging* k : {static_cast<const CKriging*>(&target), &copy}) {
        EXPECT_EQ(k->m_nPointCount, 17);
        EXPECT_EQ(k->m_nNeighbourCount, 5);
        EXPECT_EQ(k->m_fMethodParameter, 2.5f);
        EXPECT_EQ(k->m_GridCell.nCellCountX, 10);
        EXPECT_EQ(k->m_Rect.fXMax, 100.0f);
        EXPECT_EQ(k->m_ppVariogramX, rows);  // the same table, not a duplicate
        EXPECT_EQ(k->m_ppVariogramY, rows + 1);
        EXPECT_EQ(k->m_VariogramModel[1].fRange, 10.0f);
        EXPECT_EQ(k->m_VariogramModel[1].fSill, 3.0f);
    }
    // Nothing here owns `rows`.
    source.m_ppVariogramX = source.m_ppVariogramY = nullptr;
    target.m_ppVariogramX = target.m_ppVariogramY = nullptr;
}

TEST(Kriging, DeletingThroughTheBaseRunsTheDerivedDestructor) {
    const GridSpec spec = Layout();
    CKriging* estimator = new COrdinaryKriging(10, 4, 0.0f, spec.Layout(), spec.Rect());
    delete estimator;  // a leak or mismatch here fails the sanitizer build
}

TEST(Kriging, ThirdArgumentOfThePipelineIsNotRead) {
    const SampleTable table = RandomSamples(12, 40, 100.0f, 100.0f);
    Points points(table);
    const GridSpec spec = Layout();
    std::vector<float> first(static_cast<std::size_t>(spec.Nodes()), 0.0f);
    std::vector<float> second = first;
    COrdinaryKriging a(table.Count(), 8, 0.0f, spec.Layout(), spec.Rect());
    a.KrigingResultValue(points.Table(), first.data(), spec.Layout());
    COrdinaryKriging b(table.Count(), 8, 0.0f, spec.Layout(), spec.Rect());
    b.KrigingResultValue(points.Table(), second.data(), TGRIDCELLXY{3.0f, 0.5f, 2, 1});
    EXPECT_TRUE(SameBits(first, second));

    // Running the pipeline again repeats it from the start.
    a.KrigingResultValue(points.Table(), second.data(), spec.Layout());
    EXPECT_TRUE(SameBits(first, second));
}
