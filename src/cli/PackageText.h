#pragma once

#include <filesystem>
#include <string>

#include "package/PackageLoader.h"

namespace tamblor {

// "FILE: ISP error 61! (it does not end in a trailer record: no firmware package)": the
// loader's code as the window logs it, with what it means for this file.
std::string DescribeLoadFailure(const std::filesystem::path& path, const LoadResult& result);

// The version as the record writes it: the letter and the three digit characters ("V103").
std::string RecordVersion(const PackageInfo& info);

}  // namespace tamblor
