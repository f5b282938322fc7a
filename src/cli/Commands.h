#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace tamblor {

// Each subcommand takes the arguments after its name and returns the process exit status.
// `self` is the path of the running executable, the default package carrier.
int RunInfoCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                   std::ostream& out, std::ostream& err);
int RunPackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunUpgradeCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                      std::ostream& out, std::ostream& err);
int RunListCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                   std::ostream& out, std::ostream& err);

}  // namespace tamblor
