#include "StagedOutput.h"

#include <cpl_port.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "ToolError.h"

namespace fs = std::filesystem;

namespace mosaro::tool {
namespace {

// The files beside `name` that GDAL reads with it. Only an ASCII grid takes
// its CRS from <stem>.prj; for other formats that name may well be another
// file's (a shapefile's), so it is left alone.
std::vector<std::string> SideFiles(const std::string& name) {
    std::vector<std::string> sides{name + ".aux.xml"};
    const fs::path path(name);
    if (EQUAL(path.extension().string().c_str(), ".asc")) sides.push_back(path.stem().string() + ".prj");
    return sides;
}

}  // namespace

StagedOutputs::~StagedOutputs() {
    std::error_code ignored;
    for (const Folder& folder : folders_) fs::remove_all(folder.staging_dir, ignored);
}

StagedOutputs::Folder& StagedOutputs::FolderFor(const std::string& targetDir) {
    std::error_code error;
    if (!fs::is_directory(targetDir, error)) throw ToolError("cannot write into '" + targetDir + "': no such folder");
    // One folder however it is spelled (sub/.., ./), so that one file named
    // two ways is seen as one name.
    const std::string canonical = fs::weakly_canonical(targetDir, error).string();
    if (error) throw ToolError("cannot write into '" + targetDir + "': " + error.message());
    for (Folder& folder : folders_)
        if (folder.target_dir == canonical) return folder;
    std::string pattern = (fs::path(canonical) / ".mosaro-output-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw ToolError("cannot write into '" + targetDir + "': " + std::strerror(errno));
    folders_.push_back(Folder{canonical, pattern, {}});
    return folders_.back();
}

std::string StagedOutputs::Stage(const std::string& target) {
    const fs::path path(target);
    if (path.filename().empty()) throw ToolError("'" + target + "' is a folder, not an output file");
    std::error_code error;
    if (fs::is_directory(path, error)) throw ToolError("'" + target + "' is a folder, not an output file");
    const std::string dir = path.has_parent_path() ? path.parent_path().string() : ".";
    Folder& folder = FolderFor(dir);
    const std::string staged = (fs::path(folder.staging_dir) / path.filename()).string();
    // Two outputs under one name would leave only the one written last.
    if (!staged_.insert(staged).second) throw ToolError("'" + target + "' is named as two outputs");
    folder.names.push_back(path.filename().string());
    return staged;
}

void StagedOutputs::Commit() {
    for (const Folder& folder : folders_) {
        for (const std::string& name : folder.names) {
            for (const std::string& side : SideFiles(name)) {
                std::error_code error;
                if (fs::exists(fs::path(folder.staging_dir) / side, error)) continue;
                fs::remove(fs::path(folder.target_dir) / side, error);
                if (error) throw ToolError("cannot remove the stale '" + side + "': " + error.message());
            }
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(folder.staging_dir)) {
            const fs::path target = fs::path(folder.target_dir) / entry.path().filename();
            std::error_code error;
            fs::rename(entry.path(), target, error);
            if (error) throw ToolError("cannot write '" + target.string() + "': " + error.message());
        }
    }
}

}  // namespace mosaro::tool
