#pragma once

#include <filesystem>
#include <string>

#include "fileio/TempOutput.h"

namespace tamblor {

// Writes the run's JSON report to `path` (a line of its own) through the project's writer: it
// replaces `path` only once whole, and with the mode a plain new file would have. False with
// the reason in `error`.
bool WriteReportFile(const std::filesystem::path& path, const std::string& json, std::string& error,
                     TempTagSource tags = {});

}  // namespace tamblor
