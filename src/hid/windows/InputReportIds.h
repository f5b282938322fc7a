#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "HidApi.h"

namespace tamblor::win {

// The IDs of the input reports that belong to the interface's own collection: those of the
// input items in its link collection node 0 or in a logical collection inside it. Empty when
// its reports carry no ID (ID 0), where the read channel has nothing to tell apart. Nullopt
// when the class driver's answers do not say which reports are the collection's own.
std::optional<std::vector<std::uint8_t>> OwnInputReportIds(const HidApi& api,
                                                           PHIDP_PREPARSED_DATA preparsed,
                                                           const HIDP_CAPS& caps);

}  // namespace tamblor::win
