#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "dock/DockLogic.h"
#include "hid/emulated/DockAppearances.h"
#include "hid/emulated/EmulatedBusOptions.h"

namespace tamblor {

// Everything the emulated dock's bus, its worker and its channels share. Channels keep it
// alive, so a channel that outlives the bus only ever fails. Guarded by `mutex`.
struct DockBusState {
    using Clock = std::chrono::steady_clock;

    struct Scheduled {
        enum class Kind { Reply, Removal, Arrival };
        Kind kind = Kind::Reply;
        std::uint64_t appearance = 0;
        Report report{};   // Reply
        std::string path;  // Removal, Arrival
    };

    DockBusState(const DockConfig& dockConfig, const EmulatedBusOptions& busOptions)
        : config(dockConfig), options(busOptions), logic(dockConfig) {
        // Every read and every lost reply passes through this bus, so the logic can tell
        // when the host writes before it has read the answer it waits for.
        logic.TrackReplyReads();
    }

    mutable std::mutex mutex;
    // Wakes the worker when something was scheduled or the bus stops.
    std::condition_variable workerWake;
    // Wakes readers and waiters on every change of activity.
    mutable std::condition_variable changed;

    const DockConfig config;
    const EmulatedBusOptions options;
    CDockLogic logic;
    bool stopping = false;

    // The dock's current appearance on the bus; each arrival gets a new number and path.
    std::uint64_t appearance = 0;
    // A dock with a place names its paths after it, so docks of one rack never share a path.
    CDockAppearances appearances{options.place.empty() ? std::string("emu") : options.place};
    std::string path;
    bool present = false;
    // An effect or a pulled cable is taking the dock away: it takes no more reports.
    bool departing = false;

    // Due time order; equal times keep the order of scheduling.
    std::multimap<Clock::time_point, Scheduled> schedule;
    std::deque<Report> ready;
    std::size_t scheduledReplies = 0;
    // Device changes scheduled, or being handed to the sink.
    std::size_t changesInFlight = 0;
    // Reports delivered by a read and not yet acknowledged; a read acknowledges them all by
    // advancing the epoch.
    std::size_t unacked = 0;
    std::uint64_t ackEpoch = 0;
    std::uint64_t activity = 0;

    std::vector<Report> received;

    std::size_t Pending() const {
        return scheduledReplies + ready.size() + changesInFlight + unacked;
    }

    // Counts a change and wakes everyone watching.
    void Touch() {
        ++activity;
        changed.notify_all();
    }

    bool IsCurrent(std::uint64_t channelAppearance) const {
        return !stopping && present && channelAppearance == appearance;
    }

    void AcknowledgeAll() {
        if (unacked == 0) return;
        ++ackEpoch;
        unacked = 0;
    }

    // The time after which a new item keeps its place behind everything already scheduled.
    Clock::time_point NotBefore(Clock::time_point due) const {
        if (schedule.empty()) return due;
        return std::max(due, schedule.rbegin()->first);
    }

    void ScheduleChange(Scheduled::Kind kind, Clock::time_point due, std::uint64_t forAppearance,
                        std::string changePath) {
        schedule.emplace(due, Scheduled{kind, forAppearance, {}, std::move(changePath)});
        ++changesInFlight;
        workerWake.notify_one();
    }

    // Schedules the dock's return as a new appearance.
    void ScheduleArrival(Clock::time_point due) {
        auto next = appearances.Next(logic.IsIspMode());
        ScheduleChange(Scheduled::Kind::Arrival, due, next.number, std::move(next.path));
    }
};

}  // namespace tamblor
