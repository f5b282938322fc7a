#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "SelfPath.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const char* argv0 = argc > 0 ? argv[0] : "tamblor-cli";
    return tamblor::RunTamblorCli(args, tamblor::SelfExecutablePath(argv0), std::cout, std::cerr);
}
