#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dock/DockLogic.h"
#include "hid/HidPort.h"
#include "hid/emulated/DockAppearances.h"
#include "hid/emulated/EmulatedBusOptions.h"

namespace tamblor {

// The emulated dock's logic on a bus without a thread or a clock. Everything the dock does
// (its answers, its removals and arrivals) waits in one queue in the order it happened, and
// the caller hands it on one item at a time, so a run goes the same way every time and its
// length is counted in items, not in seconds. Single-threaded: only the engine's reader thread
// may call in from elsewhere, and it only ever blocks in a read until that read is cancelled.
class CStepDock final : public IHidBus {
  public:
    struct Event {
        enum class Kind { Reply, Removal, Arrival };
        Kind kind = Kind::Reply;
        std::uint64_t appearance = 0;
        Report report{};       // Reply
        std::string path;      // Removal, Arrival
        bool fromDock = true;  // a reply of the dock's, not one put in its way
    };

    // Sees every report the host writes to the dock, before the dock does.
    using WriteWatch = std::function<void(std::span<const std::uint8_t>)>;

    explicit CStepDock(DockConfig config, StepBusOptions options = {});

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override;
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override;
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override;
    void SetDeviceChangeSink(DeviceChangeSink) override {}

    // When the dock restarts, the new interface's arrival is noticed before the old one's
    // removal (both orders happen on real machines).
    void SetArrivalFirst(bool arrivalFirst) { m_arrivalFirst = arrivalFirst; }
    void SetWriteWatch(WriteWatch watch) { m_watch = std::move(watch); }

    bool HasEvents() const { return !m_queue.empty(); }
    const Event& Next() const { return m_queue.front(); }
    // Takes the next item off the queue and brings the bus up to date with it. Returns the
    // item for the caller to hand to the engine, or nothing when it concerns no one any more
    // (a reply of an appearance that has left).
    std::optional<Event> Take();
    // The next reply, for a test that changes it on its way; null when the next item is none.
    Report* NextReply();
    // Puts a report the dock was never asked for in front of everything queued.
    void InjectReport(const Report& report);
    // Loses the next reply.
    bool DropNextReply();

    // A cable pulled: the dock leaves ahead of anything queued, and a restart under way never
    // completes. A cable put back: it powers up in the mode it last had, under a new path.
    void Unplug();
    void Plug();

    bool IsPresent() const { return m_present; }
    const std::string& CurrentPath() const { return m_path; }
    const CDockLogic& Logic() const { return m_logic; }
    DockReport Verdict() const { return m_logic.Report(); }
    // Reports written to the dock (a write to an appearance that left fails and is not here).
    std::size_t Writes() const { return m_writes; }

  private:
    class CReadChannel;
    class CWriteChannel;

    std::uint32_t Write(std::uint64_t appearance, std::span<const std::uint8_t> report);
    bool IsCurrent(std::uint64_t appearance) const {
        return m_present && appearance == m_appearance;
    }
    void QueueArrival();
    void DropReplies(std::uint64_t appearance);

    DockConfig m_config;
    CDockLogic m_logic;
    bool m_arrivalFirst = false;
    WriteWatch m_watch;

    std::deque<Event> m_queue;
    std::uint64_t m_appearance = 0;
    CDockAppearances m_appearances{"step"};
    std::string m_path;
    bool m_present = false;
    bool m_departing = false;
    std::size_t m_writes = 0;
};

}  // namespace tamblor
