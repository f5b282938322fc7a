#include "WindowCommandLine.h"

#ifndef TAMBLOR_VERSION
#error "the build defines TAMBLOR_VERSION, the project's version"
#endif

namespace tamblor {
namespace {

constexpr const char* kUsage =
    "usage: tamblor\n"
    "       tamblor --help | -h\n"
    "       tamblor --version | -V\n"
    "Opens the operator's window, which upgrades the firmware of the attached dock.\n"
    "The window takes no arguments; the firmware it carries is shown by\n"
    "'tamblor-cli info --package /path/to/tamblor'.\n";

constexpr int kExitRefused = 2;

}  // namespace

std::optional<int> AnswerWindowArguments(const std::vector<std::string>& args, std::ostream& out,
                                         std::ostream& err) {
    if (args.empty()) return std::nullopt;
    const std::string& first = args[0];
    const bool help = first == "--help" || first == "-h";
    const bool version = first == "--version" || first == "-V";
    if ((help || version) && args.size() == 1) {
        out << (help ? kUsage : "tamblor " TAMBLOR_VERSION "\n");
        // `tamblor --version > file` on a full disk must not pass for an answer given.
        if (!out.flush()) {
            err << "tamblor: cannot write the output\n";
            return 1;
        }
        return 0;
    }
    const std::string& refused = help || version ? args[1] : first;
    err << "tamblor: unexpected argument '" << refused << "' (see 'tamblor --help')\n";
    return kExitRefused;
}

}  // namespace tamblor
