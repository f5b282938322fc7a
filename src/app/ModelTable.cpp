#include "ModelTable.h"

#include <array>
#include <string_view>

namespace tamblor {
namespace {

struct DeviceModel {
    std::uint16_t productId;
    std::string_view modelCode;
};

// Fifty rows; the unused ones hold product ID 0 and an empty code, and take part in the lookup
// like the others. 0xF505 appears twice: the first row wins.
constexpr std::array<DeviceModel, 50> MakeTable() {
    std::array<DeviceModel, 50> rows{};
    rows[0] = {0xF503, "RQN4103K7"};
    rows[1] = {0xF505, "RQN4105K7"};
    rows[2] = {0xF506, "RQN4106P7"};
    rows[3] = {0xF507, "RQN4107K7"};
    rows[4] = {0xF401, "LWT2001P7"};
    rows[5] = {0xF505, "LWB3150M7"};
    return rows;
}

constexpr auto g_deviceModels = MakeTable();

}  // namespace

std::string LookupModelName(std::uint16_t productId) {
    for (const auto& row : g_deviceModels) {
        if (row.productId == productId) return std::string(row.modelCode);
    }
    return "Device Name error";
}

}  // namespace tamblor
