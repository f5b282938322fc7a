#pragma once

#include <filesystem>
#include <string>

#include "fileio/TempOutput.h"

namespace tamblor {

// Writes the run's JSON report to `path` (a line of its own) through the project's writer: it
// replaces `path` only once whole, and with the mode a plain new file would have. False with
// the reason in `error`.
// Why the report could not be written to `path` at the run's end, checked before the run so
// that a long run does not end in a lost report: a folder that is not there, or a `path` that
// is anything but a regular file (the writer never replaces a link or a device). Empty when
// nothing stands in the way yet.
std::string ReportTargetProblem(const std::filesystem::path& path);

bool WriteReportFile(const std::filesystem::path& path, const std::string& json, std::string& error,
                     TempTagSource tags = {});

}  // namespace tamblor
