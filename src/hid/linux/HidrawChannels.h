#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "UniqueFd.h"
#include "hid/HidPort.h"

namespace tamblor {

// Which input reports of a node a read channel passes on.
struct HidrawReportFilter {
    // The device declares no report IDs, so hidraw delivers bare reports; the channel puts
    // the 0 ID byte in front, so every reader sees the same layout.
    bool unnumbered = false;
    // When set, only reports whose ID is in `ids` come through: the node also carries other
    // collections' reports (a keyboard's, say), which are no answers of ours.
    bool byId = false;
    std::bitset<256> ids;
};

// Reads input reports from a hidraw node. A blocked read waits in poll() over the node and an
// eventfd; Cancel() signals the eventfd, which stays signalled.
class CHidrawReadChannel final : public IHidReadChannel {
  public:
    CHidrawReadChannel(CUniqueFd node, CUniqueFd cancel, HidrawReportFilter filter);
    int ReadReport(std::span<std::uint8_t> buffer) override;
    void Cancel() override;

  private:
    CUniqueFd m_node;
    CUniqueFd m_cancel;
    HidrawReportFilter m_filter;
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
std::unique_ptr<CHidrawReadChannel> OpenHidrawRead(const std::string& path,
                                                   const HidrawReportFilter& filter);
std::unique_ptr<CHidrawWriteChannel> OpenHidrawWrite(const std::string& path);

}  // namespace tamblor
