#include "GridFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include "FloatArith.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

std::uint32_t Bits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
// Little-endian fields of a file, whatever the host's byte order.
std::uint32_t U16At(const Bytes& b, std::size_t at) { return b[at] | (b[at + 1] << 8u); }
std::uint32_t U32At(const Bytes& b, std::size_t at) {
    return U16At(b, at) | (U16At(b, at + 2) << 16);
}

class GridFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(testing::TempDir()) / ("GridFileTest_" + std::string(test->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const char* name) const { return (dir_ / name).string(); }
    static void Write(std::vector<float> nodes, int cellsX, int cellsY, const std::string& path) {
        CKriging estimator(0, 0, 0.0f, TGRIDCELLXY{}, TRECTXYMINMAX{});
        estimator.OutKrigingGridFile(nodes.data(), TGRIDCELLXY{0.5f, 2.0f, cellsX, cellsY},
                                     const_cast<char*>(path.c_str()));
    }
    static Bytes Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static void Save(const Bytes& bytes, const std::string& path) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path dir_;
};

// Every byte of the smallest file, spelled out.
TEST_F(GridFileTest, OneNodeFileIsExactToTheByte) {
    Write({7.25f}, 0, 0, Path("one.grd"));
    const std::string identification = "#NEMRAGRIDB#DRAVTONEMRA         ", trailer = "#ENDDATA#";
    Bytes expected(identification.begin(), identification.end());
    expected.insert(expected.end(), {0x00, 0x40, 0xD3, 0x43, 0x00, 0x80, 0xD4, 0x43});  // 422.5 425
    expected.insert(expected.end(), 32, 0x00);                  // text field, zero word
    expected.insert(expected.end(), {0x01, 0x00, 0x01, 0x00});  // 1 node per row, 1 row
    expected.insert(expected.end(), {0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x40});  // 0.5 2
    expected.insert(expected.end(), {0x99, 0x76, 0x96, 0xFE});  // blank
    expected.insert(expected.end(), {0x00, 0x00, 0xE8, 0x40, 0x00, 0x00, 0xE8, 0x40});  // min max
    expected.insert(expected.end(), {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE8, 0x40});  // N node
    expected.insert(expected.end(), trailer.begin(), trailer.end());
    EXPECT_EQ(Read(Path("one.grd")), expected);
}

// The maximum counts blanks, the minimum skips them; a NaN in the first node
// makes both NaN, since no comparison with it succeeds.
TEST_F(GridFileTest, RangeSkipsBlanksOnlyForTheMinimum) {
    const float blank = mosaro::kBlankValue, nan = std::numeric_limits<float>::quiet_NaN();
    const struct { std::vector<float> nodes; float minimum, maximum; } cases[] = {
        {{4.0f, blank, 2.5f}, 2.5f, 4.0f},
        {{blank, blank, blank}, blank, blank},
        {{nan, 1.0f, -1.0f}, nan, nan}};
    for (const auto& c : cases) {
        Write(c.nodes, 2, 0, Path("r.grd"));
        const Bytes file = Read(Path("r.grd"));
        EXPECT_EQ(U32At(file, 88), Bits(c.minimum)) << c.nodes[0];
        EXPECT_EQ(U32At(file, 92), Bits(c.maximum)) << c.nodes[0];
    }
}

TEST_F(GridFileTest, ReplacesALongerFileAndLeavesNoTemporary) {
    Save(Bytes(1000, 'x'), Path("old.grd"));
    Write({1.0f}, 0, 0, Path("old.grd"));
    EXPECT_EQ(Read(Path("old.grd")).size(), 113u);
    EXPECT_EQ(Listing(), std::vector<std::string>{"old.grd"});
}

