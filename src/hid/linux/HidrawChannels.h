#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "UniqueFd.h"
#include "hid/HidPort.h"

namespace tamblor {

// Reads input reports from a hidraw node. A blocked read waits in poll() over the node and an
// eventfd; Cancel() signals the eventfd, which stays signalled.
class CHidrawReadChannel final : public IHidReadChannel {
  public:
    // `unnumbered`: the device declares no report IDs, so hidraw delivers bare reports; the
    // channel puts the 0 ID byte in front, so every reader sees the same layout.
    CHidrawReadChannel(CUniqueFd node, CUniqueFd cancel, bool unnumbered);
    int ReadReport(std::span<std::uint8_t> buffer) override;
    void Cancel() override;

  private:
    CUniqueFd m_node;
    CUniqueFd m_cancel;
    bool m_unnumbered;
};

// Writes output reports to a hidraw node, one write() per report.
class CHidrawWriteChannel final : public IHidWriteChannel {
  public:
    explicit CHidrawWriteChannel(CUniqueFd node);
    std::uint32_t WriteReport(std::span<const std::uint8_t> report) override;

  private:
    CUniqueFd m_node;
};

// Open the node for one direction, close-on-exec. Null with errno set when that fails.
std::unique_ptr<CHidrawReadChannel> OpenHidrawRead(const std::string& path, bool unnumbered);
std::unique_ptr<CHidrawWriteChannel> OpenHidrawWrite(const std::string& path);

}  // namespace tamblor
