// The engine fed arbitrary runs: reply sequences, faults, removals and arrivals in any order,
// Start pressed at any time, in each start mode and with each selector, against the dock's
// logic as the judge (EngineScenario.h has the rules).
#include <cstddef>
#include <cstdint>
#include <string>

#include "EngineScenario.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto result = tamblor::fuzz::RunScenario({data, size});
    if (!result.finding.empty()) {
        std::string log;
        for (const auto& line : result.lines) log += "\n  | " + line;
        tamblor::fuzz::FuzzFail(result.finding + "; the log since Start upgrade:" + log);
    }
    return 0;
}
