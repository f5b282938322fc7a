#include "PlaceView.h"

#include <algorithm>

#include "DevicePath.h"
#include "isp/IspReply.h"

namespace tamblor {

// Reads for the engine and notes the mode and version replies on the way. Shares the notes
// with the view, so a channel the engine keeps a little longer never writes into a freed view.
class CPlaceView::SniffingChannel final : public IHidReadChannel {
  public:
    SniffingChannel(std::unique_ptr<IHidReadChannel> inner, std::shared_ptr<Shared> shared)
        : m_inner(std::move(inner)), m_shared(std::move(shared)) {}

    int ReadReport(std::span<std::uint8_t> buffer) override {
        const int length = m_inner->ReadReport(buffer);
        if (length > 0) {
            const IspReply reply = DecodeReply(buffer.first(static_cast<std::size_t>(length)));
            if (reply.IsMode() || reply.IsVersion()) {
                std::lock_guard guard(m_shared->lock);
                if (reply.IsMode()) m_shared->sighting.ispMode = reply.IspMode();
                if (reply.IsVersion()) m_shared->sighting.version = reply.version;
            }
        }
        return length;
    }
    void Cancel() override { m_inner->Cancel(); }

  private:
    std::unique_ptr<IHidReadChannel> m_inner;
    std::shared_ptr<Shared> m_shared;
};

CPlaceView::CPlaceView(IHidBus& bus, std::string place) : m_bus(bus), m_place(std::move(place)) {}

bool CPlaceView::AtPlace(const HidInterfaceInfo& info) const {
    return m_place.empty() || info.place == m_place;
}

std::vector<HidInterfaceInfo> CPlaceView::EnumerateInterfaces() {
    auto interfaces = m_bus.EnumerateInterfaces();
    std::erase_if(interfaces, [this](const HidInterfaceInfo& info) { return !AtPlace(info); });
    return interfaces;
}

std::unique_ptr<IHidReadChannel> CPlaceView::Sniff(std::unique_ptr<IHidReadChannel> channel) {
    if (!channel) return nullptr;
    return std::make_unique<SniffingChannel>(std::move(channel), m_shared);
}

std::unique_ptr<IHidReadChannel> CPlaceView::OpenRead(const std::string& path) {
    return Sniff(m_bus.OpenRead(path));
}

std::unique_ptr<IHidReadChannel> CPlaceView::OpenInterfaceRead(const HidInterfaceInfo& info) {
    return Sniff(m_bus.OpenInterfaceRead(info));
}

std::unique_ptr<IHidWriteChannel> CPlaceView::OpenWrite(const std::string& path) {
    return m_bus.OpenWrite(path);
}

void CPlaceView::SetDeviceChangeSink(DeviceChangeSink sink) { m_sink = std::move(sink); }

std::string CPlaceView::OpenFailureHint() const { return m_bus.OpenFailureHint(); }

ClaimResult CPlaceView::ClaimPlace(const HidInterfaceInfo& info) { return m_bus.ClaimPlace(info); }

void CPlaceView::Notify(const DeviceChange& change) {
    if (!m_sink) return;
    if (change.kind == DeviceChangeKind::Arrival && !m_place.empty()) {
        if (!change.place.empty()) {
            if (change.place != m_place) return;
            m_sink(change);
            return;
        }
        const auto interfaces = m_bus.EnumerateInterfaces();
        const auto arrived = std::find_if(
            interfaces.begin(), interfaces.end(),
            [&](const HidInterfaceInfo& info) { return SameDevicePath(info.path, change.path); });
        if (arrived != interfaces.end() && !AtPlace(*arrived)) return;
    }
    m_sink(change);
}

DockSighting CPlaceView::Sighting() const {
    std::lock_guard guard(m_shared->lock);
    return m_shared->sighting;
}

}  // namespace tamblor
