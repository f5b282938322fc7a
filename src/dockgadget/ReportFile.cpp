#include "ReportFile.h"

#include <cstdint>
#include <span>

namespace tamblor {

std::string ReportTargetProblem(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    std::error_code error;
    if (!fs::is_directory(folder, error)) return folder.string() + " is not a folder";
    const auto status = fs::symlink_status(path, error);
    if (status.type() == fs::file_type::not_found || fs::is_regular_file(status)) return {};
    return path.string() + " is not a regular file";
}

bool WriteReportFile(const std::filesystem::path& path, const std::string& json, std::string& error,
                     TempTagSource tags) {
    CTempOutput output(path, std::move(tags));
    const std::string line = json + '\n';
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
    const bool written = output.IsOpen() && output.Write(std::span(bytes, line.size())) &&
                         output.SetMode(CTempOutput::UsualMode()) && output.SyncAndClose() &&
                         output.Commit();
    if (!written) error = output.Failure();
    return written;
}

}  // namespace tamblor
