#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace tamblor {

// The whole command line after the program's name: the command and its arguments.
// `delivered` (may be empty) waits until what went to `out` has reached its reader and says
// whether all of it did; where output is the command's whole work, its status depends on it.
int RunTamblorCli(const std::vector<std::string>& args, const std::filesystem::path& self,
                  std::ostream& out, std::ostream& err,
                  const std::function<bool()>& delivered = {});

// Each subcommand takes the arguments after its name and returns the process exit status.
// `self` is the path of the running executable, the default package carrier.
int RunInfoCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                   std::ostream& out, std::ostream& err);
int RunPackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunUpgradeCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                      std::ostream& out, std::ostream& err);
int RunListCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                   std::ostream& out, std::ostream& err);
int RunStatusCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                     std::ostream& out, std::ostream& err);
// --version: always 0; a missing package is said in the output.
int RunVersionCommand(const std::filesystem::path& self, std::ostream& out);

}  // namespace tamblor
