// Golden grids: calls whose grids were computed by an independent model of
// the arithmetic, a second reading of it that never saw this code (README:
// how the results are checked). Every node must match bit for bit, across
// every method, fit branch, tie pattern and degenerate case the set covers.
// The grids are data: never regenerate them from this library.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "CaseFile.h"
#include "TestSupport.h"

using namespace mosaro_test;

namespace {

std::vector<std::string> GoldenCases() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(MOSARO_GOLDEN_DIR))
        if (entry.path().extension() == ".case") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class GoldenGrid : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenGrid, MatchesTheIndependentModelBitForBit) {
    const std::string base = std::string(MOSARO_GOLDEN_DIR) + "/" + GetParam();
    EXPECT_EQ(FirstDifference(ReadGrid(base + ".grid"), ReadCase(base + ".case").Run()), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenGrid, ::testing::ValuesIn(GoldenCases()));

}  // namespace
