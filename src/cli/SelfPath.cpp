#include "SelfPath.h"

#include <system_error>

namespace tamblor {

std::filesystem::path SelfExecutablePath(const char* argv0) {
    std::error_code error;
    // The kernel's own record of the image, immune to PATH lookups and working-directory moves.
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return path;
    return std::filesystem::absolute(argv0, error);
}

}  // namespace tamblor
