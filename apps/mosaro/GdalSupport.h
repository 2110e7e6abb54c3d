// What the tool's GDAL readers and writers share.
#pragma once

#include <gdal_priv.h>

#include <memory>

namespace mosaro::tool {

// Closes through GDALClose, which also flushes a dataset being written.
struct DatasetCloser {
    void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

}  // namespace mosaro::tool
