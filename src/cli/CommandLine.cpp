#include "CommandLine.h"

#include <algorithm>
#include <charconv>

#include "TextFormat.h"

namespace tamblor {

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args,
                                   std::span<const OptionRule> rules) {
    ParsedCommandLine parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            continue;
        }
        // A later --help still wins: keep looking for one, but report the first problem only.
        if (!parsed.error.empty()) continue;

        const auto equals = arg.find('=');
        const std::string_view name = std::string_view(arg).substr(0, equals);
        const auto rule = std::find_if(rules.begin(), rules.end(),
                                       [&](const OptionRule& s) { return s.name == name; });
        if (!arg.starts_with("-")) {
            parsed.error = "unexpected argument '" + arg + "'";
            continue;
        }
        if (rule == rules.end()) {
            parsed.error = "unknown option '" + std::string(name) + "'";
            continue;
        }
        GivenOption given{rule->name, {}};
        if (!rule->takesValue) {
            if (equals != std::string::npos) {
                parsed.error = std::string(name) + " takes no value";
                continue;
            }
        } else if (equals != std::string::npos) {
            given.value = arg.substr(equals + 1);
        } else if (i + 1 < args.size() && !args[i + 1].starts_with("--")) {
            given.value = args[++i];
        }
        // No option of this tool means anything by an empty value.
        if (rule->takesValue && given.value.empty()) {
            parsed.error = std::string(name) + " needs a value";
            continue;
        }
        if (rule->takesValue && !rule->repeatable &&
            std::any_of(parsed.options.begin(), parsed.options.end(),
                        [&](const GivenOption& o) { return o.name == rule->name; })) {
            parsed.error = std::string(name) + " is given more than once";
            continue;
        }
        parsed.options.push_back(std::move(given));
    }
    return parsed;
}

std::string UsageError(std::string_view command, std::string_view problem) {
    std::string line = "tamblor-cli ";
    line += command;
    line += ": ";
    line += problem;
    line += " (see 'tamblor-cli ";
    line += command;
    line += " --help')";
    return OneLineText(line);
}

std::optional<int> AnswerHelpOrRefusal(const ParsedCommandLine& parsed, std::string_view command,
                                       std::string_view help, std::ostream& out,
                                       std::ostream& err) {
    if (parsed.help) {
        out << help;
        return 0;
    }
    if (!parsed.error.empty()) {
        err << UsageError(command, parsed.error) << "\n";
        return kExitRefused;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t max) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

// "V102" -> 'V', 1, 0, 2.
bool ParseDeviceVersion(const std::string& text, std::array<std::uint8_t, 4>& version) {
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (text.size() != 4 || !isLetter(text[0])) return false;
    version[0] = static_cast<std::uint8_t>(text[0]);
    for (std::size_t i = 1; i < 4; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        version[i] = static_cast<std::uint8_t>(text[i] - '0');
    }
    return true;
}

}  // namespace tamblor
