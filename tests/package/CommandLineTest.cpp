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

}  // namespace
}  // namespace tamblor::test
