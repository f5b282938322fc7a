#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <variant>

#include "UniqueFd.h"
#include "hid/emulated/DockLogic.h"

namespace tamblor::test {

using DockEffect = std::variant<DockActions::Restart, DockActions::Unplug>;

// The dock's logic shared by its successive appearances, and the effects its answers have
// (restart, unplug) waiting for the test's thread, which alone touches the testbed.
struct DockSide {
    explicit DockSide(const DockConfig& config) : logic(config) {}
    std::mutex lock;  // guards both members
    CDockLogic logic;
    std::deque<DockEffect> effects;
};

// Plays the dock on the far end of one hidraw line: every report the tool writes goes through
// the logic, and its replies go back, one write per report. After an effect the line falls
// silent, as the device has left.
class CPtyDock {
  public:
    CPtyDock(DockSide& side, int master);
    ~CPtyDock();  // stops the thread; call before the line hangs up
    CPtyDock(const CPtyDock&) = delete;
    CPtyDock& operator=(const CPtyDock&) = delete;

  private:
    void Run();
    // False when the line failed.
    bool Answer(const Report& report);

    DockSide& m_side;
    const int m_master;
    CUniqueFd m_stop;
    std::thread m_thread;
};

}  // namespace tamblor::test
