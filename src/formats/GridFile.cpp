#include "formats/GridFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "platform/FloatArith.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace mosaro {
namespace {

constexpr char kIdentification[] = "#NEMRAGRIDB#DRAVTONEMRA         ";
constexpr char kTrailer[] = "#ENDDATA#";
constexpr std::size_t kIdentificationSize = sizeof kIdentification - 1;
constexpr std::size_t kTrailerSize = sizeof kTrailer - 1;
static_assert(kIdentificationSize == 32 && kTrailerSize == 9, "fixed field widths");
constexpr std::size_t kHeaderSize = 100;
constexpr float kFormatMarkA = 422.5f;
constexpr float kFormatMarkB = 425.0f;

// Explicit byte order, so the file is the same whatever the host's order.
// Floats travel as their bit patterns and never through arithmetic, which
// could quiet a signalling NaN.
void PutU16(unsigned char* out, std::uint32_t value) {
    out[0] = static_cast<unsigned char>(value & 0xFFu);
    out[1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
}
void PutU32(unsigned char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFFu);
}
void PutFloat(unsigned char* out, const float* value) {
    std::uint32_t bits;
    std::memcpy(&bits, value, sizeof bits);
    PutU32(out, bits);
}
std::uint32_t GetU16(const unsigned char* in) { return in[0] | (std::uint32_t{in[1]} << 8); }
std::uint32_t GetU32(const unsigned char* in) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | in[i];
    return value;
}
void GetFloat(const unsigned char* in, float* value) {
    const std::uint32_t bits = GetU32(in);
    std::memcpy(value, &bits, sizeof bits);
}

long ProcessId() {
#ifdef _WIN32
    return static_cast<long>(::_getpid());
#else
    return static_cast<long>(::getpid());
#endif
}

[[noreturn]] void ThrowFileError(std::error_code error, const std::string& what, const std::string& path) {
    throw std::system_error(error, what + " '" + path + "'");
}
std::error_code LastErrno() { return {errno != 0 ? errno : EIO, std::generic_category()}; }

// A new file beside the target that replaces the target only when committed;
// otherwise it is closed and removed, whatever ended the write.
class PendingFile {
public:
    explicit PendingFile(const std::string& target) : target_(target) {
        // Exclusive creation never reuses a name another writer holds. The
        // process id in the name keeps the temporary files of writers that
        // were killed (and could not remove theirs) from using up the
        // attempts of every later writer.
        const std::string prefix = target + ".tmp" + std::to_string(ProcessId()) + "-";
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = prefix + std::to_string(attempt);
            errno = 0;
            file_ = std::fopen(path_.c_str(), "wbx");
            if (file_ != nullptr) return;
            if (errno != EEXIST) break;
        }
        ThrowFileError(LastErrno(), "cannot create grid file", target_);
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile() {
        if (file_ != nullptr) std::fclose(file_);
        if (!committed_) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }

    void Write(const unsigned char* bytes, std::size_t size) {
        errno = 0;
        if (std::fwrite(bytes, 1, size, file_) != size) ThrowFileError(LastErrno(), "cannot write grid file", target_);
    }

    void Commit() {
        std::FILE* file = file_;
        file_ = nullptr;  // closed below, even when closing fails
        errno = 0;
        if (std::fclose(file) != 0) ThrowFileError(LastErrno(), "cannot write grid file", target_);
        std::error_code error;
        std::filesystem::rename(path_, target_, error);
        if (error) ThrowFileError(error, "cannot replace grid file", target_);
        committed_ = true;
    }

private:
    std::string target_;
    std::string path_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

[[noreturn]] void Malformed(const std::string& path, const std::string& problem) {
    throw std::runtime_error("'" + path + "' is not a valid grid file: " + problem);
}

// The count fields keep only the low 16 bits of each node count. N < 2^31,
// so at most one count reached 65536; that one is recovered as N divided by
// the other. Returns false when no pair of counts fits the fields and N.
bool RecoverNodeCounts(std::int64_t n, std::int64_t fieldX, std::int64_t fieldY, std::int64_t& nodesX,
                       std::int64_t& nodesY) {
    auto wrapped = [n](std::int64_t field, std::int64_t otherField, std::int64_t& nodes) {
        if (otherField == 0 || n % otherField != 0) return false;
        nodes = n / otherField;
        return nodes > 0xFFFF && (nodes & 0xFFFF) == field;
    };
    nodesX = fieldX;
    nodesY = fieldY;
    if (fieldX * fieldY == n) return true;
    if (wrapped(fieldX, fieldY, nodesX)) return true;  // long rows first
    nodesX = fieldX;
    return wrapped(fieldY, fieldX, nodesY);
}

}  // namespace

