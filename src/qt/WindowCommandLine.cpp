#include "WindowCommandLine.h"

#include <string_view>

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

// The options QApplication takes for itself (the window's look, its display, its platform):
// the window passes them on as it always did. The first group takes the next argument as its
// value; the prefixes carry their value after '='.
constexpr std::string_view kQtOptionsWithValue[] = {
    "-platform",    "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
    "-qwindowicon", "-qwindowtitle",       "-session",       "-style",  "-stylesheet",
    "-display",     "-geometry",           "-name",          "-title",  "-visual"};
constexpr std::string_view kQtOptionPrefixes[] = {"-style=", "-stylesheet=", "-qmljsdebugger="};
constexpr std::string_view kQtFlags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

// How many arguments the Qt option at args[index] spans; 0 when it is none of Qt's.
std::size_t QtOptionSpan(const std::vector<std::string>& args, std::size_t index) {
    const std::string_view arg = args[index];
    for (const std::string_view flag : kQtFlags) {
        if (arg == flag) return 1;
    }
    for (const std::string_view prefix : kQtOptionPrefixes) {
        if (arg.size() > prefix.size() && arg.substr(0, prefix.size()) == prefix) return 1;
    }
    for (const std::string_view option : kQtOptionsWithValue) {
        if (arg == option) return index + 1 < args.size() ? 2 : 0;
    }
    return 0;
}

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
    if (!help && !version) {
        std::size_t index = 0;
        while (index < args.size()) {
            const std::size_t span = QtOptionSpan(args, index);
            if (span == 0) break;
            index += span;
        }
        if (index == args.size()) return std::nullopt;
        err << "tamblor: unexpected argument '" << args[index] << "' (see 'tamblor --help')\n";
        return kExitRefused;
    }
    const std::string& refused = args[1];
    err << "tamblor: unexpected argument '" << refused << "' (see 'tamblor --help')\n";
    return kExitRefused;
}

}  // namespace tamblor
