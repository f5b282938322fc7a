// The strict number rule of the command line's options, at its edges.
#include <gtest/gtest.h>

#include <limits>

#include "cli/CommandLine.h"

namespace tamblor::test {
namespace {

TEST(CommandLine, DecimalsAreDigitsOnlyAndWithinRange) {
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    const struct {
        const char* text;
        std::uint64_t most;
        std::optional<std::uint64_t> value;
    } cases[] = {
        {"0", 10, 0},
        {"1000000", 1000000, 1000000},
        {"007", 10, 7},
        {"18446744073709551615", kMax, kMax},
        {"18446744073709551616", kMax, std::nullopt},
        {"1000001", 1000000, std::nullopt},
        {"", 10, std::nullopt},
        {"-1", 10, std::nullopt},
        {"+1", 10, std::nullopt},
        {" 5", 10, std::nullopt},
        {"5 ", 10, std::nullopt},
        {"1e3", 10000, std::nullopt},
        {"0x10", 100, std::nullopt},
        {"1.0", 10, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseDecimal(c.text, c.most), c.value);
    }
}

TEST(CommandLine, AnOptionThatNamesOneThingComesOnce) {
    constexpr OptionRule rules[] = {{"--segment0", true}, {"--fault", true, true}, {"--json"}};
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--segment0", "a", "--segment0", "b"}, "--segment0 is given more than once"},
        {{"--segment0=a", "--segment0=a"}, "--segment0 is given more than once"},
        {{"--fault", "x", "--fault", "y"}, ""},
        {{"--json", "--json"}, ""},
        {{"--segment0", "a", "--fault", "x", "--json"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(ParseCommandLine(c.args, rules).error, c.error);
    }
}

}  // namespace
}  // namespace tamblor::test