GridFile ReadGridFile(const std::string& path) {
    errno = 0;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) ThrowFileError(LastErrno(), "cannot open grid file", path);
    const std::streamoff length = in.tellg();
    in.seekg(0);

    std::array<unsigned char, kHeaderSize> header{};
    if (length < static_cast<std::streamoff>(kHeaderSize + kTrailerSize))
        Malformed(path, "shorter than header and trailer");
    if (!in.read(reinterpret_cast<char*>(header.data()), kHeaderSize))
        ThrowFileError(LastErrno(), "cannot read grid file", path);
    if (std::memcmp(header.data(), kIdentification, kIdentificationSize) != 0)
        Malformed(path, "unknown identification");
    float markA, markB;
    GetFloat(&header[32], &markA);
    GetFloat(&header[36], &markB);
    if (markA != kFormatMarkA || markB != kFormatMarkB) Malformed(path, "unknown format marks");

    // N is a signed 32-bit field; values with the sign bit set are negative.
    const std::int64_t n = GetU32(&header[96]);
    std::int64_t nodesX, nodesY;
    if (n < 1 || n > std::numeric_limits<std::int32_t>::max() ||
        !RecoverNodeCounts(n, GetU16(&header[72]), GetU16(&header[74]), nodesX, nodesY))
        Malformed(path, "node count does not match the row and column counts");
    const std::streamoff nodeBytes = n * 4;
    if (length != static_cast<std::streamoff>(kHeaderSize + kTrailerSize) + nodeBytes)
        Malformed(path, "length does not match the node count");

    GridFile grid{};
    grid.layout.nCellCountX = static_cast<int>(nodesX - 1);
    grid.layout.nCellCountY = static_cast<int>(nodesY - 1);
    GetFloat(&header[76], &grid.layout.fCellSizeX);
    GetFloat(&header[80], &grid.layout.fCellSizeY);
    GetFloat(&header[84], &grid.blank);
    GetFloat(&header[88], &grid.minimum);
    GetFloat(&header[92], &grid.maximum);

    std::vector<unsigned char> bytes(static_cast<std::size_t>(nodeBytes) + kTrailerSize);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        ThrowFileError(LastErrno(), "cannot read grid file", path);
    if (std::memcmp(bytes.data() + nodeBytes, kTrailer, kTrailerSize) != 0) Malformed(path, "missing end marker");
    grid.nodes.resize(static_cast<std::size_t>(n));
    for (std::size_t p = 0; p < grid.nodes.size(); ++p) GetFloat(&bytes[4 * p], &grid.nodes[p]);
    return grid;
}

void WriteGridFile(const float* pGrid, TGRIDCELLXY GridCell, const char* pszFileName) {
    if (pGrid == nullptr || pszFileName == nullptr)
        throw std::invalid_argument("OutKrigingGridFile: no grid or no file name");
    const std::int64_t nodesX = std::int64_t{GridCell.nCellCountX} + 1;
    const std::int64_t nodesY = std::int64_t{GridCell.nCellCountY} + 1;
    if (nodesX < 1 || nodesY < 1 || nodesX * nodesY > std::numeric_limits<std::int32_t>::max())
        throw std::invalid_argument("OutKrigingGridFile: node counts outside 1 to 2^31 - 1 nodes");
    const std::size_t n = static_cast<std::size_t>(nodesX * nodesY);

    // The maximum takes blanks into account, the minimum skips them: a grid
    // with any value reports its range, an all-blank grid reports the blank.
    float largest = pGrid[0];
    for (std::size_t p = 1; p < n; ++p)
        if (pGrid[p] > largest) largest = pGrid[p];
    float smallest = largest;
    for (std::size_t p = 0; p < n; ++p)
        if (pGrid[p] < smallest && pGrid[p] != kBlankValue) smallest = pGrid[p];

    std::array<unsigned char, kHeaderSize> header{};  // text field and zero word stay 0
    std::memcpy(&header[0], kIdentification, kIdentificationSize);
    PutFloat(&header[32], &kFormatMarkA);
    PutFloat(&header[36], &kFormatMarkB);
    PutU16(&header[72], static_cast<std::uint32_t>(nodesX) & 0xFFFFu);
    PutU16(&header[74], static_cast<std::uint32_t>(nodesY) & 0xFFFFu);
    PutFloat(&header[76], &GridCell.fCellSizeX);
    PutFloat(&header[80], &GridCell.fCellSizeY);
    PutFloat(&header[84], &kBlankValue);
    PutFloat(&header[88], &smallest);
    PutFloat(&header[92], &largest);
    PutU32(&header[96], static_cast<std::uint32_t>(n));

    const std::string path(pszFileName);
    PendingFile file(path);
    file.Write(header.data(), header.size());
    std::array<unsigned char, 4 * 4096> chunk;
    for (std::size_t first = 0; first < n; first += 4096) {
        const std::size_t count = std::min<std::size_t>(4096, n - first);
        for (std::size_t k = 0; k < count; ++k) PutFloat(&chunk[4 * k], &pGrid[first + k]);
        file.Write(chunk.data(), 4 * count);
    }
    file.Write(reinterpret_cast<const unsigned char*>(kTrailer), kTrailerSize);
    file.Commit();
}

}  // namespace mosaro
