#include "hid/emulated/StepDock.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <variant>

namespace tamblor {
namespace {

constexpr std::uint32_t kNoDevice = 19;  // ENODEV, as the threaded emulated dock answers

}  // namespace

// Nothing ever arrives through it: the queue's replies reach the engine from the caller. It
// blocks like a quiet device until cancelled, so the engine's reader neither spins nor gives up.
class CStepDock::CReadChannel final : public IHidReadChannel {
  public:
    int ReadReport(std::span<std::uint8_t>) override {
        std::unique_lock lock(m_lock);
        m_wake.wait(lock, [&] { return m_cancelled; });
        return -1;
    }
    void Cancel() override {
        {
            std::lock_guard lock(m_lock);
            m_cancelled = true;
        }
        m_wake.notify_all();
    }

  private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_cancelled = false;
};

class CStepDock::CWriteChannel final : public IHidWriteChannel {
  public:
    CWriteChannel(CStepDock& dock, std::uint64_t appearance)
        : m_dock(dock), m_appearance(appearance) {}
    std::uint32_t WriteReport(std::span<const std::uint8_t> report) override {
        return m_dock.Write(m_appearance, report);
    }

  private:
    CStepDock& m_dock;
    const std::uint64_t m_appearance;
};

CStepDock::CStepDock(DockConfig config, StepBusOptions options)
    : m_config(config), m_logic(std::move(config)) {
    // Every reply reaches the host through Take, so the dock can tell a host that writes
    // before it has read the answer it waits for.
    m_logic.TrackReplyReads();
    if (options.plugged) {
        auto first = m_appearances.Next(m_logic.IsIspMode());
        m_appearance = first.number;
        m_path = std::move(first.path);
        m_present = true;
    }
}

std::vector<HidInterfaceInfo> CStepDock::EnumerateInterfaces() {
    if (!m_present) return {};
    const HidAttributes attributes{m_config.vendorId, ReportedProductId(m_config),
                                   ReportedVersionNumber(m_config)};
    return {{m_path, attributes,
             HidCaps{m_config.usagePage, m_config.usage, m_config.inputReportLength,
                     m_config.outputReportLength}}};
}

std::unique_ptr<IHidReadChannel> CStepDock::OpenRead(const std::string& path) {
    if (!m_present || path != m_path) return nullptr;
    return std::make_unique<CReadChannel>();
}

std::unique_ptr<IHidWriteChannel> CStepDock::OpenWrite(const std::string& path) {
    if (!m_present || path != m_path) return nullptr;
    return std::make_unique<CWriteChannel>(*this, m_appearance);
}

std::uint32_t CStepDock::Write(std::uint64_t appearance, std::span<const std::uint8_t> report) {
    if (!IsCurrent(appearance) || m_departing) return kNoDevice;
    ++m_writes;
    if (m_watch) m_watch(report);
    const DockActions actions = m_logic.OnHostReport(report);
    for (const auto& reply : actions.replies) {
        m_queue.push_back({Event::Kind::Reply, appearance, reply, {}});
    }
    if (std::holds_alternative<std::monostate>(actions.effect)) return 0;
    m_departing = true;
    const Event removal{Event::Kind::Removal, appearance, {}, m_path};
    if (std::holds_alternative<DockActions::Unplug>(actions.effect)) {
        m_queue.push_back(removal);
        return 0;
    }
    if (m_arrivalFirst) {
        QueueArrival();
        m_queue.push_back(removal);
    } else {
        m_queue.push_back(removal);
        QueueArrival();
    }
    return 0;
}

void CStepDock::QueueArrival() {
    // The logic has already switched mode, so the new path names the mode it returns in.
    auto next = m_appearances.Next(m_logic.IsIspMode());
    m_queue.push_back({Event::Kind::Arrival, next.number, {}, std::move(next.path)});
}

void CStepDock::DropReplies(std::uint64_t appearance) {
    std::erase_if(m_queue, [&](const Event& e) {
        return e.kind == Event::Kind::Reply && e.appearance == appearance;
    });
    // Whatever the host had not yet read leaves with the interface.
    m_logic.OnRepliesLost();
}

std::optional<CStepDock::Event> CStepDock::Take() {
    if (m_queue.empty()) return std::nullopt;
    Event event = std::move(m_queue.front());
    m_queue.pop_front();
    switch (event.kind) {
        case Event::Kind::Reply: {
            if (!IsCurrent(event.appearance)) return std::nullopt;
            if (event.fromDock) m_logic.OnReplyRead();
            // The host's buffer holds no more than the interface's input report; the rest is 0.
            const std::size_t length = std::min<std::size_t>(m_config.inputReportLength, 64);
            if (length == 0) return std::nullopt;
            std::fill(event.report.begin() + static_cast<std::ptrdiff_t>(length),
                      event.report.end(), 0);
            return event;
        }
        case Event::Kind::Removal:
            // With the arrival noticed first, a newer appearance already stands in its place.
            if (IsCurrent(event.appearance)) {
                m_present = false;
                m_departing = false;
                DropReplies(event.appearance);
            }
            return event;
        case Event::Kind::Arrival:
            if (m_present) DropReplies(m_appearance);
            m_appearance = event.appearance;
            m_path = event.path;
            m_present = true;
            m_departing = false;
            return event;
    }
    return std::nullopt;
}

tamblor::Report* CStepDock::NextReply() {
    if (m_queue.empty() || m_queue.front().kind != Event::Kind::Reply) return nullptr;
    return &m_queue.front().report;
}

void CStepDock::InjectReport(const tamblor::Report& report) {
    if (!m_present) return;
    m_queue.push_front({Event::Kind::Reply, m_appearance, report, {}, false});
}

bool CStepDock::DropNextReply() {
    if (NextReply() == nullptr) return false;
    m_queue.pop_front();
    return true;
}

void CStepDock::Unplug() {
    std::erase_if(m_queue, [](const Event& e) { return e.kind == Event::Kind::Arrival; });
    const bool removalQueued = std::any_of(m_queue.begin(), m_queue.end(), [&](const Event& e) {
        return e.kind == Event::Kind::Removal && e.appearance == m_appearance;
    });
    if (m_present && !removalQueued) {
        m_departing = true;
        m_queue.push_front({Event::Kind::Removal, m_appearance, {}, m_path});
    }
}

void CStepDock::Plug() {
    const bool arriving = std::any_of(m_queue.begin(), m_queue.end(), [](const Event& e) {
        return e.kind == Event::Kind::Arrival;
    });
    if ((m_present && !m_departing) || arriving) return;
    m_logic.Reboot();
    QueueArrival();
}

}  // namespace tamblor
