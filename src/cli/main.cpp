#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "SelfPath.h"

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: tamblor-cli COMMAND [OPTIONS]\n"
           "  info     show the firmware package this tool carries (or --package FILE)\n"
           "  upgrade  upgrade the dock (--simulate: against the emulated dock)\n"
           "  list     list the machine's HID interfaces and whether they match the package\n"
           "  pack     append a firmware package to an executable\n"
           "Run 'tamblor-cli COMMAND --help' for a command's options.\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(std::cerr);
        return 2;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    const std::filesystem::path self = tamblor::SelfExecutablePath(argv[0]);
    if (command == "info") return tamblor::RunInfoCommand(args, self, std::cout, std::cerr);
    if (command == "pack") return tamblor::RunPackCommand(args, std::cout, std::cerr);
    if (command == "upgrade") return tamblor::RunUpgradeCommand(args, self, std::cout, std::cerr);
    if (command == "list") return tamblor::RunListCommand(args, self, std::cout, std::cerr);
    if (command == "--help" || command == "-h" || command == "help") {
        PrintUsage(std::cout);
        return 0;
    }
    std::cerr << "tamblor-cli: unknown command '" << command << "'\n";
    PrintUsage(std::cerr);
    return 2;
}
