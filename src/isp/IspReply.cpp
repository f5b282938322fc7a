#include "IspReply.h"

#include "IspReport.h"

namespace tamblor {

IspReply DecodeReply(std::span<const std::uint8_t> report) {
    IspReply reply;
    const auto byte = [&](std::size_t i) -> std::uint8_t {
        return i < report.size() ? report[i] : 0;
    };
    reply.wellFormed = IsWellFormedReply(report);
    reply.code = byte(1);
    reply.status = byte(5);
    reply.checksum = static_cast<std::uint16_t>(byte(5) * 256 + byte(6));
    for (std::size_t i = 0; i < reply.version.size(); ++i) reply.version[i] = byte(5 + i);
    return reply;
}

}  // namespace tamblor
