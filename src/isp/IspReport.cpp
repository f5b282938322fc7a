#include "IspReport.h"

#include <algorithm>

namespace tamblor {

std::uint8_t RequestGroup(IspCommand command) {
    switch (command) {
        case IspCommand::IspExit:
        case IspCommand::IspEnter:
        case IspCommand::GetMode:
        case IspCommand::GetVersion:
            return 3;
        default:
            return 4;
    }
}

std::uint8_t CommandEndByte(IspCommand command) {
    return (command == IspCommand::IspErase || command == IspCommand::IspChecksum) ? 0x00
                                                                                   : kEndByte;
}

Report MakeCommandReport(IspCommand command) {
    Report r{};
    r[0] = kReportId;
    r[1] = RequestGroup(command);
    r[2] = kMarker0;
    r[3] = kMarker1;
    r[4] = static_cast<std::uint8_t>(command);
    r[kEndByteIndex] = CommandEndByte(command);
    return r;
}

Report MakeChunkReport(std::uint16_t sequence, std::span<const std::uint8_t> data) {
    Report r{};
    const auto length = std::min(data.size(), kMaxChunkData);
    r[0] = kReportId;
    r[1] = static_cast<std::uint8_t>(length);
    r[2] = static_cast<std::uint8_t>(sequence & 0xFF);
    r[3] = static_cast<std::uint8_t>(sequence >> 8);
    std::copy_n(data.begin(), length, r.begin() + kChunkDataIndex);
    r[kEndByteIndex] = kEndByte;
    return r;
}

}  // namespace tamblor
