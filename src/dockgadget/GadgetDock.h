#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "GadgetLink.h"
#include "dock/DockLogic.h"

namespace tamblor {

struct GadgetDockOptions {
    // How long the dock stays away when it restarts, before it connects again.
    std::chrono::milliseconds restartDelay{500};
    // A keyboard report (report ID 1, no key pressed) goes out before every Nth answer; 0: never.
    unsigned keyboardEvery = 0;
    // A progress line every N data chunks; 0: none.
    unsigned progressEvery = 0;
    // After IspExit the dock comes back in its application and serves on, instead of ending.
    bool keepGoing = false;
};

enum class GadgetDockEnd {
    Upgraded,   // IspExit: the upgrade is over and the dock has left
    Unplugged,  // a fault took the dock off the bus for good
    Stopped,    // a signal
    Failed,     // the link failed; the reason is in the error text
};

const char* ToString(GadgetDockEnd end);

// The emulated dock's logic on a real USB link: every output report the host writes goes
// through the logic, its answers go back one input report each (the logic learns when the host
// reads each one, so it can tell a host that writes before reading), and a restart takes the
// device off the bus and brings it back after the restart delay, as a real dock does. For
// every report it also measures the host's turnaround: the time from the dock's previous answer
// to that report's arrival.
class CGadgetDock {
  public:
    // `stopFd` becomes readable when the dock should stop (a signalfd, or an eventfd in tests).
    CGadgetDock(IGadgetLink& link, CDockLogic& logic, GadgetDockOptions options, int stopFd,
                std::ostream& out);

    GadgetDockEnd Run(std::string& error);

    // Host turnarounds in microseconds, in arrival order.
    const std::vector<double>& Turnarounds() const { return m_turnarounds; }
    unsigned Restarts() const { return m_restarts; }
    // Reports that arrived while the host had not yet collected the dock's previous answer: a
    // host with two reports in flight, or a new host process that met the answer meant for one
    // that died.
    unsigned EarlyReports() const { return m_earlyReports; }

  private:
    enum class Wait { Ready, Stopped, Failed };
    // What sits on the endpoint for the host to take: nothing, a reply of the logic, or a
    // report of the keyboard collection.
    enum class InFlight { None, Reply, Other };

    bool Connect(std::string& error);
    // One host report through the logic; false when the run ends, with `end` set.
    bool OnHostReport(std::span<const std::uint8_t> report, GadgetDockEnd& end, std::string& error);
    Wait Send(std::span<const std::uint8_t> report, bool isReply, std::string& error);
    bool HostTookLast() const;
    // The host has taken what was in flight.
    void NoteTaken();
    // Off the bus: whatever the host had not taken is lost.
    void LeaveBus();
    Wait WaitFor(int fd, short events, int timeoutMs);
    void NoteProgress();

    IGadgetLink& m_link;
    CDockLogic& m_logic;
    const GadgetDockOptions m_options;
    const int m_stopFd;
    std::ostream& m_out;

    std::vector<double> m_turnarounds;
    std::chrono::steady_clock::time_point m_lastAnswer{};
    bool m_answered = false;
    InFlight m_inFlight = InFlight::None;
    std::uint64_t m_answers = 0;
    std::uint64_t m_chunks = 0;
    unsigned m_restarts = 0;
    unsigned m_earlyReports = 0;
};

}  // namespace tamblor
