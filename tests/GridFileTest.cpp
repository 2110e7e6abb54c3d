// The binary grid file: exact bytes, bit-identical round trips, no partial
// file on failure, and a reader that refuses malformed files.
#include "formats/GridFile.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/FloatArith.h"
#include "ScratchDirectory.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using mosaro_test::Bits;

std::uint32_t U32At(const Bytes& b, std::size_t at) {  // little-endian, whatever the host
    return b[at] | (b[at + 1] << 8u) | (b[at + 2] << 16u) | (std::uint32_t{b[at + 3]} << 24u);
}

class GridFileTest : public mosaro_test::ScratchDirectoryTest {
protected:
    static void Write(std::vector<float> nodes, int cellsX, int cellsY, const std::string& path) {
        CKriging(0, 0, 0.0f, TGRIDCELLXY{}, TRECTXYMINMAX{})
            .OutKrigingGridFile(nodes.data(), TGRIDCELLXY{0.5f, 2.0f, cellsX, cellsY}, const_cast<char*>(path.c_str()));
    }
    static Bytes Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::size_t Entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {})); }
};

TEST_F(GridFileTest, OneNodeFileIsExactToTheByte) {
    Write({7.25f}, 0, 0, Path("one.grd"));
    const std::string identification = "#NEMRAGRIDB#DRAVTONEMRA         ", trailer = "#ENDDATA#";
    Bytes expected(identification.begin(), identification.end());
    expected.insert(expected.end(), {0x00, 0x40, 0xD3, 0x43, 0x00, 0x80, 0xD4, 0x43});  // 422.5 425
    expected.insert(expected.end(), 32, 0x00);                                          // text field, zero word
    expected.insert(expected.end(), {0x01, 0x00, 0x01, 0x00});                          // 1 node per row, 1 row
    expected.insert(expected.end(), {0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x40});  // 0.5 2
    expected.insert(expected.end(), {0x99, 0x76, 0x96, 0xFE});                          // blank
    expected.insert(expected.end(), {0x00, 0x00, 0xE8, 0x40, 0x00, 0x00, 0xE8, 0x40});  // min max
    expected.insert(expected.end(), {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE8, 0x40});  // N node
    expected.insert(expected.end(), trailer.begin(), trailer.end());
    EXPECT_EQ(Read(Path("one.grd")), expected);
}

TEST_F(GridFileTest, ThreeByTwoGridReadsBackBitIdentical) {
    // NaN payloads, -0, a denormal, the blank: copied bit for bit. The
    // minimum skips the blank, the maximum does not.
    const std::uint32_t patterns[] = {0x40800000, 0x7FC12345, 0x80000000, 0x00000001, 0xFE967699, 0x40200000};
    std::vector<float> nodes(6);
    std::memcpy(nodes.data(), patterns, sizeof patterns);
    Write(nodes, 2, 1, Path("g.grd"));
    const Bytes file = Read(Path("g.grd"));
    ASSERT_EQ(file.size(), 100u + 6 * 4 + 9);
    EXPECT_EQ(U32At(file, 72), 3u | (2u << 16));  // 3 nodes per row, 2 rows
    EXPECT_EQ(U32At(file, 88), 0x80000000u);      // smallest: -0 (the blank is skipped)
    EXPECT_EQ(U32At(file, 92), 0x40800000u);      // largest: 4 (NaN compares false)
    EXPECT_EQ(U32At(file, 96), 6u);
    const mosaro::GridFile grid = mosaro::ReadGridFile(Path("g.grd"));
    EXPECT_TRUE(grid.layout.nCellCountX == 2 && grid.layout.nCellCountY == 1);
    for (std::size_t p = 0; p < 6; ++p) EXPECT_EQ(Bits(grid.nodes[p]), patterns[p]) << p;
}

TEST_F(GridFileTest, ReplacesWholeFilesAndLeavesNothingBehindOnFailure) {
    std::ofstream(Path("old.grd")) << std::string(1000, 'x');
    Write({1.0f}, 0, 0, Path("old.grd"));
    EXPECT_EQ(Read(Path("old.grd")).size(), 113u);
    try {
        Write({1.0f}, 0, 0, Path("missing/g.grd"));
        ADD_FAILURE() << "no exception";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
    }
    fs::create_directory(Path("taken"));  // the final rename fails
    EXPECT_THROW(Write({1.0f}, 0, 0, Path("taken")), std::system_error);
    EXPECT_THROW(Write({1.0f}, -1, 0, Path("neg.grd")), std::invalid_argument);
    EXPECT_EQ(Entries(), 2u);  // old.grd and taken: no temporary, no partial file
}

