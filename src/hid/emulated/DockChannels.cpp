#include "DockChannels.h"

#include <algorithm>

namespace tamblor {
namespace {

constexpr std::uint32_t kNoDevice = 19;  // ENODEV

}  // namespace

CDockReadChannel::CDockReadChannel(std::shared_ptr<DockBusState> state, std::uint64_t appearance)
    : m_state(std::move(state)), m_appearance(appearance) {}

CDockReadChannel::~CDockReadChannel() { Cancel(); }

void CDockReadChannel::ReleaseLocked() {
    if (m_holding && m_holdingEpoch == m_state->ackEpoch) --m_state->unacked;
    m_holding = false;
}

void CDockReadChannel::Cancel() {
    std::lock_guard lock(m_state->mutex);
    m_cancelled = true;
    ReleaseLocked();
    m_state->Touch();
}

int CDockReadChannel::ReadReport(std::span<std::uint8_t> buffer) {
    auto& s = *m_state;
    std::unique_lock lock(s.mutex);
    // Asking for the next report means the host is done with the previous one.
    s.AcknowledgeAll();
    m_holding = false;
    for (;;) {
        if (m_cancelled || !s.IsCurrent(m_appearance)) {
            s.Touch();
            return -1;
        }
        if (!s.ready.empty()) {
            const Report report = s.ready.front();
            s.ready.pop_front();
            s.logic.OnReplyRead();
            const auto length =
                std::min({buffer.size(), report.size(), std::size_t{s.config.inputReportLength}});
            std::copy_n(report.begin(), length, buffer.begin());
            m_holding = true;
            m_holdingEpoch = s.ackEpoch;
            ++s.unacked;
            s.Touch();
            return static_cast<int>(length);
        }
        s.changed.wait(lock);
    }
}

CDockWriteChannel::CDockWriteChannel(std::shared_ptr<DockBusState> state, std::uint64_t appearance)
    : m_state(std::move(state)), m_appearance(appearance) {}

std::uint32_t CDockWriteChannel::WriteReport(std::span<const std::uint8_t> report) {
    auto& s = *m_state;
    std::lock_guard lock(s.mutex);
    if (!s.IsCurrent(m_appearance) || s.departing) return kNoDevice;

    Report copy{};
    std::copy_n(report.begin(), std::min(report.size(), copy.size()), copy.begin());
    s.received.push_back(copy);

    const DockActions actions = s.logic.OnHostReport(report);
    const auto due = DockBusState::Clock::now() + s.options.latency;
    for (const Report& reply : actions.replies) {
        if (s.options.latency.count() == 0 && s.schedule.empty()) {
            s.ready.push_back(reply);
        } else {
            s.schedule.emplace(s.NotBefore(due),
                               DockBusState::Scheduled{
                                   DockBusState::Scheduled::Kind::Reply, m_appearance, reply, {}});
            ++s.scheduledReplies;
            s.workerWake.notify_one();
        }
    }

    if (!std::holds_alternative<std::monostate>(actions.effect)) {
        s.departing = true;
        const auto removal = s.NotBefore(due);
        s.ScheduleChange(DockBusState::Scheduled::Kind::Removal, removal, m_appearance, s.path);
        // The logic has already switched mode, so the new path names the mode it returns in.
        if (std::holds_alternative<DockActions::Restart>(actions.effect)) {
            s.ScheduleArrival(removal + s.options.restartDelay);
        }
    }
    s.Touch();
    return 0;
}

}  // namespace tamblor
