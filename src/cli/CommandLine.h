#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
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
    bool repeatable = false;  // a value that adds (--fault) rather than names one thing
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
// are kept in their order. An option whose value names one thing (a file, a version) may come
// once only: a second --segment0 silently overriding the first would pack, and later flash,
// an image the user did not mean. Flags and repeatable options may come again.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args,
                                   std::span<const OptionRule> rules);

// "tamblor-cli COMMAND: PROBLEM (see 'tamblor-cli COMMAND --help')": the one line a command
// prints when its arguments are refused.
std::string UsageError(std::string_view command, std::string_view problem);

// What a command answers before reading its own options: its help when asked for (status 0),
// or the one line that refuses the arguments (kExitRefused). Empty when the command goes on.
std::optional<int> AnswerHelpOrRefusal(const ParsedCommandLine& parsed, std::string_view command,
                                       std::string_view help, std::ostream& out, std::ostream& err);

// A decimal number of digits only (no sign, blank, exponent or base prefix) not above `max`.
std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t max);

// A version as a dock reports it, a letter and three digits: "V102" -> 'V', 1, 0, 2.
bool ParseDeviceVersion(const std::string& text, std::array<std::uint8_t, 4>& version);

}  // namespace tamblor
