// tamblor-cli's first word: which command runs, or the tool's own help and version.

#include <algorithm>
#include <ostream>

#include "CommandLine.h"
#include "Commands.h"
#include "TextFormat.h"

namespace tamblor {
namespace {

constexpr const char* kUsage =
    "usage: tamblor-cli COMMAND [OPTIONS]\n"
    "       tamblor-cli --version | -V\n"
    "  info     show the firmware package this tool carries (or --package FILE)\n"
    "  upgrade  upgrade the dock (--simulate: against the emulated dock)\n"
    "  status   list the matching docks: place, mode, firmware version, upgrade or not\n"
    "  list     list the machine's HID interfaces and whether they match the package\n"
    "  pack     append a firmware package to an executable\n"
    "Run 'tamblor-cli COMMAND --help' (or 'tamblor-cli help COMMAND') for a command's options.\n";

using Command = int (*)(const std::vector<std::string>&, const std::filesystem::path&,
                        std::ostream&, std::ostream&);

int Pack(const std::vector<std::string>& args, const std::filesystem::path&, std::ostream& out,
         std::ostream& err) {
    return RunPackCommand(args, out, err);
}

Command Find(const std::string& name) {
    if (name == "info") return RunInfoCommand;
    if (name == "upgrade") return RunUpgradeCommand;
    if (name == "list") return RunListCommand;
    if (name == "status") return RunStatusCommand;
    if (name == "pack") return Pack;
    return nullptr;
}

int Dispatch(const std::vector<std::string>& args, const std::filesystem::path& self,
             std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "tamblor-cli: no command given (see 'tamblor-cli --help')\n";
        return kExitRefused;
    }
    const std::string& first = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (first == "--help" || first == "-h" || (first == "help" && rest.empty())) {
        out << kUsage;
        return 0;
    }
    if (first == "--version" || first == "-V") {
        if (!rest.empty()) {
            err << "tamblor-cli: " << first << " takes no arguments\n";
            return kExitRefused;
        }
        return RunVersionCommand(self, out);
    }
    if (first == "help") {
        const Command command = rest.size() == 1 ? Find(rest[0]) : nullptr;
        if (command == nullptr) {
            err << "tamblor-cli: help takes one command: info, upgrade, status, list or pack\n";
            return kExitRefused;
        }
        return command({"--help"}, self, out, err);
    }
    if (const Command command = Find(first)) return command(rest, self, out, err);
    err << "tamblor-cli: unknown " << (first.starts_with("-") ? "option" : "command") << " '"
        << OneLineText(first) << "' (see 'tamblor-cli --help')\n";
    return kExitRefused;
}

// upgrade and pack have changed a dock or a file whatever became of their messages, and their
// status says how that went; every other command's output, and any help, is its whole work.
bool OutputIsTheWork(const std::vector<std::string>& args) {
    const bool help = std::any_of(args.begin(), args.end(),
                                  [](const std::string& a) { return a == "--help" || a == "-h"; });
    return help || args.empty() || (args[0] != "upgrade" && args[0] != "pack");
}

}  // namespace

int RunTamblorCli(const std::vector<std::string>& args, const std::filesystem::path& self,
                  std::ostream& out, std::ostream& err, const std::function<bool()>& delivered) {
    const int status = Dispatch(args, self, out, err);
    // `info > file` on a full disk, or with stdout closed, must not pass for a shown package.
    if (status == 0 && OutputIsTheWork(args) && !(out.flush() && (!delivered || delivered()))) {
        err << "tamblor-cli: cannot write the output\n";
        return 1;
    }
    return status;
}

}  // namespace tamblor
