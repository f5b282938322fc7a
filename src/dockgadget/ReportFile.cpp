#include "ReportFile.h"

#include <cstdint>
#include <span>

namespace tamblor {

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
