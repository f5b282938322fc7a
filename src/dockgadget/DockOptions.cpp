#include "DockOptions.h"

#include <charconv>
#include <limits>
#include <ostream>

namespace tamblor {
namespace {

void PrintHelp(std::ostream& out) {
    out << "usage: tamblor-dock [--package FILE] [--mode ap|isp] [--device-version XNNN]\n"
           "                    [--fault NAME[=N]]... [--keyboard-every N]\n"
           "                    [--restart-delay-ms N] [--udc NAME] [--report-json FILE]\n"
           "                    [--progress-every N] [--keep-going]\n"
           "       tamblor-dock --remove [--udc NAME]\n"
           "Presents the emulated dock to this machine's kernel as a USB HID device (a gadget\n"
           "made through configfs on a USB device controller, such as dummy_hcd's), with the\n"
           "identity of the firmware package (default: the one this program carries). Needs\n"
           "root and the modules dummy_hcd, libcomposite and usb_f_hid. Runs until IspExit,\n"
           "a fault that unplugs the dock, or SIGINT/SIGTERM/SIGHUP, then removes its gadget\n"
           "and prints what it received and found wrong. Exit status 0 when the run passed\n"
           "(after IspExit: every chip due holds the package's bytes and no protocol\n"
           "violation; otherwise: no protocol violation), 1 when it did not, 2 when it could\n"
           "not run.\n"
           "Any other signal that ends a process (SIGQUIT, SIGUSR1, ...) also removes the\n"
           "gadget and writes the report, then ends the dock as that signal does; SIGPIPE is\n"
           "ignored. A gadget left by a run that could not clean up (SIGKILL) is refused at\n"
           "start with the command that removes it.\n"
           "  --mode ap|isp           start in the application (default) or the boot loader\n"
           "  --device-version XNNN   version answered to GetVersion (default V102)\n"
           "  --keyboard-every N      add a keyboard collection (report ID 1) that sends a\n"
           "                          report before every Nth answer\n"
           "  --dock-first            with --keyboard-every: the dock's collection first in\n"
           "                          the report descriptor (default: the keyboard's)\n"
           "  --restart-delay-ms N    time off the bus when the dock restarts (default 500)\n"
           "  --udc NAME              USB device controller, an entry of /sys/class/udc\n"
           "                          (default: the first one); a gadget of its own for\n"
           "                          each, so that a tamblor-dock runs on every controller\n"
           "  --report-json FILE      also write the report as JSON (FILE: a new or a regular\n"
           "                          file, checked before the run)\n"
           "  --progress-every N      a progress line every N data chunks\n"
           "  --keep-going            after IspExit, come back in AP mode and serve on\n"
           "  --remove                remove the gadget a killed tamblor-dock left behind (only\n"
           "                          one that tamblor-dock made and no running one holds);\n"
           "                          with --udc, the one of that controller\n"
           "Faults:\n"
        << DockFaultHelp();
}

bool ParseCount(const std::string& text, unsigned& value, unsigned max) {
    unsigned parsed = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, parsed, 10);
    if (text.empty() || ec != std::errc{} || ptr != end || parsed > max) return false;
    value = parsed;
    return true;
}

// "V102" -> 'V', 1, 0, 2.
bool ParseDeviceVersion(const std::string& text, std::array<std::uint8_t, 4>& version) {
    if (text.size() != 4 || text[0] < 0x21 || text[0] > 0x7E) return false;
    std::array<std::uint8_t, 4> parsed{static_cast<std::uint8_t>(text[0])};
    for (std::size_t i = 1; i < 4; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        parsed[i] = static_cast<std::uint8_t>(text[i] - '0');
    }
    version = parsed;
    return true;
}

}  // namespace

std::optional<DockProgramOptions> ParseDockOptions(const std::vector<std::string>& args,
                                                   std::ostream& out, std::ostream& err,
                                                   int& status) {
    DockProgramOptions options;
    status = 2;
    const auto fail = [&](const std::string& line) {
        err << "tamblor-dock: " << line << '\n';
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue =
            arg == "--package" || arg == "--mode" || arg == "--device-version" ||
            arg == "--fault" || arg == "--keyboard-every" || arg == "--restart-delay-ms" ||
            arg == "--udc" || arg == "--report-json" || arg == "--progress-every";
        if (takesValue && i + 1 >= args.size()) return fail(arg + " needs a value");
        const std::string value = takesValue ? args[++i] : std::string();
        unsigned count = 0;
        if (arg == "--help" || arg == "-h") {
            PrintHelp(out);
            status = 0;
            return std::nullopt;
        } else if (arg == "--package") {
            if (value.empty()) return fail("--package needs a file");
            options.package = value;
        } else if (arg == "--mode") {
            if (value != "ap" && value != "isp") return fail("--mode takes ap or isp");
            options.dock.ispMode = value == "isp";
        } else if (arg == "--device-version") {
            if (!ParseDeviceVersion(value, options.dock.version)) {
                return fail("--device-version takes a letter and three digits, e.g. V102");
            }
        } else if (arg == "--fault") {
            std::string error;
            if (!ParseDockFault(value, options.dock.faults, error)) return fail(error);
        } else if (arg == "--keyboard-every") {
            if (!ParseCount(value, count, 1000000) || count == 0) {
                return fail("--keyboard-every takes a count from 1 to 1000000");
            }
            options.run.keyboardEvery = count;
        } else if (arg == "--restart-delay-ms") {
            if (!ParseCount(value, count, 60000)) {
                return fail("--restart-delay-ms takes milliseconds from 0 to 60000");
            }
            options.run.restartDelay = std::chrono::milliseconds(count);
        } else if (arg == "--progress-every") {
            if (!ParseCount(value, count, 1000000) || count == 0) {
                return fail("--progress-every takes a count from 1 to 1000000");
            }
            options.run.progressEvery = count;
        } else if (arg == "--udc") {
            if (value.empty() || value == "." || value == ".." ||
                value.find('/') != std::string::npos) {
                return fail("--udc takes the name of a controller in /sys/class/udc");
            }
            options.udc = value;
        } else if (arg == "--report-json") {
            if (value.empty()) return fail("--report-json needs a file");
            options.reportJson = value;
        } else if (arg == "--dock-first") {
            options.dockFirst = true;
        } else if (arg == "--keep-going") {
            options.run.keepGoing = true;
        } else if (arg == "--remove") {
            options.remove = true;
        } else {
            return fail("unknown option '" + arg + "' (see --help)");
        }
    }
    // The controller names the gadget to remove; nothing else has a meaning there.
    if (options.remove && args.size() != (options.udc.empty() ? 1u : 3u)) {
        return fail("--remove takes no other option than --udc");
    }
    if (options.dockFirst && options.run.keyboardEvery == 0) {
        return fail("--dock-first orders the keyboard's collection: it needs --keyboard-every");
    }
    status = 0;
    return options;
}

}  // namespace tamblor
