// What Ctrl-C, SIGTERM and SIGHUP do to a real upgrade, with time given by the test.
#include <gtest/gtest.h>

#include <vector>

#include "cli/InterruptPolicy.h"

namespace tamblor::test {
namespace {

using namespace std::chrono_literals;

struct Step {
    std::chrono::milliseconds at;
    StopSignal signal;
    bool chipBeingWritten;
    StopDecision expected;
};

constexpr auto I = StopSignal::Interrupt;
constexpr auto T = StopSignal::Terminate;
constexpr auto H = StopSignal::Hangup;
constexpr auto Warn = StopDecision::Warn;
constexpr auto End = StopDecision::End;
constexpr auto Carry = StopDecision::Carry;

TEST(InterruptPolicy, WarnsOnceDuringAChipWriteAndEndsOtherwise) {
    const struct {
        const char* name;
        std::vector<Step> steps;
    } scripts[] = {
        {"Ctrl-C outside a chip write ends at once", {{0ms, I, false, End}}},
        {"SIGTERM ends at once, also during a chip write", {{0ms, T, true, End}}},
        {"a second Ctrl-C within the window ends", {{0ms, I, true, Warn}, {4999ms, I, true, End}}},
        {"the window's last instant still counts", {{0ms, I, true, Warn}, {5000ms, I, true, End}}},
        {"a Ctrl-C after the window warns again",
         {{0ms, I, true, Warn}, {5001ms, I, true, Warn}, {9000ms, I, true, End}}},
        {"after the write, a Ctrl-C ends without asking again",
         {{0ms, I, true, Warn}, {60000ms, I, false, End}}},
        {"SIGTERM after a warning ends", {{0ms, I, true, Warn}, {10ms, T, true, End}}},
        {"a hangup outside a chip write ends", {{0ms, H, false, End}}},
        {"a hangup during a chip write carries the upgrade on, however often",
         {{0ms, H, true, Carry}, {10ms, H, true, Carry}}},
        {"a hangup does not count as the first Ctrl-C",
         {{0ms, H, true, Carry}, {10ms, I, true, Warn}, {20ms, I, true, End}}},
    };
    const auto start = CInterruptPolicy::Clock::time_point{} + 1h;
    for (const auto& script : scripts) {
        SCOPED_TRACE(script.name);
        CInterruptPolicy policy;
        for (const Step& step : script.steps) {
            EXPECT_EQ(policy.OnSignal(step.signal, start + step.at, step.chipBeingWritten),
                      step.expected)
                << "at " << step.at.count() << " ms";
        }
    }
}

}  // namespace
}  // namespace tamblor::test
