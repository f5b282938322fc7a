#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <variant>
#include <vector>

#include "UniqueFd.h"
#include "dock/DockLogic.h"

namespace tamblor::test {

using DockEffect = std::variant<DockActions::Restart, DockActions::Unplug>;

// The dock's logic shared by its successive appearances, and the effects its answers have
// (restart, unplug) waiting for the test's thread, which alone touches the testbed.
struct DockSide {
    explicit DockSide(const DockConfig& config) : logic(config) {}
    std::mutex lock;  // guards the members below
    CDockLogic logic;
    std::deque<DockEffect> effects;
    // Input reports of the node's other collections (a keyboard's, say): called with every
    // report the tool writes; what it returns reaches the tool before the dock's answer.
    std::function<std::vector<std::uint8_t>(const Report&)> otherCollection;
};

// Gathers the 64-byte reports the tool writes to the master end of a line (a byte stream) and
// hands each to `onReport`, until `stop` becomes readable, the line hangs up or fails, or
// `onReport` returns false.
void ForEachReport(int master, int stop, const std::function<bool(const Report&)>& onReport);

// Plays the dock on the far end of one hidraw line: every report the tool writes goes through
// the logic, and its replies go back, one write per report. After an effect the line falls
// silent, as the device has left.
//
// A line is a byte stream where hidraw hands out one report per read, so a report of another
// collection goes out alone: the dock waits until the tool has read it from the slave end.
class CPtyDock {
  public:
    CPtyDock(DockSide& side, int master, int slave);
    ~CPtyDock();  // stops the thread; call before the line hangs up
    CPtyDock(const CPtyDock&) = delete;
    CPtyDock& operator=(const CPtyDock&) = delete;

  private:
    void Run();
    // False when the line failed.
    bool Answer(const Report& report);

    DockSide& m_side;
    const int m_master;
    const int m_slave;
    CUniqueFd m_stop;
    std::thread m_thread;
};

}  // namespace tamblor::test
