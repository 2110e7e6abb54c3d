// Output files that appear only once they are complete.
//
// Every output of a command is written into one hidden folder created beside
// the targets (same file system, so the final move is a rename), under the
// target's own name, so that drivers writing side files (an ASCII grid's
// .prj, a GeoTIFF's .aux.xml) write them there too. Commit() moves every
// file of the folder beside the targets; if the command fails or is
// cancelled first, the folder is removed and no target is touched.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace mosaro::tool {

class StagedOutputs {
public:
    StagedOutputs() = default;
    StagedOutputs(const StagedOutputs&) = delete;
    StagedOutputs& operator=(const StagedOutputs&) = delete;
    ~StagedOutputs();

    // The path to write `target` to. Throws ToolError when the target's
    // folder does not exist or cannot be written, before any work is done.
    std::string Stage(const std::string& target);
    // Moves every staged file to its place. A target's side files (.prj,
    // .aux.xml) that this run did not write are removed first: one left
    // from an earlier run would give the new grid that run's CRS.
    void Commit();

private:
    struct Folder {
        std::string target_dir;  // weakly canonical
        std::string staging_dir;
        std::vector<std::string> names;  // the targets' file names
    };
    Folder& FolderFor(const std::string& targetDir);
    std::vector<Folder> folders_;
    std::set<std::string> staged_;
};

}  // namespace mosaro::tool