#ifndef _WIN32  // fork and SIGKILL
// A writer killed at any moment (here: SIGKILL to a child that rewrites a
// 1 MiB grid in a loop, after delays spread over several writes) leaves
// the old file or a complete new one, never a partial one. Its temporary
// file stays behind (a killed process cannot remove it); no number of
// those may keep the next writer from writing.
TEST_F(GridFileTest, KilledWriterLeavesTheOldFileOrACompleteNewOne) {
    const std::string target = Path("g.grd");
    const std::vector<float> before(1 << 18, 1.0f), after(1 << 18, 2.0f);
    const auto start = std::chrono::steady_clock::now();
    Write(before, 511, 511, target);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    const Bytes old = Read(target);
    Write(after, 511, 511, Path("new.grd"));
    const Bytes complete = Read(Path("new.grd"));
    fs::remove(Path("new.grd"));
    int replaced = 0;
    for (int round = 0; round < 120; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) Write(round % 2 ? after : before, 511, 511, target);
        }
        // From before the first write ends to past the third.
        ::usleep(static_cast<useconds_t>(took.count() / 4 + (round * 7919) % (3 * took.count() + 1)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const Bytes now = Read(target);
        ASSERT_TRUE(now == old || now == complete) << "round " << round << ": " << now.size() << " bytes";
        replaced += now == complete;
    }
    EXPECT_GT(replaced, 0);    // the kills did land after complete writes too
    EXPECT_GT(Entries(), 1u);  // and during writes, leaving their temporaries
    // However many such leftovers lie beside the target, under whatever
    // names, the next writer writes.
    for (int k = 0; k < 150; ++k) std::ofstream(target + ".tmp" + std::to_string(k)) << "left by a killed writer";
    Write(after, 511, 511, target);
    EXPECT_EQ(Read(target), complete);
}
#endif

TEST_F(GridFileTest, ReaderRejectsMalformedFiles) {
    Write({1, 2, 3, 4, 5, 6}, 2, 1, Path("good.grd"));
    const Bytes good = Read(Path("good.grd"));
    std::vector<Bytes> bad(4, good);
    bad[0].back() = '!';             // end marker
    bad[1][0] = '*';                 // identification
    bad[2][96] = 7;                  // N against 3 x 2
    bad[3].resize(good.size() - 4);  // truncated
    for (const Bytes& b : bad) {
        std::ofstream(Path("bad.grd"), std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        EXPECT_THROW(mosaro::ReadGridFile(Path("bad.grd")), std::runtime_error);
    }
}

TEST_F(GridFileTest, CApiRoundTripsAndNamesEachFailure) {
    const float nodes[6] = {1.5f, -2.0f, 0.0f, 3.25f, 7.0f, -0.5f};
    ASSERT_EQ(mosaro_grid_file_write(Path("c.grd").c_str(), nodes, 3, 2, 0.5f, 2.0f), MOSARO_OK);
    mosaro_grid_file* file = nullptr;
    ASSERT_EQ(mosaro_grid_file_read(Path("c.grd").c_str(), &file), MOSARO_OK);
    EXPECT_TRUE(file->node_count_x == 3 && file->node_count_y == 2);
    EXPECT_TRUE(file->cell_size_x == 0.5f && file->cell_size_y == 2.0f);
    EXPECT_TRUE(file->minimum == -2.0f && file->maximum == 7.0f);
    for (int p = 0; p < 6; ++p) EXPECT_EQ(Bits(file->nodes[p]), Bits(nodes[p])) << p;
    mosaro_grid_file_info info{};
    info.struct_size = sizeof info;
    ASSERT_EQ(mosaro_grid_file_info_get(file, &info), MOSARO_OK);
    EXPECT_TRUE(info.node_count_x == 3 && info.node_count_y == 2 && info.cell_size_y == 2.0f);
    EXPECT_TRUE(info.minimum == -2.0f && info.maximum == 7.0f && info.blank == file->blank &&
                info.nodes == file->nodes);
    info.struct_size = offsetof(mosaro_grid_file_info, nodes);  // a layout without the nodes: refused
    EXPECT_EQ(mosaro_grid_file_info_get(file, &info), MOSARO_ERROR_STRUCT_SIZE);
    mosaro_grid_file_free(file);

    std::ofstream(Path("text.grd")) << "not a grid";
    EXPECT_EQ(mosaro_grid_file_read(Path("text.grd").c_str(), &file), MOSARO_ERROR_FILE_FORMAT);
    EXPECT_NE(std::strstr(mosaro_last_message(), "text.grd"), nullptr) << mosaro_last_message();
    EXPECT_EQ(mosaro_grid_file_read(Path("none.grd").c_str(), &file), MOSARO_ERROR_FILE);
    EXPECT_EQ(mosaro_grid_file_write(Path("no/dir.grd").c_str(), nodes, 3, 2, 1, 1), MOSARO_ERROR_FILE);
    EXPECT_EQ(mosaro_grid_file_write(Path("z.grd").c_str(), nodes, 0, 2, 1, 1), MOSARO_ERROR_NODE_COUNT);
    EXPECT_EQ(mosaro_grid_file_write(Path("z.grd").c_str(), nodes, 65536, 65536, 1, 1), MOSARO_ERROR_TOO_LARGE);
    EXPECT_EQ(mosaro_grid_file_write(nullptr, nodes, 3, 2, 1, 1), MOSARO_ERROR_NULL_POINTER);
    EXPECT_EQ(mosaro_grid_file_read(Path("c.grd").c_str(), nullptr), MOSARO_ERROR_NULL_POINTER);
    mosaro_grid_file_free(nullptr);
}

}  // namespace
