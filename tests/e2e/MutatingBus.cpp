#include "MutatingBus.h"

#include <algorithm>

namespace tamblor::test {
namespace {

std::size_t Slot(Stream stream) { return static_cast<std::size_t>(stream); }

class CReadChannel final : public IHidReadChannel {
  public:
    CReadChannel(std::unique_ptr<IHidReadChannel> inner, std::shared_ptr<CMutatingBus::State> state)
        : m_inner(std::move(inner)), m_state(std::move(state)) {}

    int ReadReport(std::span<std::uint8_t> buffer) override {
        {
            std::lock_guard lock(m_state->lock);
            if (!m_state->owed.empty()) {
                const Report ack = m_state->owed.front();
                m_state->owed.pop_front();
                const auto length = std::min(buffer.size(), ack.size());
                std::copy_n(ack.begin(), length, buffer.begin());
                return static_cast<int>(length);
            }
        }
        return m_inner->ReadReport(buffer);
    }
    void Cancel() override { m_inner->Cancel(); }

  private:
    std::unique_ptr<IHidReadChannel> m_inner;
    std::shared_ptr<CMutatingBus::State> m_state;
};

class CWriteChannel final : public IHidWriteChannel {
  public:
    CWriteChannel(std::unique_ptr<IHidWriteChannel> inner,
                  std::shared_ptr<CMutatingBus::State> state)
        : m_inner(std::move(inner)), m_state(std::move(state)) {}

    std::uint32_t WriteReport(std::span<const std::uint8_t> bytes) override {
        Report report{};
        std::copy_n(bytes.begin(), std::min(bytes.size(), report.size()), report.begin());
        HostReportEdit edit{{report}, false};
        {
            std::lock_guard lock(m_state->lock);
            const auto place = m_state->Place(report);
            m_state->mutation(place, report, edit);
            const bool same =
                !edit.acknowledgeHere && edit.send.size() == 1 && edit.send[0] == report;
            if (!same) ++m_state->changed;
            if (edit.acknowledgeHere) {
                Report ack{};
                ack[0] = kReportId;
                std::copy_n(report.begin() + 1, 3, ack.begin() + 1);
                m_state->owed.push_back(ack);
                return 0;
            }
        }
        for (const auto& out : edit.send) {
            if (const auto error = m_inner->WriteReport(std::span(out.data(), bytes.size())))
                return error;
        }
        return 0;
    }

  private:
    std::unique_ptr<IHidWriteChannel> m_inner;
    std::shared_ptr<CMutatingBus::State> m_state;
};

}  // namespace

HostReportPlace CMutatingBus::State::Place(const Report& report) {
    if (IsCommandReport(report)) {
        const auto code = static_cast<IspCommand>(report[4]);
        if (code == IspCommand::IspErase || code == IspCommand::Chip1Erase) {
            chunkStream = code == IspCommand::IspErase ? Stream::Chip3 : Stream::Chip1;
            chunkCount[Slot(chunkStream)] = 0;
            chunkOffset[Slot(chunkStream)] = 0;
        } else if (code == IspCommand::IspEnter || code == IspCommand::IspExit) {
            chunkStream = Stream::Command;
        }
        return {Stream::Command, ++commandCount[report[4]], 0};
    }
    const auto sequence = static_cast<std::uint16_t>(report[2] | report[3] << 8);
    auto stream = chunkStream;
    if (stream == Stream::Command || stream == Stream::Chip2File1 || stream == Stream::Chip2File2) {
        // Chip 2: each file starts its sequence numbers again.
        if (sequence == 1) {
            stream = stream == Stream::Chip2File1 ? Stream::Chip2File2 : Stream::Chip2File1;
            chunkCount[Slot(stream)] = 0;
            chunkOffset[Slot(stream)] = 0;
        }
        chunkStream = stream;
    }
    const HostReportPlace place{stream, ++chunkCount[Slot(stream)], chunkOffset[Slot(stream)]};
    chunkOffset[Slot(stream)] += report[1];
    return place;
}

CMutatingBus::CMutatingBus(IHidBus& inner, HostMutation mutation)
    : m_inner(inner), m_state(std::make_shared<State>(std::move(mutation))) {}

std::vector<HidInterfaceInfo> CMutatingBus::EnumerateInterfaces() {
    return m_inner.EnumerateInterfaces();
}

std::unique_ptr<IHidReadChannel> CMutatingBus::OpenRead(const std::string& path) {
    auto inner = m_inner.OpenRead(path);
    if (!inner) return nullptr;
    return std::make_unique<CReadChannel>(std::move(inner), m_state);
}

std::unique_ptr<IHidWriteChannel> CMutatingBus::OpenWrite(const std::string& path) {
    auto inner = m_inner.OpenWrite(path);
    if (!inner) return nullptr;
    return std::make_unique<CWriteChannel>(std::move(inner), m_state);
}

void CMutatingBus::SetDeviceChangeSink(DeviceChangeSink sink) {
    m_inner.SetDeviceChangeSink(std::move(sink));
}

std::size_t CMutatingBus::Changed() const {
    std::lock_guard lock(m_state->lock);
    return m_state->changed;
}

}  // namespace tamblor::test
