// Checks of a modern request against the samples it grids. Every refusal
// throws ApiError with the status of the argument and a message naming it
// and its value; nothing is allocated before the checks pass.
#pragma once

#include "api/PreparedSamples.h"
#include "mosaro.h"

namespace mosaro {

// The caller's request, copied up to the size it declares into a request of
// this library's layout (fields it does not know keep their defaults).
mosaro_request ReadRequest(const mosaro_request* request);

void ValidateRequest(const mosaro_request& request, const mosaro_samples& samples);

}  // namespace mosaro
