#include "EmulatedDock.h"

#include <algorithm>

#include "DockBusState.h"
#include "DockChannels.h"

namespace tamblor {
namespace {

using Kind = DockBusState::Scheduled::Kind;

// Another collection of the same device, as a keyboard would show it.
constexpr HidCaps kDecoyCaps{1, 6, 9, 2};

}  // namespace

CEmulatedDock::CEmulatedDock(DockConfig config, EmulatedBusOptions options)
    : m_state(std::make_shared<DockBusState>(config, options)) {
    if (options.plugged) {
        auto first = m_state->appearances.Next(m_state->logic.IsIspMode());
        m_state->appearance = first.number;
        m_state->path = std::move(first.path);
        m_state->present = true;
    }
    m_worker = std::thread([this] { WorkerLoop(); });
}

CEmulatedDock::~CEmulatedDock() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
        m_state->workerWake.notify_all();
        m_state->Touch();
    }
    m_worker.join();
}

std::vector<HidInterfaceInfo> CEmulatedDock::EnumerateInterfaces() {
    std::lock_guard lock(m_state->mutex);
    const auto& s = *m_state;
    if (!s.present) return {};
    const HidAttributes attributes{s.config.vendorId, ReportedProductId(s.config),
                                   ReportedVersionNumber(s.config)};
    std::vector<HidInterfaceInfo> interfaces;
    if (s.options.decoyFirst)
        interfaces.push_back({s.path + "/decoy", attributes, kDecoyCaps, {}, s.options.place});
    interfaces.push_back({s.path,
                          attributes,
                          HidCaps{s.config.usagePage, s.config.usage, s.config.inputReportLength,
                                  s.config.outputReportLength},
                          {},
                          s.options.place});
    return interfaces;
}

std::unique_ptr<IHidReadChannel> CEmulatedDock::OpenRead(const std::string& path) {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->IsCurrent(m_state->appearance) || path != m_state->path) return nullptr;
    return std::make_unique<CDockReadChannel>(m_state, m_state->appearance);
}

std::unique_ptr<IHidWriteChannel> CEmulatedDock::OpenWrite(const std::string& path) {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->IsCurrent(m_state->appearance) || path != m_state->path) return nullptr;
    return std::make_unique<CDockWriteChannel>(m_state, m_state->appearance);
}

void CEmulatedDock::SetDeviceChangeSink(DeviceChangeSink sink) {
    std::lock_guard lock(m_sinkMutex);
    m_sink = std::move(sink);
}

std::size_t CEmulatedDock::Pending() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->Pending();
}

std::uint64_t CEmulatedDock::Activity() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->activity;
}

std::uint64_t CEmulatedDock::WaitForActivity(std::uint64_t seen,
                                             std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_state->mutex);
    const auto& s = *m_state;
    s.changed.wait_for(lock, timeout, [&] { return s.activity != seen || s.stopping; });
    return s.activity;
}

void CEmulatedDock::WaitForPendingChange(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_state->mutex);
    const auto& s = *m_state;
    const auto before = s.Pending();
    s.changed.wait_for(lock, timeout, [&] { return s.Pending() != before || s.stopping; });
}

void CEmulatedDock::Unplug() {
    std::lock_guard lock(m_state->mutex);
    auto& s = *m_state;
    for (auto it = s.schedule.begin(); it != s.schedule.end();) {
        if (it->second.kind == Kind::Arrival) {
            it = s.schedule.erase(it);
            --s.changesInFlight;
        } else {
            ++it;
        }
    }
    if (s.present && !s.departing) {
        // Ahead of any reply still on its way, which then never arrives.
        s.departing = true;
        s.ScheduleChange(Kind::Removal, DockBusState::Clock::now(), s.appearance, s.path);
    }
    s.Touch();
}

void CEmulatedDock::Plug() {
    std::lock_guard lock(m_state->mutex);
    auto& s = *m_state;
    const bool arriving = std::any_of(s.schedule.begin(), s.schedule.end(), [](const auto& item) {
        return item.second.kind == Kind::Arrival;
    });
    if ((s.present && !s.departing) || arriving) return;
    // After a removal still to come, not after replies that the removal will drop.
    auto due = DockBusState::Clock::now();
    for (const auto& [time, item] : s.schedule) {
        if (item.kind == Kind::Removal) due = std::max(due, time);
    }
    s.logic.Reboot();
    s.ScheduleArrival(due);
    s.Touch();
}

bool CEmulatedDock::IsPresent() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->present;
}

std::string CEmulatedDock::CurrentPath() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->path;
}

bool CEmulatedDock::IsIspMode() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->logic.IsIspMode();
}

std::vector<tamblor::Report> CEmulatedDock::ReceivedReports() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->received;
}

DockReport CEmulatedDock::Report() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->logic.Report();
}

void CEmulatedDock::Deliver(const DeviceChange& change) {
    std::lock_guard lock(m_sinkMutex);
    if (m_sink) m_sink(change);
}

void CEmulatedDock::WorkerLoop() {
    auto& s = *m_state;
    std::unique_lock lock(s.mutex);
    while (!s.stopping) {
        if (s.schedule.empty()) {
            s.workerWake.wait(lock);
            continue;
        }
        const auto head = s.schedule.begin();
        if (DockBusState::Clock::now() < head->first) {
            s.workerWake.wait_until(lock, head->first);
            continue;
        }
        const DockBusState::Scheduled item = std::move(head->second);
        s.schedule.erase(head);

        if (item.kind == Kind::Reply) {
            --s.scheduledReplies;
            if (s.IsCurrent(item.appearance)) s.ready.push_back(item.report);
            s.Touch();
            continue;
        }

        DeviceChange change{DeviceChangeKind::Arrival, item.path, s.options.place};
        if (item.kind == Kind::Removal) {
            change.kind = DeviceChangeKind::Removal;
            s.present = false;
            s.departing = false;
            // Whatever the dock had not yet handed over leaves with it.
            s.ready.clear();
            s.logic.OnRepliesLost();
            for (auto it = s.schedule.begin(); it != s.schedule.end();) {
                if (it->second.kind == Kind::Reply && it->second.appearance == item.appearance) {
                    it = s.schedule.erase(it);
                    --s.scheduledReplies;
                } else {
                    ++it;
                }
            }
        } else {
            s.appearance = item.appearance;
            s.path = item.path;
            s.present = true;
            s.departing = false;
        }
        s.Touch();

        lock.unlock();
        Deliver(change);
        lock.lock();
        --s.changesInFlight;
        s.Touch();
    }
}

}  // namespace tamblor
