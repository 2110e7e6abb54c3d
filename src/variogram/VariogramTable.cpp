#include "variogram/VariogramTable.h"

#include <memory>

namespace mosaro {

float** AllocateVariogramTable(std::size_t classCount) {
    std::unique_ptr<float*[]> rows(new float*[3]());
    std::unique_ptr<float[]> owned[3];
    for (int row = 0; row < 3; ++row) {
        owned[row].reset(new float[classCount]());
    }
    for (int row = 0; row < 3; ++row) rows[row] = owned[row].release();
    return rows.release();
}

void ReleaseVariogramTable(float**& table) {
    if (table == nullptr) return;
    for (int row = 0; row < 3; ++row) delete[] table[row];
    delete[] table;
    table = nullptr;
}

}  // namespace mosaro
