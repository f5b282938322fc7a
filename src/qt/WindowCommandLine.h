#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tamblor {

// The window's own arguments, answered before Qt is started, so that a question about the
// tool needs no display. Returns the exit status when the arguments were answered or refused;
// nothing when the window is to open.
std::optional<int> AnswerWindowArguments(const std::vector<std::string>& args, std::ostream& out,
                                         std::ostream& err);

}  // namespace tamblor
