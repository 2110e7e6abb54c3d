// The C API's model struct and the engine's nested model, both ways.
#pragma once

#include "mosaro.h"
#include "variogram/VariogramModel.h"

namespace mosaro {

// Throws ApiError(MOSARO_ERROR_MODEL) naming `name` and the problem: a
// struct_size too small, a structure count outside 0..MOSARO_MAX_STRUCTURES,
// an unknown family, a parameter out of its bounds. Fields a family does
// not read (Pow's range, the shape of a family without one) are ignored.
VariogramModel ToVariogramModel(const mosaro_model& model, const char* name);

// Writes `model` into the caller's struct (up to its struct_size);
// MOSARO_ERROR_MODEL when it has more structures than the struct holds.
void FromVariogramModel(const VariogramModel& model, mosaro_model* out);

}  // namespace mosaro
