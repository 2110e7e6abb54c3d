// The tool's commands; each returns the exit status or throws ToolError.
#pragma once

#include <string>

#include "RunSetup.h"

namespace mosaro::tool {

struct GridOutputs {
    std::string grid;      // -o
    std::string variance;  // --variance
    std::string picture;   // --png (.png or .svg)
    std::string crs;       // --crs
};
int RunGridCommand(const RunOptions& options, const GridOutputs& outputs);

struct VariogramOutputs {
    std::string plot;  // --plot (.png or .svg)
};
int RunVariogramCommand(const RunOptions& options, const VariogramOutputs& outputs);

int RunInfoCommand(const std::string& grid_file);

struct ConvertOptions {
    std::string input;
    std::string output;
    double origin_x = 0;  // the grid file stores no origin
    double origin_y = 0;
    std::string crs;
};
int RunConvertCommand(const ConvertOptions& options);

}  // namespace mosaro::tool
