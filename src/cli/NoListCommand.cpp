#include <ostream>

#include "CommandLine.h"
#include "Commands.h"

namespace tamblor {

int RunListCommand(const std::vector<std::string>& args, const std::filesystem::path&,
                   std::ostream& out, std::ostream& err) {
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            out << "usage: tamblor-cli list [--package FILE] [--json]\n"
                   "This build has no HID transport: it cannot list HID interfaces.\n";
            return 0;
        }
    }
    err << "tamblor-cli list: this build has no HID transport\n";
    return kExitRefused;
}

}  // namespace tamblor
