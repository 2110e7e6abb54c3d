// The experimental variogram table: three rows of one float per lag class
// (lag distance, pair count, semivariance), each row its own heap block
// behind a table of three row pointers.
#pragma once

#include <cstddef>

namespace mosaro {

enum VariogramRow { kLagRow = 0, kPairCountRow = 1, kSemivarianceRow = 2 };

// Allocates a table of three rows of classCount floats, all zero. All or
// nothing: on failure nothing is left allocated and std::bad_alloc escapes.
float** AllocateVariogramTable(std::size_t classCount);

// Releases the rows, then the row table, and sets the pointer to null.
// Does nothing for a null pointer.
void ReleaseVariogramTable(float**& table);

}  // namespace mosaro

namespace mosaro {

// Owns one table until it is handed over (to a legacy estimator's member).
class OwnedVariogramTable {
public:
    explicit OwnedVariogramTable(float** table = nullptr) : table_(table) {}
    ~OwnedVariogramTable() { ReleaseVariogramTable(table_); }
    OwnedVariogramTable(OwnedVariogramTable&& other) noexcept : table_(other.Release()) {}
    OwnedVariogramTable& operator=(OwnedVariogramTable&& other) noexcept {
        if (this != &other) {
            ReleaseVariogramTable(table_);
            table_ = other.Release();
        }
        return *this;
    }
    OwnedVariogramTable(const OwnedVariogramTable&) = delete;
    OwnedVariogramTable& operator=(const OwnedVariogramTable&) = delete;

    float** Get() const { return table_; }
    float** Release() {
        float** table = table_;
        table_ = nullptr;
        return table;
    }

private:
    float** table_;
};

}  // namespace mosaro
