#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/UiPort.h"

namespace tamblor::bench {

using Clock = std::chrono::steady_clock;

// A window that keeps nothing: the engine's own cost is what we measure.
class NullUi : public IUiPort {
  public:
    void PostLogRecord(LogRecord record) override { lastValue = record.value; }
    void ClearLog() override {}
    void SetProgressPosition(int) override {}
    void SetFillColor(std::uint32_t, bool) override {}
    void EnableUpgradeButton(bool enable) override { offered = enable || offered; }
    void SetVersionText(std::string) override {}
    std::uint16_t lastValue = 0;
    bool offered = false;
};

inline double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[index];
}

void RunChunkCost();
// The two packages default to the ones the build made.
void RunTurnaround(const char* selector2Package, const char* selector3Package);
void RunLoadTime();
// N emulated docks at once against one; `package` is the one they are upgraded with.
void RunManyDocks(const char* package);

}  // namespace tamblor::bench
