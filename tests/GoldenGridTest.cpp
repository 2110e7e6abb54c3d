// Golden grids: entry-point calls whose grids were computed by the
// independent model in scripts/crosscheck (a second reading of the same
// arithmetic, in another language). The library must match every node bit
// for bit, for every method, fit branch, tie pattern and degenerate case
// the set covers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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

}  // namespace

TEST_P(GoldenGrid, MatchesTheIndependentModelBitForBit) {
    const std::string base = std::string(MOSARO_GOLDEN_DIR) + "/" + GetParam();
    const Case c = ReadCase(base + ".case");
    const std::vector<std::uint32_t> expected = ReadGridBits(base + ".grid");
    const std::vector<float> grid = c.Run();
    ASSERT_EQ(grid.size(), expected.size());
    int mismatches = 0;
    for (std::size_t k = 0; k < grid.size(); ++k) {
        if (Bits(grid[k]) == expected[k]) continue;
        if (++mismatches <= 5)
            ADD_FAILURE() << "node " << k << " (row " << k / static_cast<std::size_t>(c.cellsX + 1)
                          << ", column " << k % static_cast<std::size_t>(c.cellsX + 1) << "): got "
                          << std::hex << Bits(grid[k]) << ", expected " << expected[k];
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenGrid, ::testing::ValuesIn(GoldenCases()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param;
                             std::replace_if(name.begin(), name.end(),
                                             [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
                             return name;
                         });
