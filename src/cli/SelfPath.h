#pragma once

#include <filesystem>

namespace tamblor {

// Path of the running executable, which carries the firmware package.
std::filesystem::path SelfExecutablePath(const char* argv0);

}  // namespace tamblor
