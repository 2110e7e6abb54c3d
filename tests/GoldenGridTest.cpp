// Golden grids: calls whose grids were computed by an independent model of
// the arithmetic, a second reading of it that never saw this code (README:
// how the results are checked). Every node must match bit for bit, across
// every method, fit branch, tie pattern and degenerate case the set covers.
// The grids are data: never regenerate them from this library.
#include <gtest/gtest.h>

#include <filesystem>

#include "CaseFile.h"
#include "TestSupport.h"

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
    const std::vector<float> grid = mosaro_test::ReadCase(base + ".case").Run();
    const std::vector<std::uint32_t> expected = mosaro_test::ReadGridBits(base + ".grid");
    ASSERT_EQ(grid.size(), expected.size());
    std::size_t mismatches = 0, first = 0;
    for (std::size_t k = grid.size(); k-- > 0;)
        if (mosaro_test::Bits(grid[k]) != expected[k]) ++mismatches, first = k;
    EXPECT_EQ(mismatches, 0u) << "first at node " << first << ": got " << std::hex
                              << mosaro_test::Bits(grid[first]) << ", expected " << expected[first];
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenGrid, ::testing::ValuesIn(GoldenCases()));

}  // namespace