// Nodes travel bit for bit in grid order, NaN payloads and -0.0 included.
TEST_F(GridFileTest, ThreeByTwoGridReadsBackBitIdentical) {
    const std::uint32_t patterns[] = {0x7FC12345, 0xFF800001, 0x80000000,
                                      0x00000001, 0xFE967699, 0xC2F60000};
    std::vector<float> nodes(6);
    std::memcpy(nodes.data(), patterns, sizeof patterns);
    Write(nodes, 2, 1, Path("g.grd"));  // 3 nodes per row, 2 rows
    const Bytes file = Read(Path("g.grd"));
    ASSERT_EQ(file.size(), 100u + 6 * 4 + 9);
    EXPECT_EQ(U16At(file, 72), 3u);
    EXPECT_EQ(U16At(file, 74), 2u);
    EXPECT_EQ(U32At(file, 96), 6u);
    const mosaro::GridFile grid = mosaro::ReadGridFile(Path("g.grd"));
    EXPECT_EQ(grid.layout.nCellCountX, 2);
    EXPECT_EQ(grid.layout.nCellCountY, 1);
    const float header[] = {grid.layout.fCellSizeX, grid.layout.fCellSizeY, grid.blank,
                            grid.minimum, grid.maximum};
    for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(Bits(header[k]), U32At(file, 76 + 4 * k)) << k;
    ASSERT_EQ(grid.nodes.size(), 6u);
    for (std::size_t p = 0; p < 6; ++p) {
        EXPECT_EQ(U32At(file, 100 + 4 * p), patterns[p]) << p;
        EXPECT_EQ(Bits(grid.nodes[p]), patterns[p]) << p;
    }
}

// 65537 nodes store 1 and 65538 store 2; the reader recovers them from N.
TEST_F(GridFileTest, CountFieldsKeepSixteenBitsAndReadBack) {
    const struct { int cellsX, cellsY; std::uint32_t fieldX, fieldY; } cases[] = {
        {65536, 0, 1, 1}, {2, 65537, 3, 2}};
    for (const auto& c : cases) {
        const std::size_t n = std::size_t(c.cellsX + 1) * std::size_t(c.cellsY + 1);
        Write(std::vector<float>(n, 1.0f), c.cellsX, c.cellsY, Path("w.grd"));
        const Bytes file = Read(Path("w.grd"));
        EXPECT_EQ(U16At(file, 72), c.fieldX);
        EXPECT_EQ(U16At(file, 74), c.fieldY);
        EXPECT_EQ(U32At(file, 96), n);
        const mosaro::GridFile grid = mosaro::ReadGridFile(Path("w.grd"));
        EXPECT_EQ(grid.layout.nCellCountX, c.cellsX);
        EXPECT_EQ(grid.layout.nCellCountY, c.cellsY);
    }
}

TEST_F(GridFileTest, FailedWriteThrowsAndLeavesNothing) {
    try {
        Write({1.0f}, 0, 0, Path("missing/g.grd"));
        ADD_FAILURE() << "no exception";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
        EXPECT_NE(std::string(e.what()).find("missing/g.grd"), std::string::npos) << e.what();
    }
    fs::create_directory(Path("taken"));  // the final rename fails
    EXPECT_THROW(Write({1.0f}, 0, 0, Path("taken")), std::system_error);

    CKriging estimator(0, 0, 0.0f, TGRIDCELLXY{}, TRECTXYMINMAX{});
    float node = 1.0f;
    char name[] = "unused.grd";
    const TGRIDCELLXY one = {1, 1, 0, 0};
    EXPECT_THROW(estimator.OutKrigingGridFile(nullptr, one, name), std::invalid_argument);
    EXPECT_THROW(estimator.OutKrigingGridFile(&node, one, nullptr), std::invalid_argument);
    EXPECT_THROW(Write({1.0f}, -1, 0, Path("neg.grd")), std::invalid_argument);
    EXPECT_THROW(Write({1.0f}, 65535, 65535, Path("big.grd")), std::invalid_argument);  // 2^32
    EXPECT_EQ(Listing(), std::vector<std::string>{"taken"});
}

TEST_F(GridFileTest, ReaderRejectsMalformedFiles) {
    Write({1, 2, 3, 4, 5, 6}, 2, 1, Path("good.grd"));
    const Bytes good = Read(Path("good.grd"));
    std::vector<Bytes> bad(6, good);
    bad[0].back() = '!';             // end marker
    bad[1][0] = '*';                 // identification
    bad[2][96] = 7;                  // N against 3 x 2
    bad[3].resize(good.size() - 4);  // truncated
    bad[4].push_back(0);             // trailing byte
    bad[5][36] = 0x01;               // format mark
    for (std::size_t i = 0; i < bad.size(); ++i) {
        Save(bad[i], Path("bad.grd"));
        EXPECT_THROW(mosaro::ReadGridFile(Path("bad.grd")), std::runtime_error) << i;
    }
    EXPECT_THROW(mosaro::ReadGridFile(Path("absent.grd")), std::system_error);
}

}  // namespace
