// The strict number rule of the command line's options, at its edges.
#include <gtest/gtest.h>

#include <limits>

#include "cli/CommandLine.h"
#include "cli/TextFormat.h"

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

// A place or a log line in UTF-8 reads back the same from the JSON events; a byte that is no
// part of a well-formed sequence still comes out as valid JSON.
TEST(CommandLine, JsonStringsKeepUtf8AndEscapeTheRest) {
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"3-1.4", "\"3-1.4\""},
        {"a\"b\\c\n", "\"a\\\"b\\\\c\\u000a\""},
        {"\xC3\xA9", "\"\xC3\xA9\""},
        {"\xE2\x82\xAC/\xF0\x9F\x94\x8C", "\"\xE2\x82\xAC/\xF0\x9F\x94\x8C\""},
        {"\xC3", "\"\\u00c3\""},
        {"\xC0\xAF", "\"\\u00c0\\u00af\""},
        {"\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\""},
        {"\xE2\x82x", "\"\\u00e2\\u0082x\""},
        {"\x7F", "\"\\u007f\""},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.text;
}

}  // namespace
}  // namespace tamblor::test
