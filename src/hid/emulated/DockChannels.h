#pragma once

#include <memory>

#include "DockBusState.h"
#include "hid/HidPort.h"

namespace tamblor {

// Reads the replies of one appearance of the emulated dock.
class CDockReadChannel final : public IHidReadChannel {
  public:
    CDockReadChannel(std::shared_ptr<DockBusState> state, std::uint64_t appearance);
    ~CDockReadChannel() override;
    CDockReadChannel(const CDockReadChannel&) = delete;
    CDockReadChannel& operator=(const CDockReadChannel&) = delete;

    int ReadReport(std::span<std::uint8_t> buffer) override;
    void Cancel() override;

  private:
    // Gives back the report this channel delivered, if no later read has acknowledged it.
    void ReleaseLocked();

    std::shared_ptr<DockBusState> m_state;
    const std::uint64_t m_appearance;
    bool m_cancelled = false;
    bool m_holding = false;
    std::uint64_t m_holdingEpoch = 0;
};

// Feeds host reports to the dock's logic and schedules what it answers.
class CDockWriteChannel final : public IHidWriteChannel {
  public:
    CDockWriteChannel(std::shared_ptr<DockBusState> state, std::uint64_t appearance);

    std::uint32_t WriteReport(std::span<const std::uint8_t> report) override;

  private:
    std::shared_ptr<DockBusState> m_state;
    const std::uint64_t m_appearance;
};

}  // namespace tamblor
