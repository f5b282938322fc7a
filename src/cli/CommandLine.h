#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tamblor {

// Exit status of a command whose arguments or inputs were refused.
inline constexpr int kExitRefused = 2;

struct OptionRule {
    std::string_view name;  // "--carrier"
    bool takesValue = false;
};

struct GivenOption {
    std::string_view name;  // as in its rule
    std::string value;      // empty for a flag
};

struct ParsedCommandLine {
    bool help = false;                 // --help or -h came, wherever it stood
    std::vector<GivenOption> options;  // in the order given
    std::string error;                 // what is wrong; empty when the arguments parsed
};

// Reads "--name value" and "--name=value". A value may be neither empty nor start with "--":
// a missing value then shows as what it is rather than swallowing the next option. Options
// are kept in their order, so that a later one overrides an earlier one as usual, and one
// that adds (--fault) can come again.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args,
                                   std::span<const OptionRule> rules);

// "tamblor-cli COMMAND: PROBLEM (see 'tamblor-cli COMMAND --help')": the one line a command
// prints when its arguments are refused.
std::string UsageError(std::string_view command, std::string_view problem);

// A decimal number of digits only (no sign, blank, exponent or base prefix) not above `max`.
std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t max);

}  // namespace tamblor
