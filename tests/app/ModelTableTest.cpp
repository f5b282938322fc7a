#include <gtest/gtest.h>

#include "app/ModelTable.h"

namespace tamblor {
namespace {

TEST(ModelTable, Lookup) {
    const struct {
        std::uint16_t productId;
        const char* model;
    } cases[] = {
        {0xF503, "RQN4103K7"},         {0xF505, "RQN4105K7"},  // row 2 wins over row 6
        {0xF506, "RQN4106P7"},         {0xF507, "RQN4107K7"},
        {0xF401, "LWT2001P7"},         {0x3305, "Device Name error"},
        {0xF504, "Device Name error"}, {0x0000, ""},  // the first empty row matches
        {0xFFFF, "Device Name error"},
    };
    for (const auto& c : cases) EXPECT_EQ(LookupModelName(c.productId), c.model) << c.productId;
}

}  // namespace
}  // namespace tamblor
