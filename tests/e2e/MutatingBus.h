#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "hid/HidPort.h"
#include "isp/IspReport.h"

namespace tamblor::test {

// Which stream a host report belongs to, as the reports before it show.
enum class Stream { Command, Chip2File1, Chip2File2, Chip3, Chip1 };

struct HostReportPlace {
    Stream stream = Stream::Command;
    // 1-based: the chunk's place in its stream, or a command's among those with its code.
    std::uint32_t index = 0;
    // Chunks: offset of the chunk's first byte in its image.
    std::uint32_t offset = 0;
};

// What becomes of one host report on its way to the dock.
struct HostReportEdit {
    // Written to the dock in its place, in order; starts as the report itself.
    std::vector<Report> send;
    // Nothing reaches the dock; the bus itself hands the host a chunk acknowledgement, so the
    // host goes on as if the dock had taken the chunk.
    bool acknowledgeHere = false;
};

using HostMutation =
    std::function<void(const HostReportPlace& place, const Report& report, HostReportEdit& edit)>;

// Sits between the engine and a bus with a dock on it and alters what the host writes, as a
// faulty host would. Places are worked out from the reports as the host wrote them, before
// any change. Everything else passes through.
class CMutatingBus final : public IHidBus {
  public:
    CMutatingBus(IHidBus& inner, HostMutation mutation);

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override;
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override;
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override;
    void SetDeviceChangeSink(DeviceChangeSink sink) override;

    // How many host reports the mutation changed.
    std::size_t Changed() const;

    // Shared with the channels, which may outlive a reopen.
    struct State {
        explicit State(HostMutation m) : mutation(std::move(m)) {}
        std::mutex lock;
        HostMutation mutation;
        // Acknowledgements the bus owes the host. Only a write made in answer to a report
        // (on the engine's reader thread, between two reads) may add one, so a read never
        // blocks in the dock's channel while one waits here.
        std::deque<Report> owed;
        Stream chunkStream = Stream::Command;  // where the next chunks go
        std::uint32_t commandCount[256] = {};
        std::uint32_t chunkCount[5] = {};
        std::uint32_t chunkOffset[5] = {};
        std::size_t changed = 0;

        HostReportPlace Place(const Report& report);
    };

  private:
    IHidBus& m_inner;
    std::shared_ptr<State> m_state;
};

}  // namespace tamblor::test
